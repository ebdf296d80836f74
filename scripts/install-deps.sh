#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests, the sample scans and
# the Debian package need; packages already present are left alone.
set -euo pipefail

packages=(
  g++ cmake make
  libopencv-core-dev libopencv-imgproc-dev libopencv-imgcodecs-dev libopencv-videoio-dev
  libgtest-dev libbenchmark-dev libtiff-tools
  nlohmann-json3-dev
  ffmpeg
  gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav
  clang libclang-rt-14-dev
  pandoc help2man man-db groff-base
  dpkg-dev lintian
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
echo "installing: ${missing[*]}" >&2
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
