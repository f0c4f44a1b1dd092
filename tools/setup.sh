#!/usr/bin/env bash
# Installs the Debian packages Strata needs that are not installed yet.
#   tools/setup.sh          packages to build and run the instrument
#   tools/setup.sh --test   also the packages the test suite uses
set -euo pipefail

packages=(build-essential cmake pkg-config freeglut3-dev libglu1-mesa-dev libegl-dev libegl-mesa0 libxrandr-dev
          libgl1-mesa-dri libasound2-dev librtmidi-dev libpng-dev libgtest-dev libgmock-dev
          libbenchmark-dev libsndfile1-dev libsamplerate0-dev dpkg-dev liblo-dev libboost-dev libqrencode-dev
          nlohmann-json3-dev libaubio-dev ableton-link-dev libturbojpeg0-dev libavformat-dev libavcodec-dev
          libswscale-dev libavutil-dev)
if [ "${1:-}" = "--test" ]; then
  packages+=(xvfb xauth xdotool imagemagick x11-utils liblo-tools curl clang libclang-rt-14-dev python3 ffmpeg lintian iproute2
            chromium chromium-driver python3-selenium)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
