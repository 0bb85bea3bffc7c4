#!/usr/bin/env bash
# Runs a program on an X display of its own (Xvfb, 1280 x 1024) with a window
# manager (openbox) and Qt's xcb platform, so that window placement, stacking,
# focus and keys behave as on a desktop. Exits with the program's status.
set -u
for tool in Xvfb openbox xprop xdotool; do
  command -v "$tool" >/dev/null || { echo "under_wm.sh: $tool is missing (scripts/deps.sh installs it)" >&2; exit 1; }
done
numfile=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$numfile" >/dev/null 2>&1 &
xvfb=$!
wm=
cleanup() {
  [ -n "$wm" ] && kill "$wm" 2>/dev/null
  kill "$xvfb" 2>/dev/null
  wait 2>/dev/null
  rm -f "$numfile"
}
trap cleanup EXIT
for _ in $(seq 200); do [ -s "$numfile" ] && break; sleep 0.05; done
[ -s "$numfile" ] || { echo "under_wm.sh: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$numfile")"
openbox >/dev/null 2>&1 &
wm=$!
# The window manager is up once it has named itself on the root window.
for _ in $(seq 200); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  sleep 0.05
done
QT_QPA_PLATFORM=xcb "$@"
