#!/usr/bin/env bash
# Builds the project and runs every test: once as it ships, once under
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
koren=$(cd "$(dirname "$0")/.." && pwd)
"$koren/scripts/zavislosti.sh"

jobs=$(nproc)
cmake -S "$koren" -B "$koren/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$koren/build" -j"$jobs"
ctest --test-dir "$koren/build" --output-on-failure -j"$jobs"

cmake -S "$koren" -B "$koren/build-asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZQ_SANITIZE=ON >/dev/null
cmake --build "$koren/build-asan" -j"$jobs"
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$koren/build-asan" --output-on-failure -j"$jobs"

# The threaded tests once more under ThreadSanitizer (Qt itself is not
# instrumented; tests/tsan.supp names the hand-overs inside Qt it cannot see).
cmake -S "$koren" -B "$koren/build-tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZQ_TSAN=ON >/dev/null
cmake --build "$koren/build-tsan" -j"$jobs" --target test_mereni test_comm
TSAN_OPTIONS="halt_on_error=1 suppressions=$koren/tests/tsan.supp" \
  ctest --test-dir "$koren/build-tsan" --output-on-failure -R '^(test_mereni|test_comm)$'
