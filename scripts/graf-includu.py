#!/usr/bin/env python3
"""The include graph of app/, file by file.

Fails when the graph has a cycle, or when a file of the measurement (the
measurement object, its threads, the logger) reaches a header of the window:
the window observes the measurement, never the other way round.
"""
import pathlib
import re
import sys

slozka = pathlib.Path(__file__).resolve().parent.parent / "app"
soubory = {p.name: p for p in slozka.iterdir() if p.suffix in (".h", ".cpp")}
graf = {
    jmeno: {m for m in re.findall(r'^#include "([^"/]+)"', p.read_text(encoding="utf-8"), re.M)
            if m in soubory}
    for jmeno, p in soubory.items()
}


def dosah(od):
    videno, zasobnik = set(), [od]
    while zasobnik:
        for n in graf[zasobnik.pop()]:
            if n not in videno:
                videno.add(n)
                zasobnik.append(n)
    return videno


chyby = [f"cycle through {j}" for j in sorted(graf) if j in dosah(j)]
okno = {"Hlavni.h", "MereniModel.h", "SouborovyDialog.h", "Preklady.h"}
for j in sorted(graf):
    if j.split(".")[0] in ("Mereni", "Vlakna", "Logger", "Dekodovani", "Signaly", "zq-logger"):
        if dosah(j) & okno:
            chyby.append(f"{j} reaches the window: {sorted(dosah(j) & okno)}")
for j in sorted(graf):
    print(f"  {j} -> {', '.join(sorted(graf[j])) or '-'}")
if chyby:
    print("include graph of app/:", "; ".join(chyby), file=sys.stderr)
    sys.exit(1)
print("include graph of app/: no cycle; the measurement never reaches the window")
