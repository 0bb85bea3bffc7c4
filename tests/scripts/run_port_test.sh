#!/usr/bin/env bash
# run.sh --port N: the client it starts offers port N in its login dialog
# (VELMORA_LOGIN_PORT); without --port the client keeps its saved port.
# Stand-ins for the two programs record what they were given.
set -u
repo=$(cd "$(dirname "$0")/../.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cat >"$tmp/velmora_server" <<'STUB'
#!/bin/sh
echo "$* ." >"$(dirname "$0")/server.args"
exec sleep 30
STUB
cat >"$tmp/velmora" <<'STUB'
#!/bin/sh
# Stays until the server has written its arguments: run.sh stops the server
# when the client ends.
dir=$(dirname "$0")
for _ in $(seq 100); do [ -s "$dir/server.args" ] && break; sleep 0.05; done
echo "${VELMORA_LOGIN_PORT-unset}" >"$dir/client.port"
STUB
chmod +x "$tmp/velmora_server" "$tmp/velmora"
fail=0
check() {  # check ARGS WANT_SERVER_ARGS WANT_CLIENT_PORT
  rm -f "$tmp/server.args" "$tmp/client.port"
  # shellcheck disable=SC2086
  VELMORA_NO_BUILD=1 VELMORA_BIN="$tmp" "$repo/run.sh" $1 >/dev/null 2>&1
  local got_port got_args
  got_port=$(cat "$tmp/client.port" 2>/dev/null)
  got_args=$(cat "$tmp/server.args" 2>/dev/null)
  if [ "$got_port" != "$3" ] || [ "$got_args" != "$2" ]; then
    echo "run.sh $1: server got '$got_args' (want '$2'), client offers '$got_port' (want '$3')" >&2
    fail=1
  fi
}
check "--port 3300" "--port 3300 ." 3300
check "" " ." unset
exit $fail
