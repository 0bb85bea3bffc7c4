#!/usr/bin/env bash
# Installs what is missing, builds, then starts a local game server and a client.
# Arguments go to the server; with --port N the client offers port N too.
#   VELMORA_NO_BUILD=1   start what is built, without building
#   VELMORA_BIN=DIR      the programs' folder (default: build/bin)
set -euo pipefail
cd "$(dirname "$0")"
. scripts/deps.sh
velmora_install_deps

if [ "${VELMORA_NO_BUILD:-}" != 1 ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_SANITIZE=OFF >/dev/null
  cmake --build build -j"$(nproc)"
fi

bin=${VELMORA_BIN:-build/bin}
missing=()
for prog in velmora_server velmora; do
  [ -x "$bin/$prog" ] || missing+=("$prog")
done
if [ ${#missing[@]} -ne 0 ]; then
  echo "Built. Not there yet: ${missing[*]} (nothing to start)."
  exit 0
fi

# The port the server is given, for the client's login dialog.
port=
args=("$@")
for ((i = 0; i + 1 < ${#args[@]}; ++i)); do
  [ "${args[i]}" = --port ] && port=${args[i + 1]}
done

"$bin/velmora_server" "$@" &
server=$!
trap 'kill "$server" 2>/dev/null || true' EXIT
if [ -n "$port" ]; then
  VELMORA_LOGIN_PORT=$port "$bin/velmora"
else
  "$bin/velmora"
fi
