#!/usr/bin/env bash
# Installs what is missing, builds, then starts a local game server and a client.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/deps.sh
velmora_install_deps

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_SANITIZE=OFF >/dev/null
cmake --build build -j"$(nproc)"

bin=build/bin
missing=()
for prog in velmora_server velmora; do
  [ -x "$bin/$prog" ] || missing+=("$prog")
done
if [ ${#missing[@]} -ne 0 ]; then
  echo "Built. Not there yet: ${missing[*]} (nothing to start)."
  exit 0
fi

"$bin/velmora_server" "$@" &
server=$!
trap 'kill "$server" 2>/dev/null || true' EXIT
"$bin/velmora"
