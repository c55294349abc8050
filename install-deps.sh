#!/usr/bin/env bash
# Installs the Debian packages Voxaldrift needs to build, run and test.
# Quiet when everything is already there; uses sudo when not run as root.
set -euo pipefail

packages=(
  # toolchain and test tools
  g++ cmake ninja-build pkg-config ccache clang libclang-rt-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  # the software renderer's benchmark anchors (benchmarks only)
  libpixman-1-dev
  # images, compression
  zlib1g-dev libpng-dev libjpeg-dev
  # window, input, audio, GL
  libsdl2-dev xvfb xauth libgl1-mesa-dri libgl-dev mesa-utils
  # sound decoders and MIDI
  libogg-dev libvorbis-dev libtheora-dev libmpg123-dev
  libfluidsynth-dev timgm6mb-soundfont
  # fonts
  libfreetype-dev libfontconfig-dev fonts-ipafont-mincho fonts-ipafont-gothic
  # movies
  libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
