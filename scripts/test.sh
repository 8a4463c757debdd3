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

echo "== fuzzing the stored-definition reader (libFuzzer, bounded)"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DLENTICOR_FUZZ=ON -DLENTICOR_TESTS=OFF -DLENTICOR_BENCHMARKS=OFF >/dev/null
cmake --build build-fuzz --target fuzz_definition
fuzzdir=$(mktemp -d /tmp/lenticor-fuzz.XXXXXX)
mkdir -p "$fuzzdir/work" "$fuzzdir/seeds"
cp tests/fuzz/corpus/* "$fuzzdir/seeds/"
# The first byte picks the form: even for the lens, odd for the About box.
{ printf '\0'; cat resources/TForm1.dfm; } > "$fuzzdir/seeds/lens"
{ printf '\1'; cat resources/TForm2.dfm; } > "$fuzzdir/seeds/about"
# A finding is written beside the corpus; add it to tests/fuzz/corpus so every build replays it.
LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0" \
  build-fuzz/tests/fuzz/fuzz_definition -max_total_time="${LENTICOR_FUZZ_SECONDS:-60}" -max_len=8192 \
  -rss_limit_mb=2048 -timeout=5 -print_final_stats=1 -artifact_prefix="$fuzzdir/" \
  "$fuzzdir/work" "$fuzzdir/seeds" 2>&1 | tail -n 12
status=${PIPESTATUS[0]}
rm -rf "$fuzzdir"
[ "$status" -eq 0 ] || { echo "the fuzzer found a fault"; exit 1; }
