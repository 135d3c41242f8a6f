#!/usr/bin/env bash
# Builds the Debian package of the program into build-package/.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-package"
cd "$root"
# dpkg-shlibdeps works out the package's dependencies.
"$root/tools/install-deps.sh" dpkg-dev file desktop-file-utils
desktop-file-validate "$root/app/whoislookup.desktop"
# Built with Debian's hardening flags, as a package from the archive would
# be, and reproducibly: the same commit gives the same package to the byte
# (tools/reproducible.sh). dpkg-buildflags maps the source folder to "."
# in what the compiler writes (so it runs there); the times CPack writes
# (the archives' members and gzip headers) are the last commit's, or
# outside git the changelog's.
export DEB_BUILD_MAINT_OPTIONS="hardening=+all reproducible=+all"
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH="$(git -C "$root" log -1 --format=%ct 2>/dev/null)" \
        || SOURCE_DATE_EPOCH="$(date -d "$(sed -n 's/^ -- .*>  //p' docs/changelog | head -n 1)" +%s)"
fi
export SOURCE_DATE_EPOCH
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
