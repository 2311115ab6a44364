#!/usr/bin/env bash
# Builds and runs every test with CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
build_dir=${TESSEL_BUILD_DIR:-build}
ctest --test-dir "$build_dir" --output-on-failure
