#!/usr/bin/env python3
"""The channels of the soak (bench/logger/soak.sh) and the check of its data file.

One table of 256 channels is the source of the simulator's configuration,
of the task file and of the rule every value in the data file must obey, so
the three cannot drift apart.

  soak.py simulator SLOZKA [--bez-poruch] [--seed N]
      writes SLOZKA/soak.sim, the simulator's configuration (any free UDP
      port on 127.0.0.1, the modules, the faults)
  soak.py uloha SLOZKA PORT FORMAT ODDELOVAC
      writes SLOZKA/soak.zq, the task (Windows-1250, CR LF) with every key a
      save writes; its data file is SLOZKA/data.<format>
  soak.py kontrola SLOZKA FORMAT ODDELOVAC SEKUND [--rada BAJTU]
      reads the data file, prints what it found and the verdict; exit
      status 1 when a value breaks its rule, a failed read is not marked, a
      field does not parse, the index column skips or repeats, or soak.sh
      passed a fault of the logger (--vada).  With --rada the data went to
      a series split by size (data_<date>_<time>[-n].<format>): its files
      are read in order, each with a header of its own and no larger than
      BAJTU, and every index must come exactly once across them

Every failed read writes the value 0 ("Chybová hodnota" 0) and sets the
channel's bit in its error column, and no rule allows 0, so a failed read
shows twice and each sign checks the other.
"""

import argparse
import csv
import datetime
import os
import re
import sys

KANALU = 256
# Requests one peripheral may have served: a day at one pass a second, each
# read tried twice, with room to spare.  The counters' ranges are this wide,
# so a run up to a day never leaves them (soak.sh refuses longer ones).
MAX_DOTAZU = 200000

PORUCHY = [
    "drop=0.02",  # no answer at all: the try waits its whole window
    "crc=0.005",
    "addr=0.003",  # the next module's address
    "delay=5@0.01",  # late, still inside the try's window
    "delay=200@0.002",  # after the window: arrives during a later request
    "dup=0.01",
    "trunc=0.005",
    "long=0.005",
    "foreign=0.01",  # a datagram from another port first
]

# The line as the task sets it: each try waits (2 + 10) + 30 / 2 ms at most,
# so a pass with its few lost answers stays well inside the period.
PRIPOJENI = {
    "LAN timeout": 30,
    "RS-485 rychlost": 115200,
    "RS-485 timeout": 10,
    "RS-485 opakování": 1,
}


class Kanal:
    """Channel i: peripheral i % 32 of module 1 + i // 32."""

    def __init__(self, i):
        self.i = i
        self.adresa = 1 + i // 32
        self.periferie = i % 32
        self.k, self.q = 1.0, 0.0
        self.mista = 0
        k = i // 8  # 0..31 for each kind
        druh = i % 8
        if druh == 0:
            # A counter: start + step x requests served; retries advance it
            # too, so only its direction and its range are known.
            zaklad = (i + 1) * 10_000_000
            self.format, self.modul = "uint32", f"uint32:counter:start={zaklad}:step=1"
            self.pravidlo = ("citac", zaklad, zaklad + MAX_DOTAZU)
        elif druh == 1:
            zaklad = (i + 1) * 10_000_000
            self.format, self.modul = "uint32", f"uint32:counter:start={zaklad}:step=7"
            self.k, self.q, self.mista = 0.5, 0.25, 2
            self.pravidlo = ("citac", zaklad * 0.5 + 0.25, (zaklad + 7 * MAX_DOTAZU) * 0.5 + 0.25)
        elif druh == 2:
            # Negative all the way: the sign bit of the float format.
            horni = -20000.0 * (k + 1)
            dolni = horni - 0.1 * MAX_DOTAZU
            self.format, self.modul = "float32", f"float32:counter:start={dolni:.1f}:step=0.1:dec=1"
            self.mista = 1
            self.pravidlo = ("citac", dolni, horni)
        elif druh == 3:
            stred = 1000.0 + 100 * k
            self.format = "float32"
            self.modul = f"float32:sine:offset={stred:.0f}:amp=40:period={20 + k}:dec=2"
            self.mista = 2
            self.pravidlo = ("rozsah", stred - 40, stred + 40)
        elif druh == 4:
            minimum = -5000.0 - 100 * k
            self.format = "float32"
            self.modul = f"float32:ramp:min={minimum:.0f}:height=50:period=30:dec=1"
            self.k, self.q, self.mista = 2.0, 1.0, 1
            self.pravidlo = ("rozsah", 2 * minimum + 1, 2 * (minimum + 50) + 1)
        elif druh == 5:
            self.format, self.modul = "bool32", "bool32:walk"
            self.pravidlo = ("bit",)
        elif druh == 6 and k % 2 == 0:
            hodnota = 4_000_000_000 - 1000 * i
            self.format, self.modul = "uint32", f"uint32:const:value={hodnota}"
            self.pravidlo = ("konstanta", float(hodnota))
        elif druh == 6:
            bity = 0xA5A5A5A5 ^ i
            self.format, self.modul = "bool32", f"bool32:const:bits={bity:#x}"
            self.pravidlo = ("konstanta", float(bity))
        else:
            hodnota = -(1234.5 + k)
            self.format, self.modul = "float32", f"float32:const:value={hodnota:.1f}:dec=1"
            self.k, self.q, self.mista = 2.0, -3.0, 2
            self.pravidlo = ("konstanta", 2 * hodnota - 3)
        self.nazev = f"K{i:03d}"

    def poruseni(self, v, predchozi):
        """Why the value v breaks the rule, or None; predchozi is the last
        good value of the channel (None at first)."""
        tol = 0.5 * 10.0 ** -self.mista + 1e-9
        druh = self.pravidlo[0]
        if druh == "citac":
            if predchozi is not None and v < predchozi - tol:
                return f"counter fell from {predchozi:.15g} to {v:.15g}"
            if not self.pravidlo[1] - tol <= v <= self.pravidlo[2] + tol:
                return f"counter {v:.15g} outside {self.pravidlo[1]:.15g}..{self.pravidlo[2]:.15g}"
        elif druh == "rozsah":
            if not self.pravidlo[1] - tol <= v <= self.pravidlo[2] + tol:
                return f"{v:.15g} outside {self.pravidlo[1]:.15g}..{self.pravidlo[2]:.15g}"
        elif druh == "bit":
            if v != int(v) or int(v) <= 0 or int(v) & (int(v) - 1):
                return f"{v:.15g} is not a single bit"
        elif abs(v - self.pravidlo[1]) > tol:
            return f"{v:.15g} instead of the constant {self.pravidlo[1]:.15g}"
        return None


KANALY = [Kanal(i) for i in range(KANALU)]


def zapis_simulator(args):
    radky = ["# zq-modsim configuration of the soak (bench/logger/soak.py)", "bind 127.0.0.1", "udp 0"]
    radky.append(f"seed {args.seed}")
    radky += [f"module {c.adresa}:{c.periferie}={c.modul}" for c in KANALY]
    if not args.bez_poruch:
        radky += [f"fault {p}" for p in PORUCHY]
    with open(os.path.join(args.slozka, "soak.sim"), "w", encoding="ascii") as f:
        f.write("\n".join(radky) + "\n")


def cislo_ulohy(v, oddelovac):
    # As a save writes K and Q: the regional decimal separator.
    text = repr(v)
    if text.endswith(".0"):
        text = text[:-2]
    return text.replace(".", oddelovac)


def zapis_ulohu(args):
    data = os.path.abspath(os.path.join(args.slozka, "data." + args.format))
    radky = ["[Připojení]", "Rozhraní=ZQ-1407U", "IP adresa=127.0.0.1", f"UDP port={args.port}"]
    radky += [f"{klic}={hodnota}" for klic, hodnota in PRIPOJENI.items()]
    radky += [
        "[Konfigurace]",
        "Perioda měření=0",  # 1 s
        f"Počet kanálů={KANALU}",
        f"Jméno souboru={data}",
        "Volby=31",  # header, index, date, time, error columns
        "Chybová hodnota=0",  # a failed read writes 0
    ]
    for c in KANALY:
        radky += [
            f"[Ch{c.i}]",
            f"Adresa={c.adresa}",
            f"Periferie={c.periferie}",
            f"Formát={c.format}",
            f"Desetinná místa={c.mista}",
            f"Konstanta K={cislo_ulohy(c.k, args.oddelovac)}",
            f"Konstanta Q={cislo_ulohy(c.q, args.oddelovac)}",
            f"Název={c.nazev}",
        ]
    with open(os.path.join(args.slozka, "soak.zq"), "wb") as f:
        f.write(("\r\n".join(radky) + "\r\n").encode("cp1250"))


# ---------------------------------------------------------------------------
# Reading the data file: every format gives rows of texts (DBF: of values).

SKUPIN = (KANALU + 31) // 32
SLOUPCU = 3 + SKUPIN + KANALU  # index, date, time, error groups, channels


def radky_csv(soubor):
    with open(soubor, encoding="cp1250", newline="") as f:
        radky = list(csv.reader(f, delimiter=";", quotechar='"'))
    return radky[0], radky[1:]


def radky_txt(soubor):
    with open(soubor, "rb") as f:
        obsah = f.read().decode("cp1250")
    radky = [r.split("\t") for r in obsah.split("\r\n")]
    if radky and radky[-1] == [""]:
        radky.pop()
    radky = [[pole.strip(" ") for pole in r] for r in radky]
    return radky[0], radky[1:]


def radky_dbf(soubor):
    import dbfread  # only the DBF format needs it

    # The fields as they stand, so they are checked as the texts of the other
    # formats are (the writer turns a decimal comma into a point).
    tabulka = dbfread.DBF(soubor, char_decode_errors="strict", raw=True)
    zaznamy = [[b.decode("cp1250").strip(" ") for b in z.values()] for z in tabulka]
    return list(tabulka.field_names), zaznamy


def cele(text):
    return int(text) if re.fullmatch(r"\d+", text) else None


def cislo(text, oddelovac):
    """The number of a field, or None when it is no number in this
    locale's form."""
    jiny = "," if oddelovac == "." else "."
    if jiny in text or not re.fullmatch(r"-?\d+(" + re.escape(oddelovac) + r"\d+)?", text):
        return None
    return float(text.replace(oddelovac, "."))


def desetin(text, oddelovac):
    return len(text.split(oddelovac)[1]) if oddelovac in text else 0


def okamzik(datum, cas):
    """Date and time of the regional forms pinned by soak.sh (day, month,
    year; 24-hour time), as seconds; None when they do not parse."""
    d = re.findall(r"\d+", datum or "")
    t = re.findall(r"\d+", cas or "")
    if len(d) != 3 or len(t) != 3:
        return None
    den, mesic, rok = (int(x) for x in d)
    if rok < 100:
        rok += 2000
    try:
        dt = datetime.datetime(rok, mesic, den, int(t[0]), int(t[1]), int(t[2]))
    except ValueError:
        return None
    return int(dt.timestamp())


def soubory_rady(slozka, format):
    """The files of the series split by size, oldest first: by the time
    of their first sample, then the number a name taken got."""
    vzor = re.compile(r"data_(\d{4}-\d{2}-\d{2}_\d{6})(?:-([1-9]\d*))?\." + format + "$")
    rada = []
    for jmeno in os.listdir(slozka):
        m = vzor.match(jmeno)
        if m:
            rada.append(((m.group(1), int(m.group(2) or 1)), os.path.join(slozka, jmeno)))
    return [s for _, s in sorted(rada)]


def kontrola(args):
    soubor = os.path.join(args.slozka, "data." + args.format)
    oddelovac = "." if args.format == "dbf" else args.oddelovac
    cteni = {"csv": radky_csv, "txt": radky_txt, "dbf": radky_dbf}[args.format]
    vadnych_poli = 0  # fields that do not parse
    priklady = []

    def priklad(text):
        if len(priklady) < 8:
            priklady.append(text)

    soubory = soubory_rady(args.slozka, args.format) if args.rada else [soubor]
    hlavicka, zaznamy, velikosti, bez_hlavicky = None, [], [], 0
    for s in soubory:
        try:
            h, z = cteni(s)
        except (OSError, ValueError, IndexError) as e:
            print(f"data file        {s} unreadable: {e}")
            print("verdict          FAILED: a data file cannot be read")
            return 1
        # Each file of a series is complete in itself: the task's header.
        if hlavicka is not None and h != hlavicka:
            bez_hlavicky += 1
            priklad(f"{os.path.basename(s)}: header {h[:4]!r}... differs from the first file's")
        hlavicka = hlavicka or h
        zaznamy += z
        velikosti.append((os.path.getsize(s), len(z), os.path.basename(s)))
    if hlavicka is None:
        print(f"data file        {soubor}: no file of the series")
        print("verdict          FAILED: no data file to check")
        return 1
    if args.rada:
        soubor = f"{len(soubory)} files of the series in {args.slozka}"

    if len(hlavicka) != SLOUPCU:
        print(f"data file        {soubor}: {len(hlavicka)} columns instead of {SLOUPCU}")
        print("verdict          FAILED: the file's columns are not those of the task")
        return 1

    indexy, casy = [], []
    spatnych = 0  # values that break their rule
    chybnych = oznacenych = neoznacenych = 0  # failed reads in the file
    chyba_bez_nuly = 0  # status set, value not the error value 0
    beze_zmeny = kroku = 0  # counters: a sample saw the same read again
    posledni = [None] * KANALU
    for n, z in enumerate(zaznamy):
        if len(z) != SLOUPCU:
            vadnych_poli += 1
            priklad(f"record {n + 1}: {len(z)} fields")
            continue
        index = cele(z[0])
        if index is None:
            vadnych_poli += 1
            priklad(f"record {n + 1}: index {z[0]!r}")
        indexy.append(index)
        t = okamzik(z[1], z[2])
        if t is None:
            vadnych_poli += 1
            priklad(f"record {n + 1}: date/time {z[1]!r} {z[2]!r}")
        casy.append(t)
        bity = []
        for g in range(SKUPIN):
            b = cele(z[3 + g])
            if b is None:
                vadnych_poli += 1
                priklad(f"record {n + 1}: error group {g} {z[3 + g]!r}")
                b = 0
            bity.append(b)
        for c in KANALY:
            pole = z[3 + SKUPIN + c.i]
            v = cislo(pole, oddelovac)
            if v and desetin(pole, oddelovac) != c.mista:
                v = None  # a read value carries the channel's decimal places
            if v is None:
                vadnych_poli += 1
                priklad(f"record {n + 1}, channel {c.i}: {pole!r}")
                continue
            oznacen = bity[c.i // 32] >> (c.i % 32) & 1
            if oznacen or v == 0:
                chybnych += 1
                if oznacen and v == 0:
                    oznacenych += 1
                elif oznacen:
                    chyba_bez_nuly += 1
                    priklad(f"record {n + 1}, channel {c.i}: status set, value {pole!r}")
                else:
                    neoznacenych += 1
                    priklad(f"record {n + 1}, channel {c.i}: value 0 without its status bit")
                continue
            duvod = c.poruseni(v, posledni[c.i])
            if duvod:
                spatnych += 1
                priklad(f"record {n + 1}, channel {c.i} ({c.modul}): {duvod}")
                continue
            if c.pravidlo[0] == "citac" and posledni[c.i] is not None:
                kroku += 1
                beze_zmeny += v == posledni[c.i]
            posledni[c.i] = v

    # The index column counts the samples: 1, 2, 3 ... (across a series too)
    dobre_indexy = [i for i in indexy if i is not None]
    mezer_indexu = sum(1 for a, b in zip(dobre_indexy, dobre_indexy[1:]) if b != a + 1)
    dvakrat_indexu = len(dobre_indexy) - len(set(dobre_indexy))
    vetsich = [v for v in velikosti if args.rada and v[0] > args.rada]
    # The time column: one second between samples.
    dobre_casy = [t for t in casy if t is not None]
    rozdily = [b - a for a, b in zip(dobre_casy, dobre_casy[1:])]
    chybi_sekund = sum(d - 1 for d in rozdily if d > 1)
    dvakrat = sum(1 for d in rozdily if d == 0)
    zpet = sum(1 for d in rozdily if d < 0)
    # The first sample at once, then one a second until the stop.
    ocekavano = 1 + int(args.sekund)
    hodnot = len(zaznamy) * KANALU

    print(f"data file        {soubor}")
    if args.rada:
        zaznamu = [v[1] for v in velikosti]
        print(
            f"series           {len(soubory)} files, {len(soubory) - 1} switches, records per file "
            f"{min(zaznamu)}..{max(zaznamu)}, largest {max(v[0] for v in velikosti)} B of "
            f"{args.rada} B, {len(vetsich)} larger, {bez_hlavicky} with another header, "
            f"indices twice {dvakrat_indexu}"
        )
    nesouhlasi = args.zapsano is not None and args.zapsano != len(zaznamy)
    print(
        f"samples          expected {ocekavano} ({args.sekund:.1f} s from the first to the stop), "
        f"in the file {len(zaznamy)}"
        + ("" if args.zapsano is None else f" (the logger says {args.zapsano} written)")
        + f", index {dobre_indexy[0] if dobre_indexy else '-'}.."
        f"{dobre_indexy[-1] if dobre_indexy else '-'} with {mezer_indexu} breaks"
    )
    print(
        f"time column      {dobre_casy[-1] - dobre_casy[0] + 1 if dobre_casy else 0} s covered, "
        f"missing seconds {chybi_sekund}, same second twice {dvakrat}, backwards {zpet}"
    )
    print(
        f"values           {hodnot} checked, wrong {spatnych}, unparsable fields {vadnych_poli}, "
        f"counter same as in the sample before {beze_zmeny} of {kroku}"
    )
    print(
        f"failed reads     {chybnych} in the file ({100.0 * chybnych / max(hodnot, 1):.3f} %), "
        f"marked {oznacenych}, value 0 without status {neoznacenych}, "
        f"status without value 0 {chyba_bez_nuly}"
    )
    for p in priklady:
        print(f"  e.g. {p}")

    vady = list(args.vada or [])
    for pocet, co in [
        (spatnych, "wrong values"),
        (neoznacenych, "values 0 without their status"),
        (chyba_bez_nuly, "statuses on a value other than 0"),
        (vadnych_poli, "unparsable fields"),
        (mezer_indexu, "index breaks"),
        (dvakrat_indexu, "indices written twice"),
        (len(vetsich), "files of the series larger than the size"),
        (bez_hlavicky, "files of the series without the task's header"),
    ]:
        if pocet:
            vady.append(f"{pocet} {co}")
    if nesouhlasi:
        vady.append("the file holds other samples than the logger wrote")
    if not zaznamy:
        vady.append("no sample in the file")
    # Timing is a figure, not a fault of the values: said, not failed on.
    poznamky = []
    if chybi_sekund or dvakrat or zpet:
        poznamky.append(f"time column: {chybi_sekund} s missing, {dvakrat} twice, {zpet} backwards")
    if len(zaznamy) != ocekavano:
        poznamky.append(f"{len(zaznamy) - ocekavano:+d} samples against the elapsed time")
    poznamka = f" (note: {'; '.join(poznamky)})" if poznamky else ""
    if vady:
        print(f"verdict          FAILED: {'; '.join(vady)}{poznamka}")
        return 1
    print(f"verdict          OK{poznamka}")
    return 0


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    sub = p.add_subparsers(dest="prikaz", required=True)
    s = sub.add_parser("simulator")
    s.add_argument("slozka")
    s.add_argument("--bez-poruch", action="store_true")
    s.add_argument("--seed", type=int, default=12345)
    u = sub.add_parser("uloha")
    u.add_argument("slozka")
    u.add_argument("port", type=int)
    u.add_argument("format", choices=["csv", "dbf", "txt"])
    u.add_argument("oddelovac", choices=[".", ","])
    k = sub.add_parser("kontrola")
    k.add_argument("slozka")
    k.add_argument("format", choices=["csv", "dbf", "txt"])
    k.add_argument("oddelovac", choices=[".", ","])
    k.add_argument("sekund", type=float)
    k.add_argument("--zapsano", type=int, help="samples the logger says it wrote")
    k.add_argument("--vada", action="append", help="a fault soak.sh found, for the verdict")
    k.add_argument("--rada", type=int, help="a series split by size: no file larger (bytes)")
    args = p.parse_args()
    if args.prikaz == "simulator":
        zapis_simulator(args)
        return 0
    if args.prikaz == "uloha":
        zapis_ulohu(args)
        return 0
    return kontrola(args)


if __name__ == "__main__":
    sys.exit(main())
