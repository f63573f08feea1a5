#!/usr/bin/env bash
# Makes a demo storage for the recording engine: writes kestostorage.ini next to the programs and
# a storage root (default <bin dir>/demo-storage) with two formatted disks and four channels of
# two streams each, one-minute record files every ten minutes over the last three hours.
#
#   scripts/make_demo_storage.sh <bin dir> [storage root]
#
# Does nothing when <bin dir>/kestostorage.ini exists already. Needs the ffmpeg tool.
set -euo pipefail

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: $0 <bin dir> [storage root]" >&2
  exit 2
fi
if [ ! -d "$1" ]; then
  echo "No such folder: $1 (build the programs first)" >&2
  exit 1
fi
BIN=$(cd "$1" && pwd)
ROOT=${2:-$BIN/demo-storage}
INI="$BIN/kestostorage.ini"
REPO=$(cd "$(dirname "$0")/.." && pwd)

if [ -e "$INI" ]; then
  echo "Demo storage: $INI exists; nothing to do."
  exit 0
fi
mkdir -p "$(dirname "$ROOT")"
ROOT_ABS=$(cd "$(dirname "$ROOT")" && pwd)/$(basename "$ROOT")
case "$ROOT_ABS" in
  "$REPO"/build*) ;;
  "$REPO" | "$REPO"/*)
    echo "Refusing to put demo data into the source tree: $ROOT_ABS" >&2
    exit 1
    ;;
esac
if [ -e "$ROOT_ABS" ] && [ -n "$(ls -A "$ROOT_ABS" 2>/dev/null)" ]; then
  echo "Refusing to write into $ROOT_ABS: it exists and is not empty." >&2
  exit 1
fi
if ! command -v ffmpeg >/dev/null 2>&1; then
  echo "The ffmpeg tool is needed (apt-get install ffmpeg)." >&2
  exit 1
fi

VCODEC=(-c:v libx264 -preset ultrafast -pix_fmt yuv420p)
CODEC_NAME=H264
ENCODERS=$(ffmpeg -hide_banner -encoders 2>/dev/null || true)
if ! grep -q ' libx264 ' <<<"$ENCODERS"; then
  VCODEC=(-c:v mpeg4)
  CODEC_NAME=MPEG4
fi

WORK="$ROOT_ABS.partial.$$"
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$WORK/clips" "$WORK/disk1" "$WORK/disk2"

SOURCES=(testsrc testsrc2 smptebars rgbtestsrc)
TONES=(440 523 659 784)

# One clip per channel and stream, made in parallel; the record files are copies of them.
make_clip() { # channel stream size rate kbps
  local ch=$1 st=$2 size=$3 rate=$4 kbps=$5
  ffmpeg -v error -y -f lavfi -i "${SOURCES[$((ch - 1))]}=size=$size:rate=$rate:duration=60" \
    -f lavfi -i "sine=frequency=${TONES[$((ch - 1))]}:duration=60" \
    "${VCODEC[@]}" -b:v "${kbps}k" -g "$((rate * 2))" -c:a aac -b:a 24k -ac 1 -shortest \
    -f mpegts "$WORK/clips/c${ch}_s${st}.ts"
}
pids=()
for ch in 1 2 3 4; do
  make_clip "$ch" 0 320x240 15 128 &
  pids+=($!)
  make_clip "$ch" 1 160x120 10 48 &
  pids+=($!)
  if [ $((ch % 2)) -eq 0 ]; then
    for p in "${pids[@]}"; do wait "$p"; done
    pids=()
  fi
done

BLOCK_BYTES=$((16 * 1024 * 1024))
now=$(date +%s)
last=$((now - now % 600))
next_block=(0 0 0)  # per disk
for ch in 1 2 3 4; do
  disk=$(((ch - 1) / 2 + 1))
  for st in 0 1; do
    clip="$WORK/clips/c${ch}_s${st}.ts"
    size=$(stat -c %s "$clip")
    block=-1
    used=$BLOCK_BYTES
    for slot in $(seq 18 -1 1); do
      start=$((last - slot * 600))
      if [ $((used + size)) -gt $BLOCK_BYTES ]; then
        block=${next_block[$disk]}
        next_block[$disk]=$((block + 1))
        used=0
        bdir=$(printf '%s/disk%d/blk%05d' "$WORK" "$disk" "$block")
        mkdir -p "$bdir"
        printf 'cuid=DEMO-CAM-%04d\n' "$ch" >"$bdir/block.ini"
      fi
      rtype=0
      if [ $((slot % 5)) -eq 0 ]; then rtype=1; fi
      if [ $((slot % 7)) -eq 0 ]; then rtype=4; fi
      name=$(printf 'c%02d_s%d_r%d_%s.dav' "$ch" "$st" "$rtype" "$(date -d "@$start" +%Y%m%d_%H%M%S)")
      # A copy of its own, last written when its minute ended: a file without times of its own
      # is read as ending when it was last written, so each record shows its own time.
      cp --reflink=auto "$clip" "$bdir/$name"
      touch -d "@$((start + 60))" "$bdir/$name"
      used=$((used + size))
    done
  done
done
rm -rf "$WORK/clips"
for disk in 1 2; do
  printf 'KestoDisk 1\nformatted=%s\n' "$(date +%Y-%m-%dT%H:%M:%S)" >"$WORK/disk$disk/kestodisk.marker"
done

mkdir -p "$(dirname "$ROOT_ABS")"
rmdir "$ROOT_ABS" 2>/dev/null || true
mv "$WORK" "$ROOT_ABS"
trap - EXIT

if [ "$ROOT_ABS" = "$BIN/demo-storage" ]; then ROOT_KEY=demo-storage; else ROOT_KEY=$ROOT_ABS; fi
NAMES=(Gate Yard Hall Dock)
{
  echo "[storage]"
  echo "root=$ROOT_KEY"
  echo "freeSpaceFloorMB=64"
  echo "blockCapacityMB=16"
  echo
  for disk in 1 2; do
    printf '[disk%d]\npath=disk%d\nname=disk%d\ntype=0\n\n' "$disk" "$disk" "$disk"
  done
  for ch in 1 2 3 4; do
    printf '[channel%d]\ncuid=DEMO-CAM-%04d\nname=%s\n' "$ch" "$ch" "${NAMES[$((ch - 1))]}"
    printf 'main=%s 320x240 15 128 schedule AAC\nsub=%s 160x120 10 48 schedule AAC\n\n' "$CODEC_NAME" "$CODEC_NAME"
  done
} >"$INI.tmp.$$"
mv "$INI.tmp.$$" "$INI"
echo "Demo storage: $ROOT_ABS (settings in $INI)"
