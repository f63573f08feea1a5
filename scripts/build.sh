#!/usr/bin/env bash
# Configures and builds the suite into ./build (programs in build/bin). In CI (CI set and not
# 0/false) every warning is an error; VANTEL_WERROR=ON/OFF says so outright.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
# Clones in other folders share the compiler cache.
export CCACHE_BASEDIR="$PWD"
export CCACHE_NOHASHDIR=1
GEN=()
if command -v ninja >/dev/null 2>&1; then GEN=(-G Ninja); fi
WERROR=${VANTEL_WERROR:-}
case "${CI:-}" in ""|0|false|FALSE|False) ;; *) WERROR=${WERROR:-ON} ;; esac
if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
  cmake -S . -B "$BUILD_DIR" "${GEN[@]}" -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-Release} -DVANTEL_WERROR=${WERROR:-OFF}
elif [ -n "$WERROR" ]; then
  cmake -S . -B "$BUILD_DIR" -DVANTEL_WERROR="$WERROR" >/dev/null
fi
cmake --build "$BUILD_DIR" -j "${JOBS:-$(nproc)}"
