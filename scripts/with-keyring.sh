#!/usr/bin/env bash
# Runs a command on a private session bus that has a real Secret Service (gnome-keyring),
# unlocked with a throw-away password. The keyring daemon gets home, data and runtime
# folders of its own, so the user's real keyring is never read or written; they are removed
# when the command ends. Usage: scripts/with-keyring.sh COMMAND [ARGS...]
set -euo pipefail
keyring_home=$(mktemp -d)
trap 'rm -rf "$keyring_home"' EXIT
chmod 700 "$keyring_home"

# The daemon returns before it owns its bus name: wait for the name before running.
HOME="$keyring_home" XDG_DATA_HOME="$keyring_home/data" XDG_CONFIG_HOME="$keyring_home/config" \
XDG_RUNTIME_DIR="$keyring_home" dbus-run-session -- sh -c '
  eval "$(printf %s test-keyring-password | gnome-keyring-daemon --unlock --components=secrets --daemonize)"
  gdbus wait --session --timeout 10 org.freedesktop.secrets \
    || { echo "with-keyring.sh: gnome-keyring-daemon did not come up on the private session bus" >&2; exit 1; }
  export HOME="$1"
  shift
  exec "$@"
' with-keyring.sh "$HOME" "$@"
