#!/usr/bin/env python3
"""The include graph of the program's folders, file by file.

Each folder is a library and a layer.  A file may include headers of its own
folder and of folders of lower layers, never of its own layer's neighbours
or of a higher one: the measurement knows no window, the models know no
measurement, the libraries of the bus know no Qt.  Within a folder the graph
has no cycle.  Besides:
  - the measurement (mereni/) and the headless logger (logger/) use Qt Core
    only: no widget, chart or painting header;
  - the plot's drawing (graf/) paints without widgets, for programs without
    a display: no header of Qt Widgets or Qt Charts;
  - the interface libraries (drivers/) and the simulator (sim/) use no Qt;
  - of the interface libraries' headers, the program's folders include only
    what both sides share (zq407.h, the C interface; Linka.h, the line's
    facts): their status codes, texts and protocol are the libraries' own.
    The simulator, which speaks their protocol, may include it.
Fails with the offending includes listed; prints the layers when all holds.
"""
import pathlib
import re
import sys

koren = pathlib.Path(__file__).resolve().parent.parent

# Folder -> layer.  Lower layers are below: an include goes downwards only.
VRSTVY = {
    "platform": 0, "packaging": 0,
    "drivers": 1,
    "task": 2, "comm": 2, "sim": 2,
    "archive": 3, "dialogs": 3, "modely": 3,
    "mereni": 4,
    "publikace": 5,
    "graf": 6,
    "prubeh": 7, "logger": 7,
    "app": 8,
}
BEZ_QT = {"drivers", "sim"}
VEREJNE_OVLADACU = {"zq407.h", "Linka.h"}
SMI_DO_OVLADACU = {"drivers", "sim"}
JEN_QT_CORE = {"mereni", "publikace", "logger"}
# Qt headers of widgets, charts, painting and item models: none of them in a
# Qt Core layer.
NE_JADRO = re.compile(
    r"^#include <(QtWidgets|QtGui|QtCharts|Q(Widget|Dialog|Label|Chart|LineSeries|Painter|Color|Brush|"
    r"Pixmap|Image|Font|Application|GuiApplication|Abstract(Item|Table)Model|TableView|PushButton))",
    re.M)

BEZ_WIDGETU = {"graf"}
# Qt Widgets' and Qt Charts' headers: the ones named here, and every one the
# installed Qt has in those modules.
WIDGETY = re.compile(
    r"^#include <(QtWidgets|QtCharts|QtOpenGLWidgets|Q(Widget|Dialog|Label|Chart\w*|LineSeries|"
    r"DateTimeAxis|ValueAxis|Application|PushButton|ComboBox|ToolTip|TableView|GraphicsView))\b",
    re.M)
WIDGETY_HLAVICKY = set()
for qt in pathlib.Path("/usr/include").glob("*/qt6"):
    for modul in ("QtWidgets", "QtCharts"):
        if (qt / modul).is_dir():
            WIDGETY_HLAVICKY |= {h.name for h in (qt / modul).iterdir() if h.name.startswith("Q")}


def widgety(text):
    """The first include of a widget or chart header in `text`, or None."""
    m = WIDGETY.search(text)
    if m:
        return m.group(0)
    for h in re.findall(r"^#include <(Q\w+)>", text, re.M):
        if h in WIDGETY_HLAVICKY:
            return f"#include <{h}>"
    return None


soubory = {}  # name -> folder
for slozka in VRSTVY:
    for p in (koren / slozka).iterdir():
        if p.suffix in (".h", ".cpp", ".c"):
            soubory.setdefault(p.name, slozka)

chyby = []
graf = {}  # (folder, name) -> set of (folder, name) within the folder
for slozka, vrstva in VRSTVY.items():
    for p in sorted((koren / slozka).iterdir()):
        if p.suffix not in (".h", ".cpp", ".c"):
            continue
        text = p.read_text(encoding="utf-8")
        uzly = set()
        for hlavicka in re.findall(r'^#include "([^"]+)"', text, re.M):
            jmeno = hlavicka.split("/")[-1]
            cil = soubory.get(jmeno)
            if cil is None:
                continue  # a header of a dependency or generated
            if cil == "drivers" and slozka not in SMI_DO_OVLADACU and jmeno not in VEREJNE_OVLADACU:
                chyby.append(f"{slozka}/{p.name} includes drivers/{jmeno}, which is the interface "
                             f"libraries' own (only {', '.join(sorted(VEREJNE_OVLADACU))} are shared)")
            if cil == slozka:
                uzly.add(jmeno)
            elif VRSTVY[cil] >= vrstva:
                chyby.append(f"{slozka}/{p.name} includes {cil}/{jmeno} (layer {VRSTVY[cil]} "
                             f"is not below {vrstva})")
        graf[(slozka, p.name)] = uzly
        if slozka in BEZ_QT and re.search(r"^#include <Q", text, re.M):
            chyby.append(f"{slozka}/{p.name} includes Qt")
        if slozka in BEZ_WIDGETU and widgety(text):
            chyby.append(f"{slozka}/{p.name} includes a widget or chart header: {widgety(text)}")
        if slozka in JEN_QT_CORE and NE_JADRO.search(text):
            chyby.append(f"{slozka}/{p.name} includes more than Qt Core: "
                         f"{NE_JADRO.search(text).group(0)}")


def dosah(slozka, od):
    videno, zasobnik = set(), [od]
    while zasobnik:
        for n in graf.get((slozka, zasobnik.pop()), ()):
            if n not in videno:
                videno.add(n)
                zasobnik.append(n)
    return videno


for (slozka, jmeno) in sorted(graf):
    if jmeno in dosah(slozka, jmeno):
        chyby.append(f"cycle through {slozka}/{jmeno}")

if chyby:
    print("include graph:", "\n  ".join([""] + chyby), file=sys.stderr)
    sys.exit(1)
for vrstva in sorted(set(VRSTVY.values())):
    print(f"  layer {vrstva}: {', '.join(s + '/' for s, v in VRSTVY.items() if v == vrstva)}")
print("include graph: every include goes to a lower layer or its own folder, no cycle; "
      "the measurement and the logger use Qt Core only, the plot's drawing no widgets, "
      "the bus libraries no Qt; "
      "the libraries' own headers stay theirs")
