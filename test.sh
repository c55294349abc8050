#!/usr/bin/env bash
# Builds everything and runs all tests: the normal build, the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, and each fuzzer briefly over
# its seed corpus.
#   ./test.sh            everything
#   ./test.sh quick      only the normal build and its tests
set -euo pipefail
cd "$(dirname "$0")"
./install-deps.sh

jobs=$(nproc)
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
# Dynamic thread-local blocks are not tracked (intercept_tls_get_addr=0): the
# leak checker guesses where such a block begins by reading the 16 bytes before
# it when it starts 16 bytes into a page; a block that lands there by chance
# has the allocator's own header there, and the checker then scans a garbage
# range and crashes at exit ("Tracer caught signal 11") in a program that
# leaks nothing. Static thread-local blocks are still scanned, and the main
# thread's thread-local objects are destroyed before the check runs.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:intercept_tls_get_addr=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions="$PWD/tests/lsan.supp"

# Every build of the test run treats a warning as an error.
build() {  # dir, cmake args...
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DVOX_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

echo "== build"
build build

if [ "${1:-}" != quick ]; then
  build build-asan -DVOX_SANITIZE=ON -DVOX_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
  echo "== fuzzers"
  CC=clang CXX=clang++ build build-fuzz -DVOX_FUZZ=ON
  # Each fuzzer runs 10 s over a copy of its corpus, as many at a time as
  # there are cores. A run fails on any report: crash, undefined behaviour,
  # leak, timeout or running out of memory; the report and the input behind
  # it are shown.
  . tools/fuzz/fuzz-lib.sh
  rm -rf build-fuzz/runs
  fuzzers=()
  for f in build-fuzz/fuzzers/fuzz_*; do if [ -x "$f" ]; then fuzzers+=("$f"); fi; done
  fuzz_run_all 10 build-fuzz/runs remove "${fuzzers[@]}"
  fuzz_report_all build-fuzz/runs "${fuzzers[@]}"
  echo "== sanitizer tests"
  # A sanitizer failure is a failure, whether or not a second run would pass.
  if ! ctest --test-dir build-asan -j "$jobs" --output-on-failure --timeout 600 >build-asan/ctest.log 2>&1; then
    # (head may close the pipe early; the summary below is shown regardless)
    { grep -E -A40 'Failure|runtime error|ERROR: AddressSanitizer|ERROR: LeakSanitizer|FAILED' build-asan/ctest.log || true; } | head -n 300 || true
    grep -A200 'tests failed out of' build-asan/ctest.log || true
    exit 1
  fi
  # The summary, with the tests that were skipped.
  sed -n '/% tests passed/,$p' build-asan/ctest.log
fi
echo "== tests"
ctest --test-dir build -j "$jobs" --output-on-failure --timeout 600
