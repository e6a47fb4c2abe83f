#!/usr/bin/env bash
# Installs what the build, the tests and the Windows cross build need (Debian 12).
# Idempotent: packages already present are not fetched again.
set -euo pipefail
packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libbenchmark-dev libhwy-dev
  libcairo2-dev libpng-dev zlib1g-dev
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  imagemagick
  # velmora.exe under Wine: a virtual X server with a window manager, Mesa's software
  # OpenGL, and the tools that drive and inspect the windows.
  wine wine64 xvfb openbox xdotool x11-utils libgl1-mesa-dri python3
  # The release: the Windows installer (its 64-bit stubs and plug-ins come with it).
  nsis
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}"
fi
