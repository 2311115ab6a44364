#!/usr/bin/env bash
# Writes screenshots of the window to screenshots/ (or $1) for looking at it: both tabs,
# connected to the demo gateway over a copy of examples/sample-project, in a light and a
# dark palette, at 1120x720 and 1680x1050; once offscreen and once under Xvfb. Also runs the
# app's own screenshot export. Nothing of the user's settings or tokens is used.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${TESSEL_BUILD_DIR:-build}
output=${1:-screenshots}
cmake --build "$build_dir" --target tessel_window_screenshots tessel-desktop >/dev/null

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/home" "$scratch/runtime" && chmod 700 "$scratch/runtime"
export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/home/.config" XDG_DATA_HOME="$scratch/home/.local/share"
export XDG_RUNTIME_DIR="$scratch/runtime" TESSEL_SYNC_DIR="$scratch/sync"
export TESSEL_DEMO_GATEWAY="$build_dir/tools/demo-gateway/tessel-demo-gateway"

run() {
  cp -r examples/sample-project "$scratch/project-$1"
  "${@:2}" "$build_dir/tests/ui/tessel_window_screenshots" "$output/$1" "$scratch/project-$1"
}
QT_QPA_PLATFORM=offscreen run offscreen env
run xvfb xvfb-run -a -s "-screen 0 1920x1200x24"
QT_QPA_PLATFORM=offscreen "$build_dir/src/tessel-desktop" --export-screenshots-dir "$output/export"
