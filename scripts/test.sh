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
