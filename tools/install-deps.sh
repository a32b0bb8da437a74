#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need.
# Idempotent; run as root (CI and fresh Debian 12 machines).
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
pkgs=(
  build-essential cmake ninja-build pkg-config clang lld libclang-rt-14-dev llvm
  clang-format
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libpng-dev libpng-tools libjpeg62-turbo-dev libtiff-dev libgif-dev zlib1g-dev libdeflate-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  imagemagick libvips-tools hyperfine time
  libqt6svg6 qt6-svg-dev qt6-image-formats-plugins
  xvfb xauth x11-apps desktop-file-utils appstream fonts-dejavu-core librsvg2-bin xdotool
  python3-gi gir1.2-atspi-2.0 at-spi2-core dbus
  python3
)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
