#!/usr/bin/env bash
# Builds, starts tessel-demo-gateway over examples/sample-project on port 4821 (a free port
# when 4821 is taken), then the desktop client pointed at it: on a registry that is still the
# first-start default, one press of Connect opens the chat. The gateway stops when the client
# quits. Extra arguments go to the client.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
build_dir=${TESSEL_BUILD_DIR:-build}
project=$PWD/examples/sample-project

# The demo gateway announces its token in the gateway environment file, where the client
# finds it. A real gateway's file (one the demo gateway did not write) is never overwritten:
# then the demo gateway keeps its token to itself and stays off 4821, the port that file
# names, and this script prints the token for the token field.
env_file="$HOME/.config/tessel-gateway/gateway.env"
gateway_args=(--root "$project")
ports=(4821 0)
token_note="the client reads the token from $env_file."
if [[ -e "$env_file" ]] && ! head -n 1 "$env_file" | grep -qx '# Written by tessel-demo-gateway'; then
  token=$(head -c 18 /dev/urandom | base64 | tr '+/' '-_')
  gateway_args+=(--no-env-file --token "$token")
  ports=(0)
  token_note="$env_file belongs to another gateway and was left alone: paste the token $token."
fi

gateway_log=$(mktemp)
gateway_pid=
trap 'if [[ -n "$gateway_pid" ]]; then kill "$gateway_pid" 2>/dev/null || true; fi; rm -f "$gateway_log"' EXIT

# Starts the gateway on port $1 and sets url once it listens; url stays empty when it exits.
url=
start_gateway() {
  "$build_dir/tools/demo-gateway/tessel-demo-gateway" "${gateway_args[@]}" --port "$1" >"$gateway_log" 2>&1 &
  gateway_pid=$!
  for _ in $(seq 100); do
    url=$(grep -o 'listening on ws://[^ ]*' "$gateway_log" | head -n 1 | cut -d' ' -f3 || true)
    [[ -n "$url" ]] && return
    kill -0 "$gateway_pid" 2>/dev/null || return 0
    sleep 0.1
  done
}

for port in "${ports[@]}"; do
  start_gateway "$port"
  [[ -n "$url" ]] && break
done
if [[ -z "$url" ]]; then
  echo "run.sh: tessel-demo-gateway did not start:" >&2
  cat "$gateway_log" >&2
  exit 1
fi
echo "Demo gateway listening on $url, serving examples/sample-project; $token_note"
echo "A machine you have already set up keeps its own URL: set it to $url to use the demo gateway."

"$build_dir/src/tessel-desktop" --gateway-url "$url" --project-directory "$project" "$@"
