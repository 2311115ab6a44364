#!/usr/bin/env bash
# Builds and runs every test with CTest, on a private session bus that has a real Secret
# Service (gnome-keyring), so the credential store is tested against the real thing.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
build_dir=${TESSEL_BUILD_DIR:-build}

# The keyring daemon gets home, data and runtime folders of its own, so the user's real
# keyring is never read or written. Removed when the run ends.
keyring_home=$(mktemp -d)
trap 'rm -rf "$keyring_home"' EXIT
chmod 700 "$keyring_home"

# The daemon returns before it owns its bus name: wait for the name before testing.
HOME="$keyring_home" XDG_DATA_HOME="$keyring_home/data" XDG_CONFIG_HOME="$keyring_home/config" \
XDG_RUNTIME_DIR="$keyring_home" dbus-run-session -- sh -c '
  eval "$(printf %s test-keyring-password | gnome-keyring-daemon --unlock --components=secrets --daemonize)"
  gdbus wait --session --timeout 10 org.freedesktop.secrets \
    || { echo "test.sh: gnome-keyring-daemon did not come up on the private session bus" >&2; exit 1; }
  export HOME="$1"
  exec ctest --test-dir "$2" --output-on-failure
' test.sh "$HOME" "$build_dir"
