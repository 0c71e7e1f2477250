#pragma once
// What the tests of the window and of the measurement share: texts, a
// file's bytes, the program's folder of a test, the samples written,
// channels, and a task or the window set up for the simulator's LAN
// converter.

#include <QByteArray>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "Cp1250.h"
#include "Dekl.h"
#include "Hlavni.h"
#include "Mereni.h"
#include "Slozka.h"

// A UTF-8 literal as the window shows it.
inline QString T(const char* s) { return QString::fromUtf8(s); }

// The bytes of a file; empty when it cannot be read.
inline QByteArray Obsah(const std::filesystem::path& p) {
  QFile f(QString::fromStdString(p.string()));
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Empties `slozka` and makes it the program's folder, holding links to the
// build's interface libraries `knihovny`, as where the program is installed.
inline void PripravSlozku(const std::filesystem::path& slozka,
                          std::initializer_list<const char*> knihovny = {}) {
  namespace fs = std::filesystem;
  for (const auto& e : fs::directory_iterator(slozka)) fs::remove_all(e.path());
  for (const char* knihovna : knihovny)
    fs::create_symlink(fs::path(ZQ_BIN) / knihovna, slozka / knihovna);
  NastavSlozkuProgramu(slozka);
}

// Counts the samples of measurement `m` written to the data file while the
// object lives.  PocetVzorku counts a sample before the writer has it, and
// a stop in between drops that one: a test that reads the file after the
// stop waits for this count.
class TZapsane : public TPozorovatelMereni {
 public:
  explicit TZapsane(TMereni& m) : m_(m) { m_.PridejPozorovatele(this); }
  ~TZapsane() override { m_.OdeberPozorovatele(this); }
  TZapsane(const TZapsane&) = delete;
  TZapsane& operator=(const TZapsane&) = delete;
  void VzorekZapsan(const TVzorekMereni& v, const TUlohaMereni&) override {
    if (v.Chyba.empty()) ++Pocet;
    Posledni = v;
  }
  int Pocet = 0;
  TVzorekMereni Posledni;  // the last sample handed on

 private:
  TMereni& m_;
};

// A channel of module `adresa`, peripheral `periferie`: K 1, Q 0, value "0".
inline TKanal Kanal(const char* nazev, uint8_t adresa, uint8_t periferie,
                    const char* format = "float32", int mista = 2) {
  TKanal k;
  k.Nazev = Cp1250(nazev);
  k.Adresa = adresa;
  k.Periferie = periferie;
  k.Format = format;
  k.DesetinnaMista = mista;
  k.KonstK = 1.0;
  k.KonstQ = 0.0;
  k.Hodnota = "0";
  return k;
}
// The places without the format: a literal 0 would be taken for a null format.
TKanal Kanal(const char* nazev, uint8_t adresa, uint8_t periferie, int mista) = delete;

// A task (the rest as a new one has it) for the simulator's LAN converter at
// 127.0.0.1:`port`: `kanalu` channels into `soubor`, no retries.
inline TCFG UlohaLan(int32_t port, int32_t kanalu, const std::string& soubor,
                     int32_t lanTimeout = 150, int32_t rs485Timeout = 20) {
  TCFG u;
  InitCFG(u);
  u.Rozhrani = "ZQ-1407U";
  u.IPAdresa = "127.0.0.1";
  u.UDPPort = port;
  u.LANTimeout = lanTimeout;
  u.RS485Timeout = rs485Timeout;
  u.RS485Opakovani = 0;
  u.PocetKanalu = kanalu;
  u.JmenoSouboru = soubor;
  return u;
}

// The window measuring `kanaly` (the rest of the table as a new task has
// it) through the LAN converter at 127.0.0.1:`port` into `soubor`, with no
// retries.
inline void NastavLan(TForm1& w, const std::vector<TKanal>& kanaly, uint16_t port,
                      const QString& soubor, int lanTimeout, int rs485Timeout) {
  TPoleKanal k;
  InitKanaly(k);
  for (size_t i = 0; i < kanaly.size(); ++i) k[i] = kanaly[i];
  Kanaly.Nahrad(k);
  CFG.PocetKanalu = static_cast<int32_t>(kanaly.size());
  w.InitOknoMereni(k, CFG.PocetKanalu);
  w.ComboBox3->setCurrentIndex(4);
  w.ComboBox3Change(4);
  w.Edit1->setText(T("127.0.0.1"));
  w.Edit2->setText(QString::number(port));
  w.Edit6->setText(QString::number(lanTimeout));
  w.Edit8->setText(QString::number(rs485Timeout));
  w.Edit9->setText(T("0"));
  w.Edit3->setText(soubor);
}
