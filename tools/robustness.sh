#!/usr/bin/env bash
# The robustness checks beyond the test suite, each in a build tree of its
# own, so the script runs on its own as well as after tools/test.sh:
#   1. the whole test suite under AddressSanitizer and UndefinedBehaviorSanitizer;
#   2. the client's threads under ThreadSanitizer: the client tests, and its
#      resolver thread in a network of its own (tests/resolverthreads.cpp);
#   3. the reply-to-rows fuzzer (libFuzzer, clang) for FUZZ_SECONDS (default 60);
#   4. the real program through a scripted session under Valgrind memcheck.
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

echo "== The client's threads under ThreadSanitizer"
# Qt is not built for ThreadSanitizer, so what happens inside it (its own
# locks among it) is left out: ignore_noninstrumented_modules. The client
# tests fork into their private networks from a process that already has
# threads (the test runner's watchdog); ThreadSanitizer lets such children
# run unwatched (die_after_fork=0), so resolverthreads, a plain program,
# checks that path.
CXX=clang++ cmake -S "$root" -B "$root/build-tsan" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DBUILD_TESTING=ON -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer"
cmake --build "$root/build-tsan" --parallel "$jobs" --target tst_idwhois tst_whoismain \
    resolverthreads
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1:die_after_fork=0"
ctest --test-dir "$root/build-tsan" --output-on-failure -R '^(tst_idwhois|tst_whoismain)$'
status=0
"$root/build-tsan/tests/resolverthreads" || status=$?
if [ "$status" -eq 77 ]; then
    echo "resolverthreads skipped: no network namespace can be made here"
elif [ "$status" -ne 0 ]; then
    exit "$status"
fi
unset TSAN_OPTIONS

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
cmake -S "$root" -B "$root/build-valgrind" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON
cmake --build "$root/build-valgrind" --parallel "$jobs" --target scriptedsession
QT_QPA_PLATFORM=offscreen valgrind --error-exitcode=99 --leak-check=full \
    --show-leak-kinds=definite --errors-for-leak-kinds=definite \
    "$root/build-valgrind/tests/scriptedsession"
