#!/usr/bin/env bash
# Configures and builds into build/ (or $TESSEL_BUILD_DIR), optimised without debug info to
# keep builds quick. Extra arguments go to CMake.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${TESSEL_BUILD_DIR:-build}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
cmake --build "$build_dir"
