#!/usr/bin/env bash
# Installs, non-interactively, the Debian 12 packages that building, testing and the demo need,
# and only those that are missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config ninja-build
  libgtest-dev libgmock-dev
  clang libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev qt6-multimedia-dev
  qt6-translations-l10n
  qt6-svg-dev libqt6svg6
  fonts-noto-cjk
  mpv
  ffmpeg libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
  qt6-webengine-dev qt6-webchannel-dev libjs-leaflet
  libcurl4-openssl-dev
  xvfb xauth pulseaudio pulseaudio-utils
  # a window manager, and the X tools that read its stacking and give pointer input, for
  # the tests of the satellite windows
  openbox x11-utils xdotool libxcb1-dev
  python3
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
