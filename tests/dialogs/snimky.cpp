// Writes a picture of each dialog into the folder given as the argument:
// dlg-nastaveni-kanalu.png, dlg-definice-kanalu.png,
// dlg-soubor-existuje.png, dlg-opravdu-smazat.png.

#include <QApplication>
#include <QDir>
#include <QPixmap>

#include <cstdio>

#include "DefiniceKanalu.h"
#include "NastaveniKanalu.h"
#include "OpravduSmazat.h"
#include "SouborExistuje.h"
#include "platform/Cp1250.h"
#include "platform/Mistni.h"

namespace {

bool Uloz(QDialog& dialog, const QDir& slozka, const char* jmeno) {
  dialog.show();
  QApplication::processEvents();
  const bool ok = dialog.grab().save(slozka.filePath(QString::fromLatin1(jmeno)));
  dialog.hide();
  std::printf("%s %s\n", jmeno, ok ? "written" : "FAILED");
  return ok;
}

TKanal Kanal(const char* nazev, int adresa, int periferie, const char* format, int mista, double k,
             double q) {
  TKanal c;
  c.Nazev = Cp1250(nazev);
  c.Adresa = static_cast<uint8_t>(adresa);
  c.Periferie = static_cast<uint8_t>(periferie);
  c.Format = format;
  c.DesetinnaMista = mista;
  c.KonstK = k;
  c.KonstQ = q;
  return c;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication aplikace(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: dialogs_snimky <folder>\n");
    return 2;
  }
  const QDir slozka(QString::fromLocal8Bit(argv[1]));
  NastavMistni(MistniCeske());
  bool ok = true;

  TFormNastaveniKanalu nastaveni(nullptr);
  nastaveni.Kanal = Kanal("Teplota vstupu", 12, 3, "float32", 2, 0.25, -1.5);
  ok &= Uloz(nastaveni, slozka, "dlg-nastaveni-kanalu.png");

  TFormDefiniceKanalu definice(nullptr);
  const TKanal kanaly[] = {
      Kanal("Teplota vstupu", 12, 3, "float32", 2, 0.25, -1.5),
      Kanal("Teplota výstupu", 12, 4, "float32", 2, 0.25, -1.5),
      Kanal("Tlak před čerpadlem", 7, 0, "uint32", 1, 0.1, 0),
      Kanal("Průtok", 7, 1, "uint32", 3, 0.001, 0),
      Kanal("Čerpadlo běží", 20, 0, "bool32", 0, 1, 0),
  };
  for (const TKanal& k : kanaly) definice.PoleKanalu[definice.PocetKanalu++] = k;
  ok &= Uloz(definice, slozka, "dlg-definice-kanalu.png");

  TFormSouborExistuje soubor(nullptr);
  soubor.Soubor = Cp1250("/home/operator/měření/ZQ_datalogger.txt");
  ok &= Uloz(soubor, slozka, "dlg-soubor-existuje.png");

  TFormOpravduSmazat smazat(nullptr);
  ok &= Uloz(smazat, slozka, "dlg-opravdu-smazat.png");
  return ok ? 0 : 1;
}
