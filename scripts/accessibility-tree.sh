#!/usr/bin/env bash
# Starts tessel-demo-gateway over a copy of examples/sample-project and the app pointed at it,
# under Xvfb with an accessibility bus, and prints the window's AT-SPI tree (scripts/atspi-tree.py).
# With --check, first checks what a screen reader relies on and connects through AT-SPI.
# The reader is Debian's python3-pyatspi, so it runs on the system Python (/usr/bin/python3).
# Private home, settings, tokens and sync folder: nothing of the user's is read or written.
# TESSEL_DESKTOP and TESSEL_DEMO_GATEWAY name the binaries (default: those in build/).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${TESSEL_BUILD_DIR:-$root/build}
app=${TESSEL_DESKTOP:-$build_dir/src/tessel-desktop}
gateway=${TESSEL_DEMO_GATEWAY:-$build_dir/tools/demo-gateway/tessel-demo-gateway}

scratch=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$scratch"
}
trap cleanup EXIT
mkdir -p "$scratch/home" "$scratch/runtime" && chmod 700 "$scratch/runtime"
cp -r "$root/examples/sample-project" "$scratch/project"
export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/home/.config" XDG_DATA_HOME="$scratch/home/.local/share"
export XDG_CACHE_HOME="$scratch/home/.cache" XDG_RUNTIME_DIR="$scratch/runtime" TESSEL_SYNC_DIR="$scratch/sync"

# The gateway writes its token to the private home, where the app finds it.
"$gateway" --root "$scratch/project" --port 0 >"$scratch/gateway.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
  grep -q 'listening on ws://' "$scratch/gateway.log" && break
  sleep 0.1
done
url=$(grep -o 'listening on ws://[^ ]*' "$scratch/gateway.log" | cut -d' ' -f3 || true)
[[ -n "$url" ]] || { echo "accessibility-tree.sh: the demo gateway did not start" >&2; cat "$scratch/gateway.log" >&2; exit 1; }

# Xvfb writes its display number to the descriptor once it accepts clients, so the app never
# races its start; without -auth only local clients may connect.
Xvfb -displayfd 3 -screen 0 1400x900x24 -nolisten tcp 3>"$scratch/display" 2>"$scratch/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do
  [[ -s "$scratch/display" ]] && break
  kill -0 "${pids[-1]}" 2>/dev/null || break
  sleep 0.1
done
[[ -s "$scratch/display" ]] || { echo "accessibility-tree.sh: Xvfb did not start" >&2; cat "$scratch/xvfb.log" >&2; exit 1; }

export DISPLAY=":$(head -n1 "$scratch/display")"
export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1
dbus-run-session -- bash -c '
  /usr/libexec/at-spi-bus-launcher --launch-immediately &
  launcher=$!
  for attempt in 1 2 3; do
    "$1" --gateway-url "$2" --project-directory "$3" >"$4/app.log" 2>&1 &
    app=$!
    status=0
    /usr/bin/python3 "$5" "$app" $6 || status=$?
    kill "$app" 2>/dev/null || true
    # A display that refuses the connection is the machine'"'"'s fault, not the app'"'"'s: start again.
    grep -q "could not connect to display" "$4/app.log" || break
    echo "accessibility-tree.sh: the app could not reach the display $DISPLAY (attempt $attempt)" >&2
  done
  kill "$launcher" 2>/dev/null || true
  [[ $status -eq 0 ]] || cat "$4/app.log" "$4/xvfb.log" >&2
  exit $status
' accessibility-tree "$app" "$url" "$scratch/project" "$scratch" "$root/scripts/atspi-tree.py" "${1:-}"
