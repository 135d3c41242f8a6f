#!/usr/bin/env bash
# Installs what is missing, builds everything, and runs the whole test suite.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/install-deps.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON
cmake --build "$root/build" --parallel
ctest --test-dir "$root/build" --output-on-failure
