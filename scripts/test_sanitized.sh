#!/usr/bin/env bash
# Builds the tests of the areas in SANITIZE_AREAS (test folder names, e.g. "media engine event";
# default "media engine") with the address (and undefined-behaviour) sanitizer and/or the thread
# sanitizer, into build-address / build-thread, and runs them. In CI (CI=true) every warning is an
# error here too. Usage: SANITIZE_AREAS="..." scripts/test_sanitized.sh [address] [thread]
set -euo pipefail
cd "$(dirname "$0")/.."
export CCACHE_BASEDIR="$PWD"
export CCACHE_NOHASHDIR=1
read -r -a AREAS <<< "${SANITIZE_AREAS:-media engine}"
KINDS=("$@")
[ ${#KINDS[@]} -gt 0 ] || KINDS=(address thread)
GEN=()
if command -v ninja >/dev/null 2>&1; then GEN=(-G Ninja); fi
SUPP="$PWD/tests/sanitizers"
WERROR=${VANTEL_WERROR:-}
case "${CI:-}" in ""|0|false|FALSE|False) ;; *) WERROR=${WERROR:-ON} ;; esac
for kind in "${KINDS[@]}"; do
  dir="build-$kind"
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S . -B "$dir" "${GEN[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTEL_SANITIZE="$kind" \
      -DVANTEL_WERROR="${WERROR:-OFF}" >/dev/null
  elif [ -n "$WERROR" ]; then
    cmake -S . -B "$dir" -DVANTEL_WERROR="$WERROR" >/dev/null
  fi
  targets=()
  for a in "${AREAS[@]}"; do targets+=(--target "vantel_tests_$a"); done
  # Tools that run during the build (the icon renderer) are sanitized too: their leaks are not ours to judge.
  ASAN_OPTIONS=detect_leaks=0 cmake --build "$dir" -j "${JOBS:-$(nproc)}" "${targets[@]}"
  labels=$(IFS='|'; echo "^(${AREAS[*]})\$")
  echo "== $kind sanitizer: ${AREAS[*]} tests"
  (
    cd "$dir"
    export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:abort_on_error=0"
    export LSAN_OPTIONS="suppressions=$SUPP/lsan.supp:print_suppressions=0"
    export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
    export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$SUPP/tsan.supp"
    # Sanitized code runs several times slower: fewer tests at once, more time each.
    ctest --output-on-failure -L "$labels" -j "$(( $(nproc) > 2 ? $(nproc) / 2 : 1 ))" --timeout 900
  )
done
