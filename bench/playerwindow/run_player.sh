#!/usr/bin/env bash
# Plays 1, 4, 9 and 16 views of 720p25 and 1080p25 in VantelPlayer's own main window (1920x1080
# under an Xvfb of its own), pinned to two cores, and compares each view's painted pictures with
# the decode-only limit of the ffmpeg tool on the same file in the same run. Also prints how long
# the window's GUI thread took to answer while it played, and the player's peak memory.
#   bash bench/playerwindow/run_player.sh                   all cases (about 4 minutes)
#   bash bench/playerwindow/run_player.sh --views 16        only some view counts
# Environment: BUILD_DIR (default build), BENCH_CPUS (default 0,1), VANTEL_BENCH_CACHE (the
# generated files; default ~/.cache/vantel-bench). Exit status 1 when a goal is missed.
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD_DIR=${BUILD_DIR:-build}
CPUS=${BENCH_CPUS:-0,1}
export CCACHE_BASEDIR="$PWD"
export CCACHE_NOHASHDIR=1
if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
  GEN=()
  if command -v ninja >/dev/null 2>&1; then GEN=(-G Ninja); fi
  cmake -S . -B "$BUILD_DIR" "${GEN[@]}" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$BUILD_DIR" -j "$(nproc)" --target VantelPlayer bench_player >/dev/null
for tool in ffmpeg ffprobe Xvfb taskset; do
  command -v "$tool" >/dev/null 2>&1 || { echo "missing $tool: run bash scripts/setup.sh" >&2; exit 2; }
done
# The same generated files as the media benchmark (made once).
FILES=$("$BUILD_DIR/bench/bench_player" --run files --sizes 720,1080 | awk '$1 == "file" { printf "%s%s=%s", sep, $2, $3; sep = "," }')
[ -n "$FILES" ] || { echo "the test files could not be made" >&2; exit 2; }
unset DISPLAY QT_QPA_PLATFORM
exec /usr/bin/python3 bench/playerwindow/playerwindow.py --binary "$PWD/$BUILD_DIR/bin/VantelPlayer" \
  --files "$FILES" --cpus "$CPUS" "$@"
