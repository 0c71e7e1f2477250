// Start and stop of a measurement, and the window work the worker threads
// hand to the main thread.

#include <QApplication>
#include <QLabel>
#include <QPushButton>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <system_error>

#include "Cp1250.h"
#include "Hlavni.h"
#include "Hodiny.h"
#include "MereniModel.h"
#include "Modalni.h"
#include "Slozka.h"
#include "SouborExistuje.h"
#include "Vlakna.h"

namespace {
QString T(const char* utf8) { return QString::fromUtf8(utf8); }

// A data-file name as a path: a relative name lies in the program's folder.
std::filesystem::path DatovaCesta(const std::string& jmeno) {
  std::filesystem::path p = SystemovaCesta(jmeno);
  if (p.is_relative()) p = SlozkaProgramu() / p;
  return p;
}
}  // namespace

int32_t DobaRamce(int32_t rychlost) {
  switch (rychlost) {
    case 4800: return 25;
    case 9600: return 13;
    case 19200: return 7;
    case 38400: return 4;
    case 57600: return 3;
    case 115200: return 2;
    default: return 25;
  }
}

template <typename F>
void TForm1::Cekej(F hotovo, int32_t ms) {
  uint64_t t0 = TikMs();
  while (!hotovo()) {
    SpiMs(1);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    const uint64_t ted = TikMs();
    if (ted < t0) t0 = ted;
    if (ted - t0 > static_cast<uint64_t>(ms < 0 ? 0 : ms)) break;
  }
}

void TForm1::Button2Click() {
  if (zaneprazdnen_) return;  // a click served while a start or stop waits
  zaneprazdnen_ = true;
  if (Button2->text() == T("Start měření"))
    Start();
  else
    Stop(true);
  zaneprazdnen_ = false;
}

bool TForm1::ProverDatovySoubor(const std::string& jmeno, QString& zprava) {
  const std::filesystem::path cesta = DatovaCesta(jmeno);
  const QString chyba = T("Nelze vytvořit soubor \"") + DoQString(jmeno) + u'"';
  std::error_code ec;
  const std::filesystem::path slozka = cesta.parent_path();
  if (!slozka.empty() && !std::filesystem::exists(slozka, ec)) {
    std::filesystem::create_directories(slozka, ec);
    if (ec) {
      zprava = chyba;
      return false;
    }
  }
  if (std::filesystem::exists(cesta, ec)) {
    TFormSouborExistuje dotaz(this);
    dotaz.Soubor = jmeno;
    if (ZobrazModalne(dotaz) != VysledekAno) {
      zprava.clear();
      return false;
    }
  }
  const int fd = ::open(cesta.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0 || ::close(fd) != 0 || !std::filesystem::remove(cesta, ec) || ec) {
    zprava = chyba;
    return false;
  }
  return true;
}

void TForm1::Start() {
  // Threads of the previous measurement that have not returned yet: the
  // logging thread ends within a moment (a sample it still hands over is
  // written here), an acquisition thread stuck in a library call is left to
  // return by itself; it never touches this measurement's state.
  Cekej([this] { return FileThread.isNull(); }, 2000);

  if (!PrectiOkno(CFG)) {
    NastavStav(T("Chyba zadaných parametrů"));
    return;
  }
  const int32_t n = CFG.PocetKanalu;

  QString zprava;
  if (!ProverDatovySoubor(CFG.JmenoSouboru, zprava)) {
    if (!zprava.isEmpty()) NastavStav(zprava);
    return;
  }

  PeriodaSek = PeriodaSekund(CFG.Perioda);
  // Computed wide and capped: the window accepts any integer for the
  // time-out and the retries.
  auto omez = [](int64_t v) {
    return static_cast<int32_t>(v > INT32_MAX ? INT32_MAX : (v < 0 ? 0 : v));
  };
  int64_t timeout = (static_cast<int64_t>(DobaRamce(CFG.RS485Rychlost)) + CFG.RS485Timeout) *
                    (static_cast<int64_t>(CFG.RS485Opakovani) + 1);

  NastavStavHned(T("Probíhá inicializace měření ..."));

  ParametryRozhrani = TParametryRozhrani{};
  TypRozhrani = TypNeznamy;
  const std::string& r = CFG.Rozhrani;
  if (r == RozhraniCOM) {
    TypRozhrani = TypCOM;
    ParametryRozhrani.Polozka[0] = CFG.PortCOM;
  } else if (r == RozhraniPCI407) {
    TypRozhrani = TypPCI407;
    ParametryRozhrani.Polozka[0] = CFG.BazovaAdresa;
  } else if (r == RozhraniPCI1407) {
    TypRozhrani = TypPCI1407;
  } else if (r == RozhraniUSB) {
    TypRozhrani = TypUSB;
  } else if (r == RozhraniZQ || r == RozhraniZQU) {
    TypRozhrani = TypZQ;
    ipText_ = CFG.IPAdresa;
    ParametryRozhrani.Polozka[0] = reinterpret_cast<intptr_t>(ipText_.c_str());
    ParametryRozhrani.Polozka[1] = CFG.UDPPort;
    ParametryRozhrani.Polozka[2] = CFG.LANTimeout;
    if (CFG.LANTimeout > timeout) timeout = CFG.LANTimeout;
  }
  if (TypRozhrani != TypNeznamy) timeout += 100;
  TimeoutUkonceni = omez(timeout);
  if (TypRozhrani == TypNeznamy) {
    NastavStav(T("Neznámý typ rozhraní"));
    return;
  }

  auto textKodu = [](int32_t kod) {
    TPole100 text{};
    ChybovyText(TypRozhrani, kod, text);
    return QString::number(kod) + T(" - ") + DoQString(PoleNaText(text));
  };
  int32_t e = InitRozhrani(TypRozhrani, &HandleRozhrani, ParametryRozhrani);
  if (e != 0) {
    NastavStav(textKodu(e));
    return;
  }
  KnihovnaOtevrena = true;
  e = NastavRozhrani(TypRozhrani, HandleRozhrani, CFG.RS485Rychlost, CFG.RS485Timeout,
                     CFG.RS485Opakovani);
  if (e != 0) {
    const QString text = textKodu(e);  // asked while the library is still loaded
    UkonciRozhrani(TypRozhrani, &HandleRozhrani);
    KnihovnaOtevrena = false;
    NastavStav(text);
    return;
  }

  PripravArchiv(Archiv, CestaCp1250(DatovaCesta(CFG.JmenoSouboru)), CFG.Volby, CFG.PocetKanalu);
  PocetVzorku = 0;
  Label7->setText(QStringLiteral("0"));
  nezapsano_ = 0;
  chybyZapisu_->clear();
  chybyZapisu_->hide();
  InitOknoMereni(Kanaly, n);

  const uint64_t generace = ++GeneraceMereni;
  CyklusHotov = false;
  auto* kom = new TKomThread(this, generace);
  kom->Cfg = CFG;
  kom->HandleRozhrani = HandleRozhrani;
  kom->TypRozhrani = TypRozhrani;
  KomThread = kom;
  KomBezi = true;  // the thread's own flag, set here too so a stop at once waits for it
  kom->start();
  auto* file = new TFileThread(this, generace);
  file->Cfg = CFG;
  FileThread = file;
  file->start();

  Button2->setText(T("Stop měření"));
}

void TForm1::Stop(bool zBtn) {
  if (zBtn) NastavStavHned(T("Probíhá ukončení měření ..."));
  if (KomThread) KomThread->Ukonci();
  if (FileThread) FileThread->Ukonci();
  Cekej([] { return !KomBezi.load(); }, TimeoutUkonceni);
  if (KnihovnaOtevrena) UkonciRozhrani(TypRozhrani, &HandleRozhrani);
  KnihovnaOtevrena = false;
  if (!zBtn) return;
  Button2->setText(T("Start měření"));
  // A library that broke during the measurement (or while closing) is said
  // so: the operator must know the next start of this interface is refused.
  const std::string porucha = PoruchaRozhrani(TypRozhrani);
  NastavStavHned(porucha.empty() ? T("Měření ukončeno")
                                 : T("Měření ukončeno: ") + QString::number(KodVyjimka) + T(" - ") +
                                       DoQString(porucha));
}

void TForm1::PoruchaKnihovny(uint64_t generace) {
  // Only the measurement that runs now, and not while a start or stop is
  // under way (that stop reports the fault itself).
  if (generace != GeneraceMereni.load() || !MereniBezi() || zaneprazdnen_) return;
  zaneprazdnen_ = true;
  Stop(true);
  zaneprazdnen_ = false;
}

void TForm1::ObnovTabulku(int32_t pocetKanalu, bool chybaKomunikace, const QString& posledniChyba) {
  const auto t0 = std::chrono::steady_clock::now();
  int prvni = INT32_MAX, posledni = -1;
  {
    std::lock_guard<std::mutex> z(KanalyZamek);
    for (int32_t r = 0; r < pocetKanalu && r < MaxKanalu; ++r) {
      const TKanal& k = Kanaly[static_cast<size_t>(r)];
      if (model_->NastavHodnotu(r, DoQString(k.Hodnota), QString::number(k.Chyba))) {
        if (r < prvni) prvni = r;
        posledni = r;
      }
    }
  }
  model_->Oznam(prvni, posledni);
  NastavStav(chybaKomunikace ? T("Chyba komunikace (") + posledniChyba + u')'
                             : T("Probíhá měření ..."));
  CasObnovUs += static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0)
          .count());
  ++PocetObnov;
}

void TForm1::UlozVzorek() {
  Label7->setText(QString::number(PocetVzorku.load()));
  std::string chyba;
  try {
    ZapisVzorek(Archiv, chyba);
  } catch (...) {
    chyba = ChybaZapisu();
  }
  if (chyba.empty()) return;
  NastavStav(DoQString(chyba));
  ++nezapsano_;
  chybyZapisu_->setText(T("Nezapsané vzorky: ") + QString::number(nezapsano_) + T(" (naposledy ") +
                        DoQString(Archiv.Vzorek.Cas) + T(" – ") + DoQString(chyba) + u')');
  chybyZapisu_->show();
}
