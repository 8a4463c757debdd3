#!/usr/bin/env bash
# Builds everything and runs every test: once as released, once under AddressSanitizer and
# UndefinedBehaviorSanitizer. The tests start (and stop) their own X servers and window managers.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d /tmp/lenticor-runtime.XXXXXX)}"
chmod 700 "$XDG_RUNTIME_DIR"

echo "== release build"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
ctest --test-dir build --output-on-failure -j2

echo "== sanitizer build (address, undefined)"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLENTICOR_SANITIZE=ON -DLENTICOR_BENCHMARKS=OFF >/dev/null
cmake --build build-asan
ASAN_OPTIONS="detect_leaks=1:abort_on_error=0" \
LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  ctest --test-dir build-asan --output-on-failure -j2
