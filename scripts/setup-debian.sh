#!/usr/bin/env bash
# Installs every Debian 12 package the project needs to build, run and test.
# This is the only list of them; it is safe to run again and stays quiet when all is present.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config
  # Qt: core, GUI, widgets, network, D-Bus, test, websockets, and SVG for the bundled symbols
  qt6-base-dev qt6-websockets-dev qt6-svg-dev
  # fast JSON decoding of gateway messages
  libsimdjson-dev
  # credential store client, and a real Secret Service with a session bus for its tests
  libsecret-1-dev gnome-keyring libglib2.0-bin dbus
  # a throw-away certificate for the wss:// test
  openssl
  # a font for offscreen rendering, Xvfb and ImageMagick for looking at the window
  fonts-dejavu-core xvfb imagemagick
  # validators for the installed .desktop file and AppStream metainfo (a packaging test runs them)
  desktop-file-utils appstream
  # dpkg-shlibdeps, which works out the .deb package's library dependencies
  dpkg-dev
  # the accessibility bus and a Python reader of it, for the test that lists the window's tree
  at-spi2-core python3-pyatspi
  # the Node `ws` client that bench_delta_throughput measures beside ours
  nodejs node-ws
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || { echo "setup-debian.sh: run as root or install sudo" >&2; exit 1; }
  sudo=(sudo)
fi
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
