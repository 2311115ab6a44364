#!/usr/bin/env bash
# Builds and starts the desktop client.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
build_dir=${TESSEL_BUILD_DIR:-build}
exec "$build_dir/src/tessel-desktop" "$@"
