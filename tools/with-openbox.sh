#!/usr/bin/env bash
# with-openbox.sh COMMAND...: runs COMMAND on the X display $DISPLAY while the openbox window
# manager manages it, as on a user's desktop, and stops openbox afterwards. The exit status
# is COMMAND's (2 when openbox cannot be started).
set -uo pipefail
if [ -z "${DISPLAY:-}" ]; then
  echo "with-openbox.sh: no X display" >&2
  exit 2
fi
if ! command -v openbox >/dev/null; then
  echo "with-openbox.sh: openbox is not installed (tools/install-deps.sh installs it)" >&2
  exit 2
fi
openbox --sm-disable >/dev/null 2>&1 &
wm=$!
trap 'kill "$wm" 2>/dev/null; wait "$wm" 2>/dev/null' EXIT
# The window manager announces itself on the root window once it manages the display.
for _ in $(seq 200); do
  if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then
    "$@"
    exit $?
  fi
  if ! kill -0 "$wm" 2>/dev/null; then break; fi
  sleep 0.1
done
echo "with-openbox.sh: openbox did not start on $DISPLAY" >&2
exit 2
