#!/usr/bin/env bash
# Builds the Debian package (tools/package.sh) and checks it with lintian:
# any error or warning fails. Informational tags are shown, not failed on.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/install-deps.sh" lintian
"$root/tools/package.sh" >/dev/null
for deb in "$root"/build-package/*.deb; do
    echo "lintian $(basename "$deb")"
    lintian --fail-on error,warning --display-info --info "$deb"
done
echo "lintian: no errors, no warnings"
