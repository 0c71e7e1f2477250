#!/usr/bin/env bash
# Builds the project and runs every test: once as it ships (Release), once
# under AddressSanitizer and UndefinedBehaviorSanitizer, and the threaded
# tests under ThreadSanitizer.  Every build treats warnings as errors.
set -euo pipefail
koren=$(cd "$(dirname "$0")/.." && pwd)
"$koren/scripts/zavislosti.sh"

jobs=$(nproc)
# The GUI tests and the threaded ones run three times in the Release build
# (and the threaded ones three times under ThreadSanitizer): a test that
# fails only now and then shows here, not after it has landed.
opakovane='^(test_hlavni|test_mereni|test_nastaveni_kanalu|test_definice_kanalu|test_potvrzeni|test_comm)$'
vlaknove='^(test_mereni|test_comm)$'

cmake -S "$koren" -B "$koren/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZQ_WERROR=ON >/dev/null
cmake --build "$koren/build" -j"$jobs"
ctest --test-dir "$koren/build" --output-on-failure -j"$jobs" -E "$opakovane"
ctest --test-dir "$koren/build" --output-on-failure -j"$jobs" -R "$opakovane" --repeat until-fail:3

cmake -S "$koren" -B "$koren/build-asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZQ_SANITIZE=ON -DZQ_WERROR=ON >/dev/null
cmake --build "$koren/build-asan" -j"$jobs"
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$koren/build-asan" --output-on-failure -j"$jobs"

# The threaded tests once more under ThreadSanitizer (Qt itself is not
# instrumented; tests/tsan.supp names the hand-overs inside Qt it cannot see).
cmake -S "$koren" -B "$koren/build-tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZQ_TSAN=ON -DZQ_WERROR=ON >/dev/null
cmake --build "$koren/build-tsan" -j"$jobs" --target test_mereni test_comm
TSAN_OPTIONS="halt_on_error=1 suppressions=$koren/tests/tsan.supp" \
  ctest --test-dir "$koren/build-tsan" --output-on-failure -R "$vlaknove" --repeat until-fail:3

# What an installation and the Debian package hold, from the Release build
# above: a few seconds (scripts/over-instalaci.sh says what it checks).
"$koren/scripts/over-instalaci.sh" "$koren/build"
