#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Stereolux need,
# only those that are missing. Runs apt-get as root, or through sudo.
set -euo pipefail

packages=(
  build-essential cmake pkg-config dpkg-dev
  qt6-base-dev qt6-tools-dev qt6-l10n-tools qt6-translations-l10n
  libpulse-dev libasound2-dev libsndfile1-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang clang-format libclang-rt-14-dev
  pulseaudio pulseaudio-utils xvfb xauth x11-utils sox imagemagick
  fonts-liberation
  desktop-file-utils appstream
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
