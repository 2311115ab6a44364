#!/usr/bin/env bash
# Builds and runs every test with CTest, on a private session bus that has a real Secret
# Service (gnome-keyring), so the credential store is tested against the real thing.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
build_dir=${TESSEL_BUILD_DIR:-build}
bash scripts/with-keyring.sh ctest --test-dir "$build_dir" --output-on-failure
