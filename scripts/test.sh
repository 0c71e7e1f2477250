#!/usr/bin/env bash
# Builds the project and runs every test: once as it ships (Release), once
# under AddressSanitizer and UndefinedBehaviorSanitizer, and the threaded
# tests under ThreadSanitizer (the presets of CMakePresets.json); checks the
# formatting, the include graph of the folders and the static analysis; checks what
# an installation and the Debian package hold.  Every build treats warnings
# as errors.
set -euo pipefail
koren=$(cd "$(dirname "$0")/.." && pwd)
cd "$koren"
"$koren/scripts/zavislosti.sh" --testy

jobs=$(nproc)
# Each phase says when it starts, so a slow run shows where its time went.
faze() { echo "== ${SECONDS} s: $*"; }
# The GUI tests and the threaded ones run three times in the Release build
# (and the threaded ones three times under ThreadSanitizer): a test that
# fails only now and then shows here, not after it has landed.
opakovane='^(test_hlavni|test_mereni|test_logger|test_historie|test_prubeh|test_publikace|test_nastaveni_kanalu|test_definice_kanalu|test_potvrzeni|test_comm|test_okno)$'
vlaknove='^(test_mereni|test_logger|test_historie|test_publikace|test_comm|test_okno)$'

# The house style: every source file as .clang-format has it.
# The checkout's list; an unpacked copy without git history has its folders.
if ! zdroje=$(git ls-files '*.cpp' '*.h' '*.c' 2>/dev/null) || [ -z "$zdroje" ]; then
  zdroje=$(find app archive bench comm ctenar dialogs drivers logger mereni modely packaging platform graf prohlizec prubeh publikace sim task tests \
    -name '*.cpp' -o -name '*.h' -o -name '*.c')
fi
faze "formatting and include layers"
printf '%s\n' "$zdroje" | xargs clang-format --dry-run --Werror
python3 "$koren/scripts/graf-includu.py" >/dev/null

faze "Release build"
cmake --preset normal >/dev/null
cmake --build --preset normal -j"$jobs"

# Static analysis of the program's own code (.clang-tidy), from the Release
# build's compile commands.  It runs beside the tests and the other builds:
# the tests spend much of their time waiting for real time to pass (the
# periods, the broker, the logger's processes), and the analysis takes those
# idle cores instead of six minutes of its own at the end.  The tests pass
# with every core busy, so the load it adds is one they are made for.
tidy_vystup="$koren/build/tidy.log"
"$koren/scripts/tidy.sh" "$koren/build" >"$tidy_vystup" 2>&1 &
tidy=$!
# An early failure must not leave the analysis running behind the script.
trap 'pkill -P "$tidy" 2>/dev/null; kill "$tidy" 2>/dev/null || true' EXIT

faze "Release tests"
ctest --preset normal -j"$jobs" -E "$opakovane"
ctest --preset normal -j"$jobs" -R "$opakovane" --repeat until-fail:3

faze "ASan+UBSan build and tests"
cmake --preset asan >/dev/null
cmake --build --preset asan -j"$jobs"
ctest --preset asan -j"$jobs"

# Qt itself is not instrumented; tests/tsan.supp names the hand-overs inside
# Qt that ThreadSanitizer cannot see.
faze "TSan build and threaded tests"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j"$jobs" --target test_mereni test_logger test_historie test_publikace \
  test_comm test_okno
ctest --preset tsan -R "$vlaknove" --repeat until-fail:3

faze "waiting for the static analysis"
if ! wait "$tidy"; then
  cat "$tidy_vystup"
  exit 1
fi
trap - EXIT
cat "$tidy_vystup"

# What an installation and the Debian package hold, from the Release build
# above: a few seconds (scripts/over-instalaci.sh says what it checks).
faze "install check"
"$koren/scripts/over-instalaci.sh" "$koren/build"
faze "all passed"
