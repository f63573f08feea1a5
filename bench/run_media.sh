#!/usr/bin/env bash
# Builds (when needed) and runs the media benchmarks pinned to two cores, under an X server of
# their own (Xvfb 1920x1080x24, started by the benchmark), and prints their table.
#   bash bench/run_media.sh                 the whole run (about 5 minutes; the first run also
#                                           makes the test files, about a minute more)
#   bash bench/run_media.sh --run views     any bench_player options (--help lists them)
#   bash bench/run_media.sh --profile       where the time of 16 x 1080p25 goes (perf; installs
#                                           Debian's linux-perf when missing)
# Environment: BUILD_DIR (default build), BENCH_CPUS (default 0,1), VANTEL_BENCH_CACHE (the
# generated files; default ~/.cache/vantel-bench), BENCH_USE_DISPLAY=1 to use $DISPLAY instead of
# a private Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
CPUS=${BENCH_CPUS:-0,1}

export CCACHE_BASEDIR="$PWD"
export CCACHE_NOHASHDIR=1
if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
  GEN=()
  if command -v ninja >/dev/null 2>&1; then GEN=(-G Ninja); fi
  cmake -S . -B "$BUILD_DIR" "${GEN[@]}" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$BUILD_DIR" -j "$(nproc)" --target bench_player >/dev/null
BENCH="$BUILD_DIR/bench/bench_player"
BUILD_TYPE=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$BUILD_DIR/CMakeCache.txt")
case "$BUILD_TYPE" in
  Release | RelWithDebInfo) ;;
  *) echo "note: $BUILD_DIR is a '$BUILD_TYPE' build; figures are meant for Release" ;;
esac

for tool in ffmpeg Xvfb taskset; do
  command -v "$tool" >/dev/null 2>&1 || { echo "missing $tool: run bash scripts/setup.sh" >&2; exit 2; }
done
if [ "${BENCH_USE_DISPLAY:-0}" != 1 ]; then unset DISPLAY; fi
unset QT_QPA_PLATFORM

if [ "${1:-}" = "--profile" ]; then
  shift
  if ! command -v perf >/dev/null 2>&1 || ! perf --version >/dev/null 2>&1; then
    SUDO=""
    if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends linux-perf
  fi
  FILE=$("$BENCH" --run files --sizes 1080 | awk '$1 == "file" && $2 == 1080 { print $3 }')
  [ -n "$FILE" ] || { echo "the 1080p file could not be made" >&2; exit 2; }
  DATA=$(mktemp -d)/perf.data
  echo "profiling 16 x 1080p25 (3 s warm-up, 10 s) into $DATA ..."
  perf record -q -F 499 -g -o "$DATA" -- taskset -c "$CPUS" "$BENCH" --views-case "$FILE" --views 16 \
    --warmup 3 --seconds 10 --no-limit "$@" | sed -n 's/^RESULT.* \(cpu=[0-9].*\)/\1/p; s/^RESULT \(error=.*\)/\1/p'
  echo
  echo "share of samples by library (the benchmark's process):"
  perf report -i "$DATA" --comms bench_player --no-children -g none --sort dso --stdio 2>/dev/null \
    | grep -v '^#' | grep -v '^$' | head -12
  echo
  echo "share of samples by thread:"
  perf report -i "$DATA" --comms bench_player --no-children -g none --sort pid --stdio 2>/dev/null \
    | awk '/%/ { split($2, id, ":"); p = $1; sub("%", "", p); print id[1], p }' | sort -n \
    | awk 'NR == 1 { printf "    GUI thread %s%%\n", $2 } NR > 1 { s += $2; n++ }
           END { printf "    %d other threads %.1f%%\n", n, s }'
  echo "share of samples by program (Xvfb: the X server):"
  perf report -i "$DATA" --no-children -g none --sort comm --stdio 2>/dev/null | grep -v '^#' | grep -v '^$' \
    | head -4
  echo "(perf report -i $DATA for the rest)"
  exit 0
fi

exec taskset -c "$CPUS" "$BENCH" "$@"
