#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole suite.
#   ./test.sh            the normal build (build/)
#   ./test.sh --sanitize the same suite under AddressSanitizer and UBSan (build-asan/)
set -euo pipefail
cd "$(dirname "$0")"

build_dir=build
extra=()
if [ "${1:-}" = "--sanitize" ]; then
  build_dir=build-asan
  extra=(-DKESTROVA_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
  export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi

tools/install-deps.sh build test report
cmake -S . -B "$build_dir" -G Ninja "${extra[@]}" >/dev/null
cmake --build "$build_dir" -j2
ctest --test-dir "$build_dir" --output-on-failure -j2
