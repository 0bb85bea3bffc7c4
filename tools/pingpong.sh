#!/usr/bin/env bash
# Starts velmora_server and the echo baseline velmora_echo, runs the load
# generator's ping-pong against both (1 and 100 users, each round trip one
# "RUSER 24" and its answer), prints the figures side by side and stops
# both programs again.
#
#   tools/pingpong.sh [BUILD_DIR] [velmora_loadgen options...]
#
# BUILD_DIR defaults to build. The server listens on $PINGPONG_PORT (3300)
# and the echo server on the port after it.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${1:-build}/bin
[ $# -gt 0 ] && shift
port=${PINGPONG_PORT:-3300}
QT_QPA_PLATFORM=offscreen "$bin/velmora_server" --port "$port" >/dev/null 2>&1 &
server=$!
"$bin/velmora_echo" --port $((port + 1)) &
echo=$!
trap 'kill $server $echo 2>/dev/null' EXIT
for p in "$port" $((port + 1)); do  # wait until both listen
  for _ in $(seq 100); do (exec 3<>/dev/tcp/127.0.0.1/"$p") 2>/dev/null && break; sleep 0.1; done
done
"$bin/velmora_loadgen" --pingpong --port "$port" --pid "$server" --echo-port $((port + 1)) --echo-pid "$echo" "$@"
