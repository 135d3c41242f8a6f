#!/usr/bin/env bash
# Builds the Debian package twice, each time from a fresh clone of the
# committed HEAD in a folder of another name, one after the other (so at
# another time, and in another time zone), and checks that the two are the
# same to the byte. On a difference, diffoscope says where, and both
# packages are left in build-reproducible/.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
commit="$(git -C "$root" rev-parse HEAD)"
if [ -n "$(git -C "$root" status --porcelain --untracked-files=no)" ]; then
    echo "note: changes not committed are not part of this check"
fi
work="$(mktemp -d "${TMPDIR:-/tmp}/whoislookup-reproducible.XXXXXX")"
trap 'rm -rf "$work"' EXIT

build() # folder, time zone
{
    local tree="$work/$1"
    git clone --quiet --no-hardlinks "$root" "$tree"
    git -C "$tree" checkout --quiet --detach "$commit"
    if ! TZ="$2" "$tree/tools/package.sh" >"$work/$1.log" 2>&1; then
        tail -n 40 "$work/$1.log"
        echo "reproducible: the package build in $1 failed"
        exit 1
    fi
    ls "$tree"/build-package/*.deb
}

echo "Package of $commit, built twice"
first="$(build first UTC)"
second="$(build second-build-elsewhere Asia/Seoul)"
sha256sum "$first" "$second"
if [ "$(sha256sum <"$first")" = "$(sha256sum <"$second")" ]; then
    echo "reproducible: both builds gave the same package"
    exit 0
fi

out="$root/build-reproducible"
rm -rf "$out"
mkdir -p "$out/first" "$out/second"
cp "$first" "$out/first/"
cp "$second" "$out/second/"
"$root/tools/install-deps.sh" diffoscope-minimal binutils xz-utils >/dev/null
echo "reproducible: the packages differ; diffoscope's report (head):"
(cd "$out" && timeout 600 diffoscope --text - \
    "first/$(basename "$first")" "second/$(basename "$second")" || true) | head -n 150
echo "reproducible: the two builds differ (packages in build-reproducible/)"
exit 1
