#!/usr/bin/env bash
# Sets up, builds, makes the demo storage on first run and starts KestoServer on it.
# Without a display it starts under a virtual X server (Xvfb).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
BUILD_DIR=${BUILD_DIR:-build}
BIN="$PWD/$BUILD_DIR/bin"
if [ -x scripts/make_demo_storage.sh ] || [ -f scripts/make_demo_storage.sh ]; then
  if [ ! -f "$BIN/kestostorage.ini" ]; then
    bash scripts/make_demo_storage.sh "$BIN"
  fi
fi
if [ -z "${DISPLAY:-}" ]; then
  echo "No DISPLAY: starting KestoServer under Xvfb."
  exec xvfb-run -a "$BIN/KestoServer" "$@"
fi
exec "$BIN/KestoServer" "$@"
