#!/usr/bin/env bash
# own-display.sh [--openbox] COMMAND...: runs COMMAND on an X server of its own (Xvfb), under
# the openbox window manager when asked, so that a window manager never reaches the display
# the other window-system tests share. It runs in the window-system pass only
# (QT_QPA_PLATFORM=xcb); elsewhere it reports the test skipped (77).
set -uo pipefail
if [ "${QT_QPA_PLATFORM:-}" != xcb ]; then
  echo "skipped: runs in the window-system pass (QT_QPA_PLATFORM=xcb)"
  exit 77
fi
tools=$(cd "$(dirname "$0")/../../../tools" && pwd)
wrap=()
if [ "${1:-}" = --openbox ]; then
  wrap=("$tools/with-openbox.sh")
  shift
fi
exec xvfb-run -a -s "-screen 0 1920x1080x24" "${wrap[@]}" "$@"
