#!/usr/bin/env bash
# Installs what is missing, builds everything, makes the demo card (eight recordings with
# their rear companions and recorder data, in the recorder's folder layout) and starts the
# program on it from a start folder of its own, whose settings file names the demo card.
# Without a display the program's window runs under Xvfb and a screenshot of the first
# recording playing is saved instead; its path is printed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
tools/install-deps.sh
tools/build.sh release
card=${DEMO_CARD:-$root/build/demo-card}
start=${DEMO_START:-$root/build/demo-start}
build/release/tools/make-demo-card "$card" --force
echo "Demo card ready: $card"

# The start folder keeps the program's settings file; its SOURCE section names the card's
# root folder, which the program opens at start-up.
mkdir -p "$start"
printf '[SOURCE]\nSELECT=FOLDER\nFOLDER=%s\n' "$card" > "$start/Default_Folder.ini"

# The map's web engine cannot use its sandbox as root.
if [ "$(id -u)" = 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  cd "$start"
  exec "$root/build/release/src/app/Orvanta5"
fi

echo "No display: running the program's window under Xvfb and saving a screenshot."
shot=$root/build/demo-screenshot.png
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1920x1080x24" \
  "$root/build/release/tools/screen-tour" --card "$card" --shot "$shot" > /dev/null
echo "Screenshot of the first recording playing: $shot"
