#!/usr/bin/env bash
# Checks our C++ sources (those git knows, so nothing generated):
#   1. clang-format (.clang-format) has nothing to change;
#   2. no layer includes a header of a layer above it;
#   3. clang-tidy (.clang-tidy) reports nothing, with the compile commands
#      of a build tree of its own, build-lint/, that holds every target
#      (tests, benchmarks, the fuzz target) and the headers moc and uic make.
# Each runs whatever the others find; any finding fails the run.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-lint"
"$root/tools/install-deps.sh" clang clang-format clang-tidy
cd "$root"
mapfile -t sources < <(git ls-files '*.cpp' '*.h')
mapfile -t units < <(git ls-files '*.cpp')
failed=()

echo "== clang-format"
unformatted=()
for source in "${sources[@]}"; do
    clang-format --dry-run --Werror "$source" 2>/dev/null || unformatted+=("$source")
done
if [ ${#unformatted[@]} -eq 0 ]; then
    echo "clang-format: nothing to change in ${#sources[@]} files"
else
    for source in "${unformatted[@]}"; do
        clang-format "$source" | diff -u --label "$source" --label "$source (formatted)" "$source" - || true
    done | head -n 200
    echo "clang-format: ${#unformatted[@]} files to format: ${unformatted[*]}"
    echo "  apply with: git ls-files '*.cpp' '*.h' | xargs clang-format -i"
    failed+=(clang-format)
fi

echo "== layers"
# app/ uses ui/, which uses whois/: no header of a layer is included from a
# layer below it.
layered=0
check_layer()
{
    local upper=$1 lower=$2 header
    for header in $(git ls-files "$upper/*.h" | xargs -n 1 basename) ${3:-}; do
        if git grep -nE "#include [\"<]([^\">]*/)?$header[\">]" -- "$lower" ; then
            echo "layers: $lower includes $header of $upper"
            layered=1
        fi
    done
}
check_layer app ui
check_layer app whois
check_layer ui whois ui_whoismain.h
if [ "$layered" -eq 0 ]; then
    echo "layers: app/ -> ui/ -> whois/, nothing included upwards"
else
    failed+=(layers)
fi

echo "== clang-tidy"
# Configured only, not built, but for the generated headers the sources
# include (ui_whoismain.h); with clang, which the fuzz target needs.
CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DBUILD_TESTING=ON \
    -DWHOIS_BENCH=ON -DWHOIS_FUZZ=ON -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
    -DCMAKE_GLOBAL_AUTOGEN_TARGET=ON -DCMAKE_AUTOGEN_ORIGIN_DEPENDS=OFF >/dev/null
cmake --build "$build" --target autogen >/dev/null
for unit in "${units[@]}"; do
    if ! grep -qF "\"file\": \"$root/$unit\"" "$build/compile_commands.json"; then
        echo "clang-tidy: $unit is in no target, so it cannot be checked"
        failed+=("$unit")
    fi
done
status=0
printf '%s\n' "${units[@]}" | xargs -P "$(nproc)" -n 1 clang-tidy -p "$build" --quiet \
    >"$build/clang-tidy.log" 2>&1 || status=$?
grep -vE '^[0-9]+ warnings?( and [0-9]+ errors?)? generated\.$' "$build/clang-tidy.log" || true
if [ "$status" -eq 0 ]; then
    echo "clang-tidy: nothing to report in ${#units[@]} files"
else
    failed+=(clang-tidy)
fi

if [ ${#failed[@]} -ne 0 ]; then
    echo "lint failed: ${failed[*]}"
    exit 1
fi
echo "lint: clean"
