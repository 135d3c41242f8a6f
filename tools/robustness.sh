#!/usr/bin/env bash
# The robustness checks beyond the test suite:
#   1. the whole test suite under AddressSanitizer and UndefinedBehaviorSanitizer;
#   2. the reply-to-rows fuzzer (libFuzzer, clang) for FUZZ_SECONDS (default 60);
#   3. the real program through a scripted session under Valgrind memcheck.
# Any report fails the run.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/install-deps.sh" clang libclang-rt-14-dev valgrind
jobs="$(nproc)"

echo "== Test suite under ASan + UBSan"
cmake -S "$root" -B "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug -DBUILD_TESTING=ON \
    -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake --build "$root/build-asan" --parallel "$jobs"
ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=0 \
LSAN_OPTIONS="suppressions=$root/tools/lsan.supp:print_suppressions=0" \
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    ctest --test-dir "$root/build-asan" --output-on-failure

echo "== Fuzzing the reply-to-rows path"
CXX=clang++ cmake -S "$root" -B "$root/build-fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DBUILD_TESTING=OFF -DWHOIS_FUZZ=ON \
    -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=all"
cmake --build "$root/build-fuzz" --parallel "$jobs" --target fuzz_replyrows
corpus="$root/build-fuzz/corpus"
mkdir -p "$corpus"
(cd "$root/build-fuzz" && ./tests/fuzz/fuzz_replyrows -max_total_time="${FUZZ_SECONDS:-60}" \
    -max_len=8192 -print_final_stats=1 "$corpus" "$root/tests/fuzz/seeds")

echo "== The program under Valgrind"
cmake --build "$root/build" --parallel "$jobs" --target scriptedsession
QT_QPA_PLATFORM=offscreen valgrind --error-exitcode=99 --leak-check=full \
    --show-leak-kinds=definite --errors-for-leak-kinds=definite \
    "$root/build/tests/scriptedsession"
