#!/usr/bin/env bash
# Builds the Debian package: installs what is missing, configures a release
# build with Debian's hardening flags in build/package, builds it, runs cpack
# and prints the package's path last. scripts/check-package.sh checks it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake --preset package \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)"
cmake --build --preset package -j"$(nproc)"
rm -f build/package/tarvel_*.deb
(cd build/package && cpack -G DEB)
ls "$PWD"/build/package/tarvel_*.deb
