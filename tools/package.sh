#!/usr/bin/env bash
# Builds the Debian package of the program into build-package/.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-package"
cd "$root"
# dpkg-shlibdeps works out the package's dependencies.
"$root/tools/install-deps.sh" dpkg-dev file desktop-file-utils
desktop-file-validate "$root/app/whoislookup.desktop"
# Built with Debian's hardening flags, as a package from the archive would be.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)"
cmake --build "$build" --parallel --target whoislookup
(cd "$build" && cpack -G DEB)
for deb in "$build"/*.deb; do
    echo "$deb"
    dpkg-deb --field "$deb"
    dpkg-deb --contents "$deb"
done
