#include "PrubehGraf.h"

#include <QBoxLayout>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QCursor>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QHelpEvent>
#include <QLabel>
#include <QLegend>
#include <QLineSeries>
#include <QPainter>
#include <QPushButton>
#include <QSaveFile>
#include <QTimer>
#include <QToolTip>
#include <QValueAxis>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <tuple>

#include "Cisla.h"
#include "Cp1250.h"
#include "Dekl.h"
#include "Hodiny.h"
#include "KresbaGrafu.h"
#include "Mereni.h"
#include "Mistni.h"
#include "ModelKanaluPrubehu.h"
#include "Slozka.h"
#include "SouborovyDialog.h"
#include "Stupnice.h"

namespace {

QString T(const char* utf8) { return QString::fromUtf8(utf8); }

// The regional decimal separator for the axis labels.
QLocale LocaleCisel() {
  QLocale l = Mistni().DesetinnyOddelovac == ',' ? QLocale(QLocale::Czech, QLocale::CzechRepublic)
                                                 : QLocale(QLocale::English, QLocale::UnitedStates);
  l.setNumberOptions(QLocale::OmitGroupSeparator);
  return l;
}

// "Linka1" of "Linka1.zq": the start of the names offered for exports.
QString ZakladJmena(const std::string& uloha) {
  QString z = DoQString(uloha);
  const qsizetype tecka = z.lastIndexOf(u'.');
  if (tecka > 0) z.truncate(tecka);
  return (z.isEmpty() ? T("prubeh") : z) + T("_prubeh");
}

TSouborovyDotaz DotazNaExport(const QString& popis, const QString& pripona, const QString& jmeno) {
  TSouborovyDotaz d;
  d.Ulozit = true;
  d.Filtry = QStringList{popis + T(" (*.") + pripona + u')'};
  d.VychoziPripona = pripona;
  d.Jmeno = jmeno + u'.' + pripona;
  d.Slozka = QString::fromStdString(SlozkaProgramu().string());
  d.PtatSePrepsat = true;
  return d;
}

QString SPriponou(QString jmeno, const QString& pripona) {
  if (!jmeno.endsWith(u'.' + pripona, Qt::CaseInsensitive)) jmeno += u'.' + pripona;
  return jmeno;
}

}  // namespace

// ---------------------------------------------------------------------------
// The chart's view, counting the time its painting takes.

class TGrafPrubehu::TPohled : public QChartView {
 public:
  TPohled(QChart* chart, QWidget* rodic, uint64_t& cas) : QChartView(chart, rodic), cas_(cas) {}

 protected:
  // The view's own tooltip (the hint, or the bubble of the line under the
  // pointer): the scene answers a resting pointer with the tooltips of its
  // items, of which there are none, and would hide it.
  bool viewportEvent(QEvent* e) override {
    if (e->type() != QEvent::ToolTip) return QChartView::viewportEvent(e);
    QToolTip::showText(static_cast<QHelpEvent*>(e)->globalPos(), toolTip(), this);
    return true;
  }

  void paintEvent(QPaintEvent* e) override {
    const auto t0 = std::chrono::steady_clock::now();
    QChartView::paintEvent(e);
    cas_ += static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0)
            .count());
  }

 private:
  uint64_t& cas_;
};

// ---------------------------------------------------------------------------

TGrafPrubehu::TGrafPrubehu(const TZdrojGrafu& zdroj, const TModelKanaluPrubehu& model,
                           uint64_t& casKresleni, QWidget* rodic)
    : QWidget(rodic), zdroj_(zdroj), model_(model) {
  auto* svisly = new QVBoxLayout(this);
  svisly->setContentsMargins(0, 0, 0, 0);
  svisly->setSpacing(4);
  auto* ovladani = new QHBoxLayout;
  ovladani->setSpacing(6);
  auto* zobrazit = new QLabel(T("Zobrazit:"), this);
  Rozsah = new QComboBox(this);
  for (const char* r : {"poslední minutu", "posledních 5 minut", "posledních 15 minut",
                        "poslední hodinu", "celé měření"})
    Rozsah->addItem(T(r));
  zobrazit->setBuddy(Rozsah);
  auto* osaY = new QLabel(T("Osa Y:"), this);
  OsaY = new QComboBox(this);
  OsaY->addItem(T("společná"));
  OsaY->addItem(T("kanály zvlášť"));
  OsaY->setToolTip(
      T("Kanály zvlášť: každý kanál roztažen na celou výšku grafu (0 až 100 % svého rozsahu "
        "v zobrazeném úseku); skutečnou hodnotu ukáže bublina nad čárou"));
  osaY->setBuddy(OsaY);
  Pauza = new QPushButton(T("Pozastavit"), this);
  Pauza->setCheckable(true);
  Pauza->setToolTip(T("Zastaví obnovování grafu; měření běží dál"));
  CelyRozsah = new QPushButton(T("Celý rozsah"), this);
  CelyRozsah->setToolTip(T("Zruší přiblížení a ukáže celý zvolený úsek"));
  CelyRozsah->setEnabled(false);
  UlozitObrazek = new QPushButton(T("Uložit obrázek…"), this);
  UlozitObrazek->setToolTip(T("Uloží graf jako obrázek PNG"));
  UlozitCsv = new QPushButton(T("Uložit CSV…"), this);
  UlozitCsv->setToolTip(T("Uloží zobrazenou historii vybraných kanálů do souboru CSV"));
  // Neither list is cut nor does the row move when "Pozastavit" becomes
  // "Pokračovat".
  for (QComboBox* c : {Rozsah, OsaY}) c->setMinimumWidth(c->sizeHint().width());
  Pauza->setText(T("Pokračovat"));
  Pauza->setMinimumWidth(Pauza->sizeHint().width());
  Pauza->setText(T("Pozastavit"));
  ovladani->addWidget(zobrazit);
  ovladani->addWidget(Rozsah);
  ovladani->addWidget(osaY);
  ovladani->addWidget(OsaY);
  ovladani->addWidget(Pauza);
  ovladani->addWidget(CelyRozsah);
  ovladani->addStretch(1);
  ovladani->addWidget(UlozitObrazek);
  ovladani->addWidget(UlozitCsv);
  svisly->addLayout(ovladani);

  chart_ = new QChart;
  chart_->legend()->hide();
  chart_->setMargins(QMargins(2, 2, 6, 2));
  chart_->setBackgroundRoundness(0);
  chart_->setLocalizeNumbers(true);
  chart_->setLocale(LocaleCisel());
  osaX_ = new QDateTimeAxis;
  osaY_ = new QValueAxis;
  for (QAbstractAxis* osa :
       {static_cast<QAbstractAxis*>(osaX_), static_cast<QAbstractAxis*>(osaY_)})
    osa->setLabelsFont(font());
  chart_->addAxis(osaX_, Qt::AlignBottom);
  chart_->addAxis(osaY_, Qt::AlignLeft);
  Graf = new TPohled(chart_, this, casKresleni);
  Graf->setRenderHint(QPainter::Antialiasing);
  Graf->setRubberBand(QChartView::RectangleRubberBand);
  napovedaGrafu_ =
      T("Tažením myši vyberete oblast k přiblížení, pravým tlačítkem se vrátíte o krok zpět");
  Graf->setToolTip(napovedaGrafu_);
  svisly->addWidget(Graf, 1);

  connect(Rozsah, &QComboBox::currentIndexChanged, this, [this] {
    emit RozsahZmenen();
    priblizeno_ = false;
    CelyRozsah->setEnabled(false);
    NactiData();
    Vykresli();
  });
  connect(OsaY, &QComboBox::currentIndexChanged, this, [this] {
    emit OsaYZmenena();
    priblizeno_ = false;
    CelyRozsah->setEnabled(false);
    Vykresli();
  });
  connect(Pauza, &QPushButton::toggled, this, [this](bool pozastaveno) {
    Pauza->setText(pozastaveno ? T("Pokračovat") : T("Pozastavit"));
    if (!pozastaveno) Obnov(true);
  });
  connect(CelyRozsah, &QPushButton::clicked, this, [this] {
    nastavujiOsy_ = true;
    chart_->zoomReset();
    nastavujiOsy_ = false;
    priblizeno_ = false;
    CelyRozsah->setEnabled(false);
    Vykresli();
  });
  connect(UlozitObrazek, &QPushButton::clicked, this, &TGrafPrubehu::UlozObrazek);
  connect(UlozitCsv, &QPushButton::clicked, this, &TGrafPrubehu::UlozCsvSoubor);
  // A zoom of the operator's (the rubber band, the right button): the axes
  // stay as he left them and the lines are drawn again at that detail.
  auto priblizeni = [this] {
    if (nastavujiOsy_) return;
    priblizeno_ = true;
    CelyRozsah->setEnabled(true);
    if (vykreslitPozdeji_) return;
    vykreslitPozdeji_ = true;
    QTimer::singleShot(0, this, [this] {
      vykreslitPozdeji_ = false;
      nastavujiOsy_ = true;
      DilkyOsyY();
      nastavujiOsy_ = false;
      Vykresli();
    });
  };
  connect(osaX_, &QDateTimeAxis::rangeChanged, this, priblizeni);
  connect(osaY_, &QValueAxis::rangeChanged, this, priblizeni);

  NastavOsy(0, 60000, 0, 1);
}

void TGrafPrubehu::NastavRozsah(int index) {
  Rozsah->blockSignals(true);
  Rozsah->setCurrentIndex(std::clamp(index, 0, CeleMereni));
  Rozsah->blockSignals(false);
}

int TGrafPrubehu::IndexRozsahu() const { return Rozsah->currentIndex(); }

void TGrafPrubehu::NastavOsuY(int index) {
  OsaY->blockSignals(true);
  OsaY->setCurrentIndex(std::clamp(index, 0, 1));
  OsaY->blockSignals(false);
}

int TGrafPrubehu::IndexOsyY() const { return OsaY->currentIndex(); }

bool TGrafPrubehu::VlastniRozsahy() const { return OsaY->currentIndex() == 1; }

void TGrafPrubehu::Obnov(bool vzdy) {
  if (Pauza->isChecked()) return;
  const bool sloupecUplynul =
      static_cast<double>(TikMs() - tikVykresleni_) >= std::max(1000.0, krokMs_) - 50;
  if (vzdy || sloupecUplynul) {
    NactiData();
    Vykresli();
  }
}

void TGrafPrubehu::VyberZmenen(int kanal, bool vybran) {
  if (!vybran) {
    OdeberKrivku(kanal);
    data_.erase(kanal);
  }
  if (vybran) NactiData();
  Vykresli();
}

void TGrafPrubehu::Prekresli() {
  std::vector<int> pryc;
  for (const auto& [kanal, rada] : krivky_)
    if (!model_.Vybran(kanal)) pryc.push_back(kanal);
  for (int kanal : pryc) OdeberKrivku(kanal);
  priblizeno_ = false;
  CelyRozsah->setEnabled(false);
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

void TGrafPrubehu::OdeberKrivku(int kanal) {
  const auto it = krivky_.find(kanal);
  if (it == krivky_.end()) return;
  for (QLineSeries* s : it->second) {
    chart_->removeSeries(s);
    delete s;
  }
  krivky_.erase(it);
  casti_.erase(kanal);
}

void TGrafPrubehu::Vykresli() {
  double od = odMs_, doMs = doMs_;
  const double posun = static_cast<double>(zdroj_.ZacatekMs());
  if (priblizeno_) {
    od = static_cast<double>(osaX_->min().toMSecsSinceEpoch()) - posun;
    doMs = static_cast<double>(osaX_->max().toMSecsSinceEpoch()) - posun;
  }
  // Columns of two pixels: the lowest and the highest value of each are
  // what the eye can tell apart, and the chart's cost grows with its points.
  // Before the chart has been laid out its plot area is empty: 1000 pixels.
  const double sirka = chart_->plotArea().width();
  const double sloupcu = (sirka >= 100 ? sirka : 1000) / 2;
  const double krok = (doMs - od) / sloupcu;
  krokMs_ = krok;
  tikVykresleni_ = TikMs();
  double min = INFINITY, max = -INFINITY;
  const bool vlastni = VlastniRozsahy();
  rozsahy_.clear();
  for (int k : model_.Vybrane()) {
    const auto d = data_.find(k);
    std::vector<QList<QPointF>> casti = d == data_.end()
                                            ? std::vector<QList<QPointF>>{}
                                            : CastiKrivky(d->second, od, doMs, krok, posun);
    casti_[k] = casti;
    if (vlastni && d != data_.end()) {
      // Over the range chosen, not the part zoomed into: a zoom keeps the
      // scale it was drawn at.
      const auto [nejmene, nejvice] = RozsahKanalu(d->second, odMs_, doMs_);
      rozsahy_[k] = {nejmene, nejvice};
      for (QList<QPointF>& cast : casti)
        for (QPointF& b : cast) b.setY(ProcentoRozsahu(b.y(), nejmene, nejvice));
    }
    std::vector<QLineSeries*>& rada = krivky_[k];
    while (rada.size() < casti.size()) {
      auto* s = new QLineSeries;
      QPen pero(BarvaKanalu(k));
      pero.setWidthF(1.0);
      s->setPen(pero);
      connect(s, &QLineSeries::hovered, this,
              [this, k, s](const QPointF& kde, bool nad) { UkazBodKrivky(k, s, kde, nad); });
      nastavujiOsy_ = true;
      chart_->addSeries(s);
      s->attachAxis(osaX_);
      s->attachAxis(osaY_);
      nastavujiOsy_ = false;
      rada.push_back(s);
    }
    for (size_t i = 0; i < rada.size(); ++i) {
      QLineSeries* s = rada[i];
      if (i < casti.size()) {
        s->replace(casti[i]);
        // A value between two failed reads: a dot, since a line needs two.
        s->setPointsVisible(casti[i].size() == 1);
        s->setVisible(true);
        for (const QPointF& b : casti[i])
          if (b.x() >= posun + od && b.x() <= posun + doMs) {
            min = std::min(min, b.y());
            max = std::max(max, b.y());
          }
      } else if (s->isVisible()) {
        s->clear();
        s->setVisible(false);
      }
    }
  }
  if (!priblizeno_) NastavOsy(od, doMs, min, max);
}

void TGrafPrubehu::NastavOsy(double odMs, double doMs, double min, double max) {
  nastavujiOsy_ = true;
  const double posun = static_cast<double>(zdroj_.ZacatekMs());
  osaX_->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(posun + odMs)),
                  QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(posun + doMs)));
  const double rozpeti = doMs - odMs;
  const QSizeF plocha = chart_->plotArea().size();
  const int useku = PocetUsekuCasu(plocha.width());
  osaX_->setTickCount(useku + 1);
  osaX_->setFormat(FormatCasu(rozpeti, rozpeti / useku));

  // Values to read: none when nothing is plotted, and then no labels either.
  const TOsaHodnot osa = OsaHodnot(min, max, plocha.height(), VlastniRozsahy());
  osaY_->setLabelsVisible(osa.Popisky);
  osaY_->setRange(osa.Od, osa.Do);
  DilkyOsyY(osa.Krok);
  nastavujiOsy_ = false;
}

void TGrafPrubehu::DilkyOsyY(double krok) {
  if (krok <= 0) krok = KrokHodnot(osaY_->min(), osaY_->max(), chart_->plotArea().height());
  osaY_->setTickType(QValueAxis::TicksDynamic);
  osaY_->setTickAnchor(0);
  osaY_->setTickInterval(krok);
  // As many decimals as a step needs; each channel over its own range in
  // percent of it.
  osaY_->setLabelFormat(QStringLiteral("%.") + QString::number(MistaKroku(krok)) +
                        (VlastniRozsahy() ? QStringLiteral("f %") : QStringLiteral("f")));
}

void TGrafPrubehu::UkazBodKrivky(int kanal, const QLineSeries* s, const QPointF& kde, bool nad) {
  if (!nad || s->count() == 0) {
    bublina_.clear();
    QToolTip::hideText();
    Graf->setToolTip(napovedaGrafu_);
    return;
  }
  // The point of the line nearest in time to the pointer.
  const QList<QPointF> body = s->points();
  auto it = std::lower_bound(body.begin(), body.end(), kde.x(),
                             [](const QPointF& b, double x) { return b.x() < x; });
  if (it == body.end() || (it != body.begin() && kde.x() - (it - 1)->x() < it->x() - kde.x())) --it;
  double hodnota = it->y();
  if (const auto r = rozsahy_.find(kanal); r != rozsahy_.end() && VlastniRozsahy())
    hodnota = HodnotaZProcent(hodnota, r->second.first, r->second.second);
  const TKanal def = Kanaly.Kanal(static_cast<size_t>(kanal));
  bublina_ = PopisBodu(kanal, def.Nazev, static_cast<int64_t>(it->x()), hodnota, def.DesetinnaMista,
                       Mistni().DesetinnyOddelovac);
  // The view's own tooltip says the same while the pointer rests on the line.
  Graf->setToolTip(bublina_);
  QToolTip::showText(QCursor::pos(), bublina_, Graf);
}

std::vector<QList<QPointF>> TGrafPrubehu::Krivka(int kanal) const {
  std::vector<QList<QPointF>> casti;
  const auto it = krivky_.find(kanal);
  if (it == krivky_.end()) return casti;
  for (const QLineSeries* s : it->second)
    if (s->isVisible() && s->count() > 0) casti.push_back(s->points());
  return casti;
}

// ---------------------------------------------------------------------------
// Export.

void TGrafPrubehu::UlozObrazek() {
  const TSouborovaOdpoved o = ZobrazSouborovyDialog(
      this, DotazNaExport(T("Obrázky PNG"), QStringLiteral("png"), ZakladJmena(zdroj_.Uloha())));
  if (!o.Potvrzeno || o.Jmeno.isEmpty()) return;
  const QString jmeno = SPriponou(o.Jmeno, QStringLiteral("png"));
  if (Obrazek().save(jmeno, "PNG"))
    emit Zprava(T("Graf uložen do \"") + jmeno + u'"');
  else
    emit Zprava(NelzeZapsat(jmeno));
}

QImage TGrafPrubehu::Obrazek() const {
  // What the plot shows (the part zoomed into, with the value axis the
  // operator chose), drawn from the pieces it plots.
  TZadaniGrafu z;
  z.OdMs = osaX_->min().toMSecsSinceEpoch();
  z.DoMs = osaX_->max().toMSecsSinceEpoch();
  z.Nadpis = NadpisGrafu(zdroj_.Uloha(), z.OdMs, z.DoMs);
  z.KanalyZvlast = VlastniRozsahy();
  if (priblizeno_) {
    z.HodnotyOd = osaY_->min();
    z.HodnotyDo = osaY_->max();
  }
  z.Pismo = font();
  z.Oddelovac = Mistni().DesetinnyOddelovac;
  z.Dpr = Graf->devicePixelRatioF();
  for (int k : model_.Vybrane()) {
    const TKanal def = Kanaly.Kanal(static_cast<size_t>(k));
    TKanalGrafu kanal;
    kanal.Cislo = kanal.Barva = k;
    kanal.Nazev = DoQString(def.Nazev);
    kanal.DesetinnaMista = def.DesetinnaMista;
    if (const auto c = casti_.find(k); c != casti_.end()) kanal.Casti = c->second;
    if (const auto r = rozsahy_.find(k); r != rozsahy_.end())
      std::tie(kanal.Nejmene, kanal.Nejvice) = r->second;
    z.Kanaly.push_back(std::move(kanal));
  }
  // The plot as large as on the screen, the title and the legend besides.
  z.Velikost = Graf->size();
  z.Velikost.rheight() += VyskaNadpisuALegendy(z);
  return ObrazekGrafu(z);
}

void TGrafPrubehu::UlozCsvSoubor() {
  const std::vector<int> vybrane = model_.Vybrane();
  if (vybrane.empty() || !zdroj_.HistorieUlohy()) {
    emit Zprava(T("Není co uložit: zaškrtněte kanály změřené úlohy."));
    return;
  }
  const TSouborovaOdpoved o = ZobrazSouborovyDialog(
      this, DotazNaExport(T("Soubory CSV"), QStringLiteral("csv"), ZakladJmena(zdroj_.Uloha())));
  if (!o.Potvrzeno || o.Jmeno.isEmpty()) return;
  const QString jmeno = SPriponou(o.Jmeno, QStringLiteral("csv"));

  std::vector<TKanalCsv> kanaly;
  for (int k : vybrane) {
    const TKanal def = Kanaly.Kanal(static_cast<size_t>(k));
    kanaly.push_back({k, def.Nazev, def.DesetinnaMista, &data_[k]});
  }
  // What the plot shows: the chosen range, or the part zoomed into.
  const int64_t zacatek = zdroj_.ZacatekMs();
  const double od = static_cast<double>(osaX_->min().toMSecsSinceEpoch() - zacatek);
  const double doMs = static_cast<double>(osaX_->max().toMSecsSinceEpoch() - zacatek);
  const std::string csv = CsvHistorie(kanaly, od, doMs, zacatek, Mistni().DesetinnyOddelovac);
  QSaveFile f(jmeno);
  const bool ok =
      f.open(QIODevice::WriteOnly) &&
      f.write(csv.data(), static_cast<qint64>(csv.size())) == static_cast<qint64>(csv.size()) &&
      f.commit();
  emit Zprava(ok ? T("Historie uložena do \"") + jmeno + u'"' : NelzeZapsat(jmeno));
}
