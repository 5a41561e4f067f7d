#!/usr/bin/env bash
# Installs what Quindle needs to build and test (Debian 12 or later, Ubuntu) and builds it
# into build/. Safe to run again: it installs only what is missing and builds incrementally.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  build-essential cmake ninja-build ccache pkg-config
  qt6-base-dev qt6-charts-dev libqt6opengl6-dev libssl-dev openssl libgtest-dev libgmock-dev libsecret-1-dev
  rsync rclone fuse3 util-linux procps python3-cryptography python3-pyftpdlib
  bats shellcheck jq faketime xdg-utils file
  xvfb xauth trayer xdotool fonts-dejavu-core libglib2.0-bin dunst dbus gnome-keyring
  desktop-file-utils libcap2-bin
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if ((${#missing[@]})); then
  sudo=()
  [[ $(id -u) -eq 0 ]] || sudo=(sudo)
  echo "Installing: ${missing[*]}"
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
