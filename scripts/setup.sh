#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the suite needs to build, run and test.
# Safe to run again: it only installs what is missing.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config ccache git
  qtbase5-dev qtbase5-dev-tools qttools5-dev qttools5-dev-tools qtmultimedia5-dev libqt5svg5-dev
  libqt5multimedia5-plugins
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev ffmpeg
  libxlsxwriter-dev libcurl4-openssl-dev libssl-dev libcpp-httplib-dev
  libqt5websockets5-dev libqt5sql5-sqlite python3-aiosmtpd
  xvfb xauth x11-utils xdotool openbox imagemagick fonts-wqy-microhei fonts-thai-tlwg libgl1-mesa-dri qttranslations5-l10n
  python3-gi gir1.2-gst-rtsp-server-1.0 gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
