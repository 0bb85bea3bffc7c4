#!/usr/bin/env bash
# Takes the client's screenshots into docs/screenshots/: a server and two
# clients on a virtual X display with a window manager. The tool fails when
# the window manager shows a fault: a window that does not come to the front,
# a main window that is not centred on the screen.
#   VELMORA_DISPLAY=:N   the X display to start (default: a free one)
#   VELMORA_PORT=N       the server's port (default: a random one)
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
velmora_install_deps

if [ "${VELMORA_NO_BUILD:-}" != 1 ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_SANITIZE=OFF >/dev/null
  cmake --build build -j4
  cmake --build build -j4 --target velmora_shots
fi
bin=${VELMORA_BIN:-build/bin}
out=docs/screenshots
mkdir -p "$out"

pids=()
numfile=$(mktemp)
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -f "$numfile"
}
trap cleanup EXIT

if [ -n "${VELMORA_DISPLAY:-}" ]; then
  display=$VELMORA_DISPLAY
  Xvfb "$display" -screen 0 1280x900x24 -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  sleep 1.5
else
  # A free display: the server names the one it took.
  Xvfb -displayfd 3 -screen 0 1280x900x24 -nolisten tcp 3>"$numfile" >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 200); do [ -s "$numfile" ] && break; sleep 0.05; done
  display=:$(head -n1 "$numfile")
fi
DISPLAY=$display openbox >/dev/null 2>&1 &
pids+=($!)
sleep 1

server=${VELMORA_SERVER_BIN:-$bin/velmora_server}
port=${VELMORA_PORT:-$((20000 + RANDOM % 20000))}
QT_QPA_PLATFORM=offscreen "$server" --port "$port" >/dev/null 2>&1 &
pids+=($!)
sleep 1

DISPLAY=$display QT_QPA_PLATFORM=xcb VELMORA_MIDI=null VELMORA_SOUND=null \
  "$bin/velmora_shots" "$port" "$bin" "$out"
