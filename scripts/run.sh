#!/usr/bin/env bash
# Builds, starts tessel-demo-gateway on a free loopback port over examples/sample-project,
# then the desktop client. The gateway stops when the client quits.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
build_dir=${TESSEL_BUILD_DIR:-build}

# A real gateway's environment file is never overwritten: then the demo gateway keeps its
# token to itself and this script prints it for the token field.
env_file="$HOME/.config/tessel-gateway/gateway.env"
token_args=()
token_note="the token comes from $env_file."
if [[ -e "$env_file" ]]; then
  token=$(head -c 18 /dev/urandom | base64 | tr '+/' '-_')
  token_args=(--no-env-file --token "$token")
  token_note="$env_file belongs to another gateway and was left alone: paste the token $token."
fi

gateway_log=$(mktemp)
"$build_dir/tools/demo-gateway/tessel-demo-gateway" --root examples/sample-project --port 0 "${token_args[@]}" \
  >"$gateway_log" 2>&1 &
gateway_pid=$!
trap 'kill "$gateway_pid" 2>/dev/null || true; rm -f "$gateway_log"' EXIT

# The gateway picks the port and prints it once it listens.
url=
for _ in $(seq 100); do
  url=$(grep -o 'listening on ws://[^ ]*' "$gateway_log" | head -n 1 | cut -d' ' -f3 || true)
  [[ -n "$url" ]] && break
  kill -0 "$gateway_pid" 2>/dev/null || break
  sleep 0.1
done
if [[ -z "$url" ]]; then
  echo "run.sh: tessel-demo-gateway did not start:" >&2
  cat "$gateway_log" >&2
  exit 1
fi
echo "Demo gateway listening on $url, serving examples/sample-project."
echo "Set the machine's gateway URL to $url; $token_note"

"$build_dir/src/tessel-desktop" "$@"
