#!/usr/bin/env bash
# Installs every Debian package that building, testing and running Orbek and Brovane need.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  # toolchain and test tools
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  # peers of the software renderer's and the sound mixer's benchmarks
  libpixman-1-dev libspeexdsp-dev
  # host window, input and audio; a virtual X display for the full-screen test
  libsdl2-dev xvfb openbox xdotool
  # fonts (DejaVu for a face that has real bold and oblique files)
  libfreetype-dev libfontconfig-dev fonts-ipafont-gothic fonts-ipafont-mincho fonts-dejavu-core
  # image, sound and movie codecs
  zlib1g-dev libpng-dev libjpeg-dev libmpg123-dev libogg-dev libvorbis-dev libtheora-dev
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev
  # MP3 encoding of the generated game music
  libmp3lame-dev
  # physics world teardown of 3D models
  libbullet-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
