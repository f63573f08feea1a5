#!/usr/bin/env bash
# Sets up, builds and makes the demo storage on first run, then starts a program on it:
#   bash scripts/run.sh            KestoServer, the recording console, on the demo storage
#   bash scripts/run.sh player     VantelPlayer, the record player, with the demo storage's
#                                  record files in its play list on its first start
#   bash scripts/run.sh event      PavoServer, the event console
#   bash scripts/run.sh manager    VantelServer, the management console, whose server list
#                                  starts and stops the other two
# Further arguments go to the program. Without a display it starts under a virtual X server (Xvfb).
set -euo pipefail
cd "$(dirname "$0")/.."
PROGRAM=KestoServer
case "${1:-}" in
  player) PROGRAM=VantelPlayer; shift ;;
  event) PROGRAM=PavoServer; shift ;;
  manager) PROGRAM=VantelServer; shift ;;
esac
bash scripts/setup.sh
bash scripts/build.sh
BUILD_DIR=${BUILD_DIR:-build}
BIN="$PWD/$BUILD_DIR/bin"
if [ ! -f "$BIN/kestostorage.ini" ]; then
  bash scripts/make_demo_storage.sh "$BIN"
fi
ARGS=("$@")
if [ "$PROGRAM" = VantelPlayer ] && [ ${#ARGS[@]} -eq 0 ]; then
  # First start (no play list kept yet): the demo storage's record files, ready to play.
  CONFIG="${XDG_CONFIG_HOME:-$HOME/.config}"
  if ! ls "$CONFIG"/*/VantelPlayer/PlayerConfig.xml "$CONFIG"/VantelPlayer/PlayerConfig.xml >/dev/null 2>&1; then
    ROOT=$(sed -n 's/^root=//p' "$BIN/kestostorage.ini" | head -n1)
    case "$ROOT" in /*) ;; *) ROOT="$BIN/$ROOT" ;; esac
    if [ -d "$ROOT" ]; then ARGS=("$ROOT"); fi
  fi
fi
if [ -z "${DISPLAY:-}" ]; then
  echo "No DISPLAY: starting $PROGRAM under Xvfb."
  exec xvfb-run -a -s "-screen 0 1920x1080x24" "$BIN/$PROGRAM" "${ARGS[@]}"
fi
exec "$BIN/$PROGRAM" "${ARGS[@]}"
