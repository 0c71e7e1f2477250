#!/usr/bin/env bash
# Static analysis (.clang-tidy) of the program's own sources (the tests and
# benchmarks are left out: they run under the sanitizers, and analysing them
# would double the time), from the compile commands of a build folder
# (default: build).  The build uses GCC;
# the options clang does not know are dropped for the analysis.
set -euo pipefail
koren=$(cd "$(dirname "$0")/.." && pwd)
sestaveni=${1:-$koren/build}
cil="$sestaveni/tidy"
mkdir -p "$cil"
python3 - "$sestaveni/compile_commands.json" "$cil/compile_commands.json" "$koren" <<'PY'
import json, shlex, sys
prikazy, cil, koren = json.load(open(sys.argv[1])), sys.argv[2], sys.argv[3]
vyhodit = {"-Werror", "-fno-gnu-unique", "-Wno-restrict"}
vysledek = []
for p in prikazy:
    if "_autogen" in p["file"] or not p["file"].startswith(koren):
        continue
    p["command"] = shlex.join(a for a in shlex.split(p["command"]) if a not in vyhodit)
    vysledek.append(p)
json.dump(vysledek, open(cil, "w"), indent=1)
print(f"clang-tidy: {len(vysledek)} files")
PY
if ! run-clang-tidy -p "$cil" -j"$(nproc)" -quiet \
    "$koren/(app|archive|comm|dialogs|drivers|logger|mereni|modely|packaging|platform|graf|prubeh|publikace|sim|task)/" >"$cil/vystup.txt" 2>&1; then
  grep -E -A4 '(warning|error):' "$cil/vystup.txt" | head -300
  echo "clang-tidy: problems found (all of them in $cil/vystup.txt)"
  exit 1
fi
echo "clang-tidy: clean"
