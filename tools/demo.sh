#!/usr/bin/env bash
# Installs what is missing, builds the program and the two tools the demo uses (the demo-card
# maker and the screenshot tool), makes the demo card (eight recordings with their rear
# companions and recorder data, in the recorder's folder layout) while the program builds, and
# starts the program on it from a start folder of its own, whose settings file names the card.
# Without a display the program's window runs under Xvfb and a screenshot of the first
# recording playing is saved instead; its path is printed.
# What the installer, the compiler, the card maker and the program print goes to a log file
# (DEMO_LOG, build/demo.log by default); the terminal gets a line a step.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
# The settings file names the card by its absolute path.
card=$(realpath -m "${DEMO_CARD:-$root/build/demo-card}")
start=$(realpath -m "${DEMO_START:-$root/build/demo-start}")
log=$(realpath -m "${DEMO_LOG:-$root/build/demo.log}")
mkdir -p "$(dirname "$log")"
: >"$log"

# logged WHAT COMMAND...: runs the command with its output in the log; when it fails, says
# so with the end of the log and stops.
logged() {
  local what=$1; shift
  echo "== $what" >>"$log"
  if ! "$@" >>"$log" 2>&1; then
    echo "demo.sh: $what failed; the end of $log:" >&2
    tail -n 30 "$log" >&2
    exit 1
  fi
}

echo "Log of every step: $log"
echo "Installing the missing build packages, if any."
logged "installing" tools/install-deps.sh
echo "Building 3 targets in build/release: make-demo-card, then Orvanta5 and screen-tour."
logged "building make-demo-card" tools/build.sh release make-demo-card
# The card takes a few cores for a minute or two: it is made while the program builds.
echo "Making the demo card while the program builds: $card"
card_log=$(mktemp)
build/release/tools/make-demo-card "$card" --force >"$card_log" 2>&1 &
card_pid=$!
trap 'kill "$card_pid" 2>/dev/null; rm -f "$card_log"' EXIT
logged "building Orvanta5 screen-tour" tools/build.sh release Orvanta5 screen-tour
card_status=0
wait "$card_pid" || card_status=$?
trap - EXIT
{ echo "== making the demo card"; cat "$card_log"; } >>"$log"
rm -f "$card_log"
if [ "$card_status" -ne 0 ]; then
  echo "demo.sh: making the demo card failed; the end of $log:" >&2
  tail -n 10 "$log" >&2
  exit 1
fi

# The start folder keeps the program's settings file: the keys the program writes into a new
# one (the pictures keep their aspect, full volume), and the SOURCE section that names the
# card's root folder, which the program opens at start-up.
mkdir -p "$start"
printf '[DISPLAY]\nINFOCHECK=31\nASPECT=on\nVOLUME=65535\n[SOURCE]\nSELECT=FOLDER\nFOLDER=%s\n' "$card" \
  > "$start/Default_Folder.ini"

# The map's web engine cannot use its sandbox as root.
if [ "$(id -u)" = 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  echo "Starting the program on the demo card (its messages go to the log)."
  cd "$start"
  exec "$root/build/release/src/app/Orvanta5" >>"$log" 2>&1
fi

echo "No display: running the program's window under Xvfb to take a screenshot."
shot=$root/build/demo-screenshot.png
logged "taking the screenshot" env QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1920x1080x24" \
  "$root/build/release/tools/screen-tour" --card "$card" --start "$start" --shot "$shot"
echo "Screenshot of the first recording playing: $shot"
