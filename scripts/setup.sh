#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build, run and test VornBSL.
# Idempotent: when every package is present it only checks and returns.
set -euo pipefail

PACKAGES=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libqt6opengl6-dev
  libgtest-dev libgmock-dev
  srecord php-cli shared-mime-info
  xvfb xauth x11-utils imagemagick
  fonts-dejavu-core fonts-liberation2
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then SUDO="sudo"; else
    echo "setup: need root or sudo to install: ${missing[*]}" >&2; exit 1
  fi
fi
echo "setup: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
