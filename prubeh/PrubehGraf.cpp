#include "PrubehGraf.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>

#include <algorithm>

#include "Cp1250.h"
#include "Dekl.h"
#include "Hodiny.h"
#include "Mereni.h"
#include "Mistni.h"
#include "ModelKanaluPrubehu.h"
#include "Slozka.h"

namespace {
QString T(const char* utf8) { return QString::fromUtf8(utf8); }
}  // namespace

TGrafPrubehu::TGrafPrubehu(const TZdrojGrafu& zdroj, const TModelKanaluPrubehu& model,
                           uint64_t& casKresleni, QWidget* rodic)
    : TGrafKanalu(*this, &casKresleni, rodic), zdroj_(zdroj), model_(model) {
  auto* zobrazit = new QLabel(T("Zobrazit:"), this);
  Rozsah = new QComboBox(this);
  for (const char* r : {"poslední minutu", "posledních 5 minut", "posledních 15 minut",
                        "poslední hodinu", "celé měření"})
    Rozsah->addItem(T(r));
  Rozsah->setMinimumWidth(Rozsah->sizeHint().width());
  zobrazit->setBuddy(Rozsah);
  Pauza = new QPushButton(T("Pozastavit"), this);
  Pauza->setCheckable(true);
  Pauza->setToolTip(T("Zastaví obnovování grafu; měření běží dál"));
  // The row does not move when "Pozastavit" becomes "Pokračovat".
  Pauza->setText(T("Pokračovat"));
  Pauza->setMinimumWidth(Pauza->sizeHint().width());
  Pauza->setText(T("Pozastavit"));
  UlozitCsv->setToolTip(T("Uloží zobrazenou historii vybraných kanálů do souboru CSV"));
  // "Zobrazit" first, "Pozastavit" after "Osa Y".
  Ovladani()->insertWidget(0, zobrazit);
  Ovladani()->insertWidget(1, Rozsah);
  Ovladani()->insertWidget(Ovladani()->indexOf(OsaY) + 1, Pauza);

  connect(Rozsah, &QComboBox::currentIndexChanged, this, [this] {
    emit RozsahZmenen();
    ZapomenPriblizeni();
    NactiData();
    Vykresli();
  });
  connect(Pauza, &QPushButton::toggled, this, [this](bool pozastaveno) {
    Pauza->setText(pozastaveno ? T("Pokračovat") : T("Pozastavit"));
    if (!pozastaveno) Obnov(true);
  });
}

void TGrafPrubehu::NastavRozsah(int index) {
  Rozsah->blockSignals(true);
  Rozsah->setCurrentIndex(std::clamp(index, 0, CeleMereni));
  Rozsah->blockSignals(false);
}

int TGrafPrubehu::IndexRozsahu() const { return Rozsah->currentIndex(); }

void TGrafPrubehu::Obnov(bool vzdy) {
  if (Pauza->isChecked()) return;
  const bool sloupecUplynul =
      static_cast<double>(TikMs() - TikVykresleni()) >= std::max(1000.0, KrokMs()) - 50;
  if (vzdy || sloupecUplynul) {
    NactiData();
    Vykresli();
  }
}

void TGrafPrubehu::VyberZmenen(int kanal, bool vybran) {
  if (vybran)
    NactiData();
  else
    data_.erase(kanal);
  Vykresli();
}

void TGrafPrubehu::Prekresli() {
  ZapomenPriblizeni();
  NactiData();
  Vykresli();
}

// ---------------------------------------------------------------------------

void TGrafPrubehu::NactiData() {
  const std::vector<int> vybrane = model_.Vybrane();
  for (auto it = data_.begin(); it != data_.end();)
    it = std::find(vybrane.begin(), vybrane.end(), it->first) == vybrane.end() ? data_.erase(it)
                                                                               : std::next(it);
  const int r = Rozsah->currentIndex();
  const bool cely = r < 0 || r >= CeleMereni;
  if (!zdroj_.HistorieUlohy()) {
    // Nothing measured: the time axis still spans the range chosen, up to
    // now.  An axis of no length would lose its labels for good: the chart
    // lays them out by their size then and never asks again.
    for (int k : vybrane) data_[k] = TDataKanalu{};
    doMs_ = static_cast<double>(QDateTime::currentMSecsSinceEpoch() - zdroj_.ZacatekMs());
    odMs_ = doMs_ - (cely ? 1 : MinutyRozsahu[r]) * 60000.0;
    return;
  }
  const THistorie& h = zdroj_.Historie();
  const bool pozastaveno = Pauza->isChecked();
  double konec = doMs_;
  if (!pozastaveno) {
    if (zdroj_.Zive()) {
      konec = static_cast<double>(QDateTime::currentMSecsSinceEpoch() - zdroj_.ZacatekMs());
    } else {
      // After the measurement: up to the last read of the channels shown.
      konec = 0;
      for (int k : vybrane) {
        const std::vector<TBodHistorie> b =
            h.Body(static_cast<size_t>(k), static_cast<uint64_t>(konec));
        if (!b.empty()) konec = std::max(konec, static_cast<double>(b.back().CasMs));
      }
    }
  }
  odMs_ = cely ? 0 : konec - MinutyRozsahu[r] * 60000.0;
  doMs_ = cely ? std::max(konec, 60000.0) : konec;
  const uint64_t od = odMs_ > 0 ? static_cast<uint64_t>(odMs_) : 0;
  for (int k : vybrane) {
    TDataKanalu& d = data_[k];
    d.Body = h.Body(static_cast<size_t>(k), od);
    if (pozastaveno)
      while (!d.Body.empty() && d.Body.back().CasMs > konec) d.Body.pop_back();
    d.Useky.clear();
    if (cely) {
      d.SirkaUsekuMs = h.SirkaUsekuMs();
      const double prvniBod = d.Body.empty() ? konec : static_cast<double>(d.Body.front().CasMs);
      for (const TUsekHistorie& u : h.Useky(static_cast<size_t>(k)))
        if (u.OdMs + static_cast<double>(d.SirkaUsekuMs) <= prvniBod) d.Useky.push_back(u);
    }
  }
}

// ---------------------------------------------------------------------------
// The history as the plot's source.

std::vector<int> TGrafPrubehu::Vybrane() const { return model_.Vybrane(); }

std::string TGrafPrubehu::NazevKanalu(int kanal) const {
  return Kanaly.Kanal(static_cast<size_t>(kanal)).Nazev;
}

int TGrafPrubehu::MistaKanalu(int kanal) const {
  return Kanaly.Kanal(static_cast<size_t>(kanal)).DesetinnaMista;
}

QString TGrafPrubehu::ZakladJmenaExportu() const {
  // "Linka1" of "Linka1.zq".
  QString z = DoQString(zdroj_.Uloha());
  const qsizetype tecka = z.lastIndexOf(u'.');
  if (tecka > 0) z.truncate(tecka);
  return (z.isEmpty() ? T("prubeh") : z) + T("_prubeh");
}

QString TGrafPrubehu::SlozkaExportu() const {
  return QString::fromStdString(SlozkaProgramu().string());
}

std::pair<double, double> TGrafPrubehu::RozsahCasu() const {
  const auto posun = static_cast<double>(zdroj_.ZacatekMs());
  return {posun + odMs_, posun + doMs_};
}

std::vector<QList<QPointF>> TGrafPrubehu::Casti(int kanal, double odMs, double doMs,
                                                double krokMs) {
  const auto d = data_.find(kanal);
  if (d == data_.end()) return {};
  const auto posun = static_cast<double>(zdroj_.ZacatekMs());
  return CastiKrivky(d->second, odMs - posun, doMs - posun, krokMs, posun);
}

std::pair<double, double> TGrafPrubehu::RozsahHodnot(int kanal) {
  const auto d = data_.find(kanal);
  if (d == data_.end()) return {NAN, NAN};
  return RozsahKanalu(d->second, odMs_, doMs_);
}

QString TGrafPrubehu::NelzeUlozitCsv() const {
  return model_.Vybrane().empty() || !zdroj_.HistorieUlohy()
             ? T("Není co uložit: zaškrtněte kanály změřené úlohy.")
             : QString();
}

void TGrafPrubehu::UlozCsv(const std::vector<int>& vybrane, double odMs, double doMs,
                           const QString& soubor, std::function<void(const QString&)> hotovo) {
  std::vector<TKanalCsv> kanaly;
  for (int k : vybrane) {
    const TKanal def = Kanaly.Kanal(static_cast<size_t>(k));
    kanaly.push_back({k, def.Nazev, def.DesetinnaMista, &data_[k]});
  }
  const int64_t zacatek = zdroj_.ZacatekMs();
  const auto posun = static_cast<double>(zacatek);
  const std::string csv =
      CsvHistorie(kanaly, odMs - posun, doMs - posun, zacatek, Mistni().DesetinnyOddelovac);
  QSaveFile f(soubor);
  const bool ok =
      f.open(QIODevice::WriteOnly) &&
      f.write(csv.data(), static_cast<qint64>(csv.size())) == static_cast<qint64>(csv.size()) &&
      f.commit();
  hotovo(ok ? T("Historie uložena do \"") + soubor + u'"' : NelzeZapsat(soubor));
}
