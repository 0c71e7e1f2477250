#include "CteniDat.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "Cp1250.h"
#include "Prohlizec.h"
#include "PrubehData.h"
#include "Rada.h"
#include "Slozka.h"
#include "Vlakna.h"

namespace fs = std::filesystem;
using Hodiny = std::chrono::steady_clock;

namespace {

QString T(const char* utf8) { return QString::fromUtf8(utf8); }

// A slice of indexing: the plot is drawn anew after each, and what the
// operator asked meanwhile is answered before the next.
constexpr auto DelkaKusu = std::chrono::milliseconds(200);
constexpr auto KrokPrubehu = std::chrono::milliseconds(100);
// How often a followed file is looked at besides its change notifications.
constexpr int ObdobiSledovani = 500;

// The reader's overview never indexes by itself here: the slices do.
const TPrubeh Nezdrzovat = [](uint64_t, uint64_t) { return false; };

}  // namespace

TCteniDat::TCteniDat(QObject* rodic) : QObject(rodic) {
  // Answers go through standard locks (the thread checkers see them), not
  // through Qt's event queue; jobs left when this goes are dropped unrun.
  fronta_ = new TFrontaHlavnihoVlakna(this);
  hlidac_ = new QFileSystemWatcher(this);
  casovac_ = new QTimer(this);
  casovac_->setInterval(ObdobiSledovani);
  connect(hlidac_, &QFileSystemWatcher::fileChanged, this, &TCteniDat::ObnovSoubory);
  connect(hlidac_, &QFileSystemWatcher::directoryChanged, this, &TCteniDat::ObnovSoubory);
  connect(casovac_, &QTimer::timeout, this, &TCteniDat::ObnovSoubory);
  vlakno_ = std::thread([this] { Pracuj(); });
}

TCteniDat::~TCteniDat() {
  {
    const std::lock_guard<std::mutex> z(zamek_);
    konec_ = true;
  }
  budik_.notify_all();
  vlakno_.join();
}

void TCteniDat::Zadej(TDruh druh, TUloha uloha) {
  {
    const std::lock_guard<std::mutex> z(zamek_);
    ulohy_[druh] = std::move(uloha);
  }
  budik_.notify_one();
}

bool TCteniDat::Ceka(TDruh predNez) const {
  return !ulohy_.empty() && ulohy_.begin()->first < predNez;
}

void TCteniDat::Pracuj() {
  std::unique_ptr<TCtenar> c;
  while (true) {
    TUloha u;
    {
      std::unique_lock<std::mutex> z(zamek_);
      budik_.wait(z, [this] { return konec_ || !ulohy_.empty(); });
      if (konec_) break;
      const auto it = ulohy_.begin();
      u = std::move(it->second);
      ulohy_.erase(it);
    }
    u(c);
  }
  if (c) c->UlozMezipamet();
}

void TCteniDat::NaHlavnim(std::function<void()> f) { fronta_->Posli(std::move(f)); }

// ---------------------------------------------------------------------------

void TCteniDat::Otevri(const std::vector<fs::path>& soubory, const TNastaveniCteni& nastaveni) {
  const uint64_t cislo = ++otevreni_;
  otevreno_ = indexuje_ = false;
  prehled_.reset();
  kanalyPrehledu_.clear();
  rozsahyHodnot_.clear();
  dotaz_ = {};
  rozsah_.reset();
  zaznamu_ = 0;
  ++generace_;
  casovac_->stop();
  if (!hlidac_->files().isEmpty()) hlidac_->removePaths(hlidac_->files());
  if (!hlidac_->directories().isEmpty()) hlidac_->removePaths(hlidac_->directories());
  {
    const std::lock_guard<std::mutex> z(zamek_);
    ulohy_.clear();
    zrusit_ = false;
  }
  Zadej(DruhOtevri, [this, soubory, nastaveni, cislo](std::unique_ptr<TCtenar>& c) {
    if (c) c->UlozMezipamet();
    c.reset();
    mistaPoslana_ = false;
    std::string chyba;
    c = TCtenar::Otevri(soubory, nastaveni, chyba);
    if (c && !c->MaCas()) {
      c.reset();
      chyba = Cp1250(
          "soubor nemá sloupce Datum a Čas: okno kreslí hodnoty proti času (záznamy vypíše "
          "zq-prohlizec --csv)");
    }
    if (!c) {
      NaHlavnim([this, cislo, chyba] {
        if (cislo == otevreni_) emit Otevreno(DoQString(chyba));
      });
      return;
    }
    TRozlozeni r = c->Rozlozeni();
    std::vector<fs::path> cesty;
    for (size_t i = 0; i < c->PocetSouboru(); ++i) cesty.push_back(c->Soubor(i).Cesta());
    const int64_t perioda = c->Soubor(0).Index().Perioda;
    NaHlavnim([this, cislo, r = std::move(r), cesty = std::move(cesty), perioda] {
      if (cislo != otevreni_) return;
      rozlozeni_ = r;
      soubory_ = cesty;
      perioda_ = perioda;
      otevreno_ = indexuje_ = true;
      QStringList sledovane;
      for (const fs::path& p : soubory_) {
        sledovane << QString::fromStdString(p.string());
        sledovane << QFileInfo(sledovane.back()).absolutePath();
      }
      sledovane.removeDuplicates();
      hlidac_->addPaths(sledovane);
      if (sleduj_) casovac_->start();
      emit Otevreno({});
    });
    IndexujKus(*c, cislo);
  });
}

void TCteniDat::IndexujKus(TCtenar& c, uint64_t cislo) {
  const auto zacatek = Hodiny::now();
  auto zprava = zacatek;
  std::vector<int> vsechny(static_cast<size_t>(c.Rozlozeni().PocetKanalu));
  for (size_t k = 0; k < vsechny.size(); ++k) vsechny[k] = static_cast<int>(k);
  bool zruseno = false;
  // Every channel summed up along: a channel checked later is then drawn
  // from the summaries too, without reading the file again.
  const TCtenar::TStav stav = c.Indexuj(vsechny, [&](uint64_t hotovo, uint64_t celkem) {
    const auto ted = Hodiny::now();
    if (ted - zprava >= KrokPrubehu) {
      zprava = ted;
      NaHlavnim([this, cislo, hotovo, celkem] {
        if (cislo != otevreni_) return;
        emit Prubeh(static_cast<qint64>(hotovo), static_cast<qint64>(celkem));
      });
    }
    const std::lock_guard<std::mutex> z(zamek_);
    zruseno = konec_ || zrusit_;
    return !zruseno && ted - zacatek < DelkaKusu && !Ceka(DruhIndex);
  });
  const bool hotovo = stav != TCtenar::TStav::Zruseno || zruseno;
  PosliStav(c, cislo, true, false);
  if (stav == TCtenar::TStav::Chyba) {
    const QString chyba = DoQString(c.Chyba());
    NaHlavnim([this, cislo, chyba] {
      if (cislo == otevreni_) emit Zprava(chyba);
    });
  }
  if (!hotovo) {
    Zadej(DruhIndex, [this, cislo](std::unique_ptr<TCtenar>& c) {
      if (c) IndexujKus(*c, cislo);
    });
    return;
  }
  if (stav == TCtenar::TStav::Hotovo) c.UlozMezipamet();
  NaHlavnim([this, cislo, zruseno] {
    if (cislo != otevreni_) return;
    indexuje_ = false;
    emit Indexovano(zruseno);
  });
}

void TCteniDat::PosliStav(TCtenar& c, uint64_t cislo, bool zmena, bool znovu) {
  const auto rozsah = c.Rozsah();
  const uint64_t zaznamu = c.PocetZaznamu();
  std::vector<std::string> poznamky = c.Poznamky();
  std::vector<fs::path> cesty;
  for (size_t i = 0; i < c.PocetSouboru(); ++i) cesty.push_back(c.Soubor(i).Cesta());
  // The decimals a file of text shows, from its first record.
  std::vector<int> mista;
  if (!mistaPoslana_ && c.Rozlozeni().DesetinnaMista.empty() && zaznamu > 0) {
    mistaPoslana_ = true;
    std::vector<int> vsechny(static_cast<size_t>(c.Rozlozeni().PocetKanalu));
    for (size_t k = 0; k < vsechny.size(); ++k) vsechny[k] = static_cast<int>(k);
    c.Vypis(
        vsechny, INT64_MIN, INT64_MAX,
        [&](const TZaznam& z) {
          for (std::string_view t : z.Texty) mista.push_back(MistaTextu(t));
          return false;
        },
        Nezdrzovat);
  }
  NaHlavnim([this, cislo, rozsah, zaznamu, poznamky = std::move(poznamky), cesty = std::move(cesty),
             mista = std::move(mista), zmena, znovu] {
    if (cislo != otevreni_) return;
    rozsah_ = rozsah;
    zaznamu_ = zaznamu;
    poznamky_ = poznamky;
    if (!mista.empty() && rozlozeni_.DesetinnaMista.empty()) rozlozeni_.DesetinnaMista = mista;
    // A new file of the series: its changes are watched too.
    for (const fs::path& p : cesty)
      if (std::find(soubory_.begin(), soubory_.end(), p) == soubory_.end()) {
        soubory_.push_back(p);
        hlidac_->addPath(QString::fromStdString(p.string()));
      }
    if (znovu) {
      prehled_.reset();
      rozsahyHodnot_.clear();
    }
    if (zmena) ++generace_;
    emit Zmeneno();
  });
}

void TCteniDat::NastavVybrane(std::vector<int> kanaly) {
  std::sort(kanaly.begin(), kanaly.end());
  kanaly.erase(std::unique(kanaly.begin(), kanaly.end()), kanaly.end());
  vybrane_ = std::move(kanaly);
}

void TCteniDat::ZrusIndexovani() {
  const std::lock_guard<std::mutex> z(zamek_);
  zrusit_ = true;
}

void TCteniDat::Sleduj(bool ano) {
  sleduj_ = ano;
  if (ano && otevreno_) {
    casovac_->start();
    ObnovSoubory();
  } else {
    casovac_->stop();
  }
}

void TCteniDat::ObnovSoubory() {
  if (!otevreno_ || !sleduj_) return;
  const uint64_t cislo = otevreni_;
  Zadej(DruhObnov, [this, cislo](std::unique_ptr<TCtenar>& c) {
    if (!c) return;
    const TCtenar::TZmena z = c->Obnov();
    struct TPo {
      TCteniDat* ja;
      uint64_t cislo;
      // Counted once what the look found has been sent.
      ~TPo() {
        ja->NaHlavnim([ja = ja, cislo = cislo] {
          if (cislo == ja->otevreni_) ++ja->obnov_;
        });
      }
    } po{this, cislo};
    if (!z.Chyba.empty()) {
      const QString chyba = DoQString(z.Chyba);
      NaHlavnim([this, cislo, chyba] {
        if (cislo == otevreni_) emit Zprava(chyba);
      });
    }
    if (!z.Pridano && !z.Znovu) return;
    bool zruseno = false;
    {
      const std::lock_guard<std::mutex> l(zamek_);
      zruseno = zrusit_;
    }
    if (zruseno) {
      PosliStav(*c, cislo, true, z.Znovu);
      return;
    }
    // A file read anew voids what was drawn before it is indexed again.
    if (z.Znovu) {
      NaHlavnim([this, cislo] {
        if (cislo == otevreni_) indexuje_ = true;
      });
      PosliStav(*c, cislo, true, true);
    }
    IndexujKus(*c, cislo);
  });
}

int TCteniDat::MistaTextu(std::string_view text) {
  const size_t carka = text.find_first_of(".,");
  if (carka == std::string_view::npos) return 0;
  int n = 0;
  for (size_t i = carka + 1; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) ++n;
  return n;
}

// ---------------------------------------------------------------------------
// The lines.

std::string TCteniDat::NazevKanalu(int kanal) const {
  return kanal >= 0 && kanal < static_cast<int>(rozlozeni_.NazvyKanalu.size())
             ? rozlozeni_.NazvyKanalu[static_cast<size_t>(kanal)]
             : std::string();
}

int TCteniDat::MistaKanalu(int kanal) const {
  return kanal >= 0 && kanal < static_cast<int>(rozlozeni_.DesetinnaMista.size())
             ? rozlozeni_.DesetinnaMista[static_cast<size_t>(kanal)]
             : 2;
}

QString TCteniDat::ZakladJmenaExportu() const {
  if (soubory_.empty()) return T("prohlizec");
  const std::string jmeno = soubory_.front().stem().string();
  return QString::fromStdString(soubory_.size() > 1 ? ZakladRady(jmeno) : jmeno) + T("_vyrez");
}

QString TCteniDat::SlozkaExportu() const {
  return soubory_.empty() ? QString()
                          : QString::fromStdString(soubory_.front().parent_path().string());
}

std::pair<double, double> TCteniDat::RozsahCasu() const {
  if (!rozsah_) {
    // Nothing open yet: the last hour, as an empty trend plot shows.
    const auto ted = static_cast<double>(QDateTime::currentMSecsSinceEpoch());
    return {ted - 3600e3, ted};
  }
  const double od = static_cast<double>(rozsah_->first) * 1000;
  return {od, std::max(static_cast<double>(rozsah_->second) * 1000, od + 1000)};
}

void TCteniDat::Priprav(double odMs, double doMs, double krokMs) {
  if (!otevreno_ || !(krokMs > 0)) return;
  TDotazPrehledu d;
  d.Kanaly = vybrane_;
  d.Od = static_cast<int64_t>(std::floor(odMs / 1000));
  d.Do = std::max(d.Od, static_cast<int64_t>(std::floor(doMs / 1000)));
  d.Sloupcu = static_cast<int>(std::clamp(std::lround((doMs - odMs) / krokMs), 1L, 20000L));
  d.Generace = generace_;
  if (d == dotaz_ || d.Kanaly.empty()) return;
  dotaz_ = d;
  const uint64_t cislo = otevreni_;
  Zadej(DruhPrehled, [this, d, cislo](std::unique_ptr<TCtenar>& c) {
    if (!c) return;
    auto p =
        std::make_shared<const TPrehled>(c->Prehled(d.Kanaly, d.Od, d.Do, d.Sloupcu, Nezdrzovat));
    NaHlavnim([this, cislo, d, p] {
      if (cislo != otevreni_) return;
      prehled_ = p;
      kanalyPrehledu_ = d.Kanaly;
      // Over the whole range: the channels' own ranges for "Osa Y".
      if (rozsah_ && d.Od <= rozsah_->first && d.Do >= rozsah_->second)
        for (size_t j = 0; j < d.Kanaly.size(); ++j) {
          double min = INFINITY, max = -INFINITY;
          for (const TBodPrehledu& b : p->Kanaly[j])
            if (!b.Prazdny()) {
              min = std::min(min, static_cast<double>(b.Min));
              max = std::max(max, static_cast<double>(b.Max));
            }
          if (min <= max) rozsahyHodnot_[d.Kanaly[j]] = {min, max};
        }
      emit Zmeneno();
    });
  });
}

std::vector<QList<QPointF>> TCteniDat::Casti(int kanal, double, double, double) {
  if (!prehled_) return {};
  const auto it = std::find(kanalyPrehledu_.begin(), kanalyPrehledu_.end(), kanal);
  if (it == kanalyPrehledu_.end()) return {};
  return CastiPrehledu(*prehled_, static_cast<size_t>(it - kanalyPrehledu_.begin()));
}

std::pair<double, double> TCteniDat::RozsahHodnot(int kanal) {
  const auto it = rozsahyHodnot_.find(kanal);
  return it == rozsahyHodnot_.end() ? std::pair<double, double>{NAN, NAN} : it->second;
}

QString TCteniDat::NelzeUlozitCsv() const {
  if (!otevreno_) return T("Není otevřen žádný datový soubor");
  if (indexuje_) return T("Soubor se ještě načítá; CSV půjde uložit, až bude načten");
  return {};
}

void TCteniDat::UlozCsv(const std::vector<int>& kanaly, double odMs, double doMs,
                        const QString& soubor, std::function<void(const QString&)> hotovo) {
  const uint64_t cislo = otevreni_;
  Zadej(DruhCsv, [this, cislo, kanaly, odMs, doMs, soubor, hotovo](std::unique_ptr<TCtenar>& c) {
    if (!c) return;
    const auto od = static_cast<int64_t>(std::ceil(odMs / 1000));
    const auto po = static_cast<int64_t>(std::floor(doMs / 1000));
    bool ok = false;
    uint64_t radku = 0;
    if (FILE* f = std::fopen(QFile::encodeName(soubor).constData(), "wb")) {
      ok = ZapisCsvCtenare(*c, kanaly, od, po, [&](const std::string& radek) {
        ++radku;
        return std::fwrite(radek.data(), 1, radek.size(), f) == radek.size();
      });
      ok = std::fclose(f) == 0 && ok;
    }
    const QString zprava =
        ok ? T("Uloženo záznamů: ") + QString::number(radku - 1) + T(", do \"") + soubor + u'"'
           : NelzeZapsat(soubor);
    NaHlavnim([this, cislo, zprava, hotovo] {
      if (cislo == otevreni_) hotovo(zprava);
    });
  });
}

// ---------------------------------------------------------------------------
// The exact values: the cursors' records and the statistics.

void TCteniDat::Zaznam(int kurzor, double casMs, double okoliMs, const std::vector<int>& kanaly,
                       std::function<void(const TZaznamKurzoru&)> odpoved) {
  if (!otevreno_ || kurzor < 0 || kurzor > 1) return;
  const uint64_t cislo = otevreni_;
  const int64_t okoli =
      std::max(perioda_, static_cast<int64_t>(std::ceil(std::max(0.0, okoliMs) / 1000)));
  Zadej(kurzor ? DruhKurzor1 : DruhKurzor0, [this, cislo, casMs, okoli, kanaly,
                                             odpoved](std::unique_ptr<TCtenar>& c) {
    if (!c) return;
    const auto t = static_cast<int64_t>(std::floor(casMs / 1000));
    TZaznamKurzoru nejblizsi;
    double vzdalenost = INFINITY;
    c->Vypis(
        kanaly, t - okoli, t + 1 + okoli,
        [&](const TZaznam& z) {
          const double ms = static_cast<double>(z.Poloha) * 1000;
          if (std::abs(ms - casMs) < vzdalenost) {
            vzdalenost = std::abs(ms - casMs);
            nejblizsi.CasMs = ms;
            nejblizsi.Hodnoty.resize(kanaly.size());
            for (size_t k = 0; k < kanaly.size(); ++k)
              nejblizsi.Hodnoty[k] = {z.Selhalo[k] ? NAN : z.Hodnoty[k], MistaTextu(z.Texty[k])};
          }
          return true;
        },
        Nezdrzovat);
    NaHlavnim([this, cislo, nejblizsi, odpoved] {
      if (cislo == otevreni_) odpoved(nejblizsi);
    });
  });
}

void TCteniDat::Souhrn(const std::vector<int>& kanaly, double odMs, double doMs,
                       std::function<void(const std::vector<TSouhrnKanalu>&)> odpoved) {
  if (!otevreno_) return;
  const uint64_t cislo = otevreni_;
  const TKlicSouhrnu klic{kanaly, static_cast<int64_t>(std::ceil(odMs / 1000))};
  const auto po = static_cast<int64_t>(std::floor(doMs / 1000));
  klicSouhrnu_ = klic;
  odpovedSouhrnu_ = std::move(odpoved);
  {
    const std::lock_guard<std::mutex> z(zamek_);
    posledniSouhrn_ = klic;
  }
  auto uloha = std::make_shared<TUloha>();
  *uloha = [this, cislo, klic, po,
            uloha = std::weak_ptr<TUloha>(uloha)](std::unique_ptr<TCtenar>& c) {
    if (!c) return;
    const std::vector<int>& kanaly = klic.Kanaly;
    std::vector<TSouhrnKanalu> s(kanaly.size());
    std::vector<double> soucet(kanaly.size(), 0);
    bool odlozit = false, zahodit = false;
    // A long range takes a while: the plot's and the cursors' questions go
    // first, and the statistics are read again after them.  A question of
    // other channels or from another start makes this one void; one whose
    // range only ends later (a file followed grows) does not, or the
    // statistics of a long range would never be done while it grows.
    c->Vypis(
        kanaly, klic.Od, po,
        [&](const TZaznam& z) {
          if ((z.Radek & 1023) == 0) {
            const std::lock_guard<std::mutex> l(zamek_);
            zahodit = konec_ || !(posledniSouhrn_ == klic);
            odlozit = !zahodit && Ceka(DruhIndex);
            if (zahodit || odlozit) return false;
          }
          for (size_t k = 0; k < kanaly.size(); ++k) {
            const double v = z.Hodnoty[k];
            if (z.Selhalo[k] || std::isnan(v)) continue;
            TSouhrnKanalu& h = s[k];
            h.Min = h.Pocet ? std::min(h.Min, v) : v;
            h.Max = h.Pocet ? std::max(h.Max, v) : v;
            ++h.Pocet;
            soucet[k] += v;
            h.Mista = std::max(h.Mista, MistaTextu(z.Texty[k]));
          }
          return true;
        },
        Nezdrzovat);
    if (zahodit) return;
    if (odlozit) {
      // Again after them, unless a newer question waits already.
      if (const auto u = uloha.lock()) {
        const std::lock_guard<std::mutex> l(zamek_);
        ulohy_.emplace(DruhSouhrn, [u](std::unique_ptr<TCtenar>& c) { (*u)(c); });
      }
      return;
    }
    for (size_t k = 0; k < s.size(); ++k)
      if (s[k].Pocet) s[k].Prumer = soucet[k] / static_cast<double>(s[k].Pocet);
    // To the question asked last: of the same channels from the same start,
    // this answer serves until its own comes.
    NaHlavnim([this, cislo, klic, s] {
      if (cislo == otevreni_ && klic == klicSouhrnu_ && odpovedSouhrnu_) odpovedSouhrnu_(s);
    });
  };
  Zadej(DruhSouhrn, [uloha](std::unique_ptr<TCtenar>& c) { (*uloha)(c); });
}
