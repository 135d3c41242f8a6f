#!/usr/bin/env bash
# Installs what is missing, builds everything (the benchmarks too, so that
# they keep building), and runs the whole test suite. Arguments go to
# CMake's configure step: CI gives -DCMAKE_COMPILE_WARNING_AS_ERROR=ON.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/install-deps.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON \
    -DWHOIS_BENCH=ON "$@"
cmake --build "$root/build" --parallel
ctest --test-dir "$root/build" --output-on-failure
