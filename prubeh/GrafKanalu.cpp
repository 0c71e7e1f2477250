#include "GrafKanalu.h"

#include <QBoxLayout>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QCursor>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLegend>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QRubberBand>
#include <QSplitter>
#include <QTableWidget>
#include <QTimer>
#include <QToolTip>
#include <QValueAxis>
#include <QWheelEvent>

#include <algorithm>
#include <chrono>
#include <tuple>

#include "Cisla.h"
#include "Cp1250.h"
#include "Hodiny.h"
#include "KresbaGrafu.h"
#include "Mistni.h"
#include "PrubehData.h"
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

TSouborovyDotaz DotazNaExport(const QString& popis, const QString& pripona, const QString& jmeno,
                              const QString& slozka) {
  TSouborovyDotaz d;
  d.Ulozit = true;
  d.Filtry = QStringList{popis + T(" (*.") + pripona + u')'};
  d.VychoziPripona = pripona;
  d.Jmeno = jmeno + u'.' + pripona;
  d.Slozka = slozka;
  d.PtatSePrepsat = true;
  return d;
}

QString SPriponou(QString jmeno, const QString& pripona) {
  if (!jmeno.endsWith(u'.' + pripona, Qt::CaseInsensitive)) jmeno += u'.' + pripona;
  return jmeno;
}

double Ms(const QDateTime& t) { return static_cast<double>(t.toMSecsSinceEpoch()); }

QDateTime Cas(double ms) { return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(ms)); }

QString DatumACas(double ms) {
  const TDatumCas t = DatumCasMs(static_cast<int64_t>(ms));
  return DoQString(FormatujDatum(t) + ' ' + FormatujCas(t));
}

// Zooming in stops at a second over the whole axis: the records of data
// files are a second apart at the closest.
constexpr double NejkratsiRozpetiMs = 1000;

}  // namespace

QString TextTrvani(double ms, char oddelovac) {
  const bool zaporne = ms < 0;
  const auto cele = static_cast<int64_t>(std::llround(std::fabs(ms)));
  int64_t s = cele / 1000;
  const int64_t tisiciny = cele % 1000;
  const int64_t dny = s / 86400;
  s %= 86400;
  const QChar nula(u'0');
  QString t = QStringLiteral("%1:%2:%3")
                  .arg(s / 3600, dny ? 2 : 1, 10, nula)
                  .arg(s / 60 % 60, 2, 10, nula)
                  .arg(s % 60, 2, 10, nula);
  if (tisiciny) t += QChar::fromLatin1(oddelovac) + QStringLiteral("%1").arg(tisiciny, 3, 10, nula);
  if (dny) t = QString::number(dny) + T(" d ") + t;
  return zaporne ? T("−") + t : t;
}

// ---------------------------------------------------------------------------
// The chart's view: the time its painting takes, the pointer's ways of
// moving the axes, and the cursors drawn over the chart.

class TGrafKanalu::TPohled : public QChartView {
 public:
  TPohled(QChart* chart, TGrafKanalu& graf, uint64_t* cas)
      : QChartView(chart, &graf), graf_(graf), cas_(cas) {}

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
    if (cas_)
      *cas_ += static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                         std::chrono::steady_clock::now() - t0)
                                         .count());
  }

  void drawForeground(QPainter* p, const QRectF& kde) override {
    QChartView::drawForeground(p, kde);
    graf_.NakresliKurzory(*p);
  }

  void mousePressEvent(QMouseEvent* e) override {
    if (e->button() == Qt::MiddleButton ||
        (e->button() == Qt::LeftButton && (e->modifiers() & Qt::ControlModifier))) {
      posouvam_ = true;
      posledni_ = e->position();
      viewport()->setCursor(Qt::ClosedHandCursor);
      e->accept();
      return;
    }
    klik_ = e->button() == Qt::LeftButton;
    stisk_ = e->position();
    QChartView::mousePressEvent(e);
  }

  void mouseMoveEvent(QMouseEvent* e) override {
    if (posouvam_) {
      const QPointF d = e->position() - posledni_;
      posledni_ = e->position();
      graf_.Posun(-d.x(), d.y());
      e->accept();
      return;
    }
    if (klik_ && (e->position() - stisk_).manhattanLength() > 4) klik_ = false;
    QChartView::mouseMoveEvent(e);
  }

  void mouseReleaseEvent(QMouseEvent* e) override {
    if (posouvam_) {
      posouvam_ = false;
      viewport()->unsetCursor();
      e->accept();
      return;
    }
    if (klik_ && e->button() == Qt::LeftButton) {
      klik_ = false;
      // A click is no zoom: the rectangle of a pixel or two would be one.
      for (auto* pas : findChildren<QRubberBand*>()) pas->hide();
      const QPointF bod = mapToScene(e->position().toPoint());
      if (graf_.hodnoty_ && graf_.chart_->plotArea().contains(graf_.chart_->mapFromScene(bod)))
        graf_.NastavKurzor((e->modifiers() & Qt::ShiftModifier) ? 1 : 0,
                           graf_.CasVPohledu(bod.x()));
      e->accept();
      return;
    }
    klik_ = false;
    QChartView::mouseReleaseEvent(e);
  }

  void wheelEvent(QWheelEvent* e) override {
    const QPoint uhel = e->angleDelta();
    const double kroku = (uhel.y() != 0 ? uhel.y() : uhel.x()) / 120.0;
    if (kroku == 0) return;
    if (e->modifiers() & Qt::ShiftModifier)
      graf_.Posun(-kroku * graf_.chart_->plotArea().width() / 10, 0);
    else
      graf_.PriblizCas(std::pow(0.8, kroku),
                       graf_.CasVPohledu(mapToScene(e->position().toPoint()).x()));
    e->accept();
  }

  void keyPressEvent(QKeyEvent* e) override {
    const double desetina = graf_.chart_->plotArea().width() / 10;
    const auto [od, po] = graf_.Zobrazeno();
    switch (e->key()) {
      case Qt::Key_Left: graf_.Posun(-desetina, 0); break;
      case Qt::Key_Right: graf_.Posun(desetina, 0); break;
      case Qt::Key_Plus: graf_.PriblizCas(0.8, (od + po) / 2); break;
      case Qt::Key_Minus: graf_.PriblizCas(1.25, (od + po) / 2); break;
      case Qt::Key_Home: graf_.ZrusPriblizeni(); break;
      default: QChartView::keyPressEvent(e); return;
    }
    e->accept();
  }

 private:
  TGrafKanalu& graf_;
  uint64_t* cas_;
  bool posouvam_ = false;
  bool klik_ = false;
  QPointF posledni_, stisk_;
};

// ---------------------------------------------------------------------------

TGrafKanalu::TGrafKanalu(TZdrojKrivek& zdroj, uint64_t* casKresleni, QWidget* rodic)
    : QWidget(rodic), zdroj_(zdroj) {
  auto* svisly = new QVBoxLayout(this);
  svisly->setContentsMargins(0, 0, 0, 0);
  svisly->setSpacing(4);
  ovladani_ = new QHBoxLayout;
  ovladani_->setSpacing(6);
  auto* osaY = new QLabel(T("Osa Y:"), this);
  OsaY = new QComboBox(this);
  OsaY->addItem(T("společná"));
  OsaY->addItem(T("kanály zvlášť"));
  OsaY->setToolTip(
      T("Kanály zvlášť: každý kanál roztažen na celou výšku grafu (0 až 100 % svého rozsahu "
        "v zobrazeném úseku); skutečnou hodnotu ukáže bublina nad čárou"));
  OsaY->setMinimumWidth(OsaY->sizeHint().width());
  osaY->setBuddy(OsaY);
  CelyRozsah = new QPushButton(T("Celý rozsah"), this);
  CelyRozsah->setToolTip(T("Zruší přiblížení a ukáže celý zvolený úsek"));
  CelyRozsah->setEnabled(false);
  UlozitObrazek = new QPushButton(T("Uložit obrázek…"), this);
  UlozitObrazek->setToolTip(T("Uloží graf jako obrázek PNG"));
  UlozitCsv = new QPushButton(T("Uložit CSV…"), this);
  UlozitCsv->setToolTip(T("Uloží zobrazený úsek vybraných kanálů do souboru CSV"));
  ovladani_->addWidget(osaY);
  ovladani_->addWidget(OsaY);
  ovladani_->addWidget(CelyRozsah);
  ovladani_->addStretch(1);
  ovladani_->addWidget(UlozitObrazek);
  ovladani_->addWidget(UlozitCsv);
  svisly->addLayout(ovladani_);

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
  Graf = new TPohled(chart_, *this, casKresleni);
  Graf->setRenderHint(QPainter::Antialiasing);
  Graf->setRubberBand(QChartView::RectangleRubberBand);
  napovedaGrafu_ =
      T("Tažením myši vyberete oblast k přiblížení, kolečkem přiblížíte čas, tažením prostředním "
        "tlačítkem nebo s klávesou Ctrl graf posunete, pravým tlačítkem se vrátíte o krok zpět");
  Graf->setToolTip(napovedaGrafu_);
  // The table of values goes below the plot when it is wanted.
  auto* deleni = new QSplitter(Qt::Vertical, this);
  deleni->setChildrenCollapsible(false);
  deleni->addWidget(Graf);
  svisly->addWidget(deleni, 1);

  connect(OsaY, &QComboBox::currentIndexChanged, this, [this] {
    emit OsaYZmenena();
    ZapomenPriblizeni();
    Vykresli();
  });
  connect(CelyRozsah, &QPushButton::clicked, this, &TGrafKanalu::ZrusPriblizeni);
  connect(UlozitObrazek, &QPushButton::clicked, this, &TGrafKanalu::UlozObrazek);
  connect(UlozitCsv, &QPushButton::clicked, this, &TGrafKanalu::UlozCsvSoubor);
  // A zoom of the operator's (the rubber band, the right button, the wheel,
  // a pan): the axes stay as he left them and the lines are drawn again at
  // that detail.
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
      FormatOsyX();
      nastavujiOsy_ = false;
      Vykresli();
    });
  };
  connect(osaX_, &QDateTimeAxis::rangeChanged, this, priblizeni);
  connect(osaY_, &QValueAxis::rangeChanged, this, priblizeni);

  NastavOsy(0, 60000, 0, 1);
}

void TGrafKanalu::ZapniHodnoty(TZdrojHodnot& hodnoty) {
  if (hodnoty_) return;
  hodnoty_ = &hodnoty;
  ZrusitKurzory = new QPushButton(T("Zrušit kurzory"), this);
  ZrusitKurzory->setToolTip(T("Odstraní oba kurzory z grafu"));
  ZrusitKurzory->setEnabled(false);
  ovladani_->insertWidget(ovladani_->indexOf(CelyRozsah) + 1, ZrusitKurzory);
  connect(ZrusitKurzory, &QPushButton::clicked, this, &TGrafKanalu::ZrusKurzory);

  auto* dole = new QWidget(this);
  auto* svisly = new QVBoxLayout(dole);
  svisly->setContentsMargins(0, 0, 0, 0);
  svisly->setSpacing(2);
  PopisKurzoru = new QLabel(dole);
  PopisKurzoru->setTextInteractionFlags(Qt::TextSelectableByMouse);
  Hodnoty = new QTableWidget(0, 7, dole);
  Hodnoty->setHorizontalHeaderLabels({T("Kanál"), T("Kurzor 1"), T("Kurzor 2"), T("Rozdíl 2 − 1"),
                                      T("Minimum"), T("Maximum"), T("Průměr")});
  Hodnoty->horizontalHeaderItem(4)->setToolTip(T("Nejnižší hodnota v zobrazeném úseku"));
  Hodnoty->horizontalHeaderItem(5)->setToolTip(T("Nejvyšší hodnota v zobrazeném úseku"));
  Hodnoty->horizontalHeaderItem(6)->setToolTip(
      T("Průměr hodnot v zobrazeném úseku; neúspěšná čtení se nepočítají"));
  Hodnoty->verticalHeader()->hide();
  Hodnoty->verticalHeader()->setDefaultSectionSize(Hodnoty->fontMetrics().height() + 6);
  Hodnoty->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Hodnoty->setSelectionBehavior(QAbstractItemView::SelectRows);
  Hodnoty->setWordWrap(false);
  Hodnoty->horizontalHeader()->setStretchLastSection(true);
  const QFontMetrics fm = Hodnoty->fontMetrics();
  Hodnoty->setColumnWidth(0, fm.horizontalAdvance(QStringLiteral("M")) * 14 + 24);
  for (int s = 1; s < 7; ++s)
    Hodnoty->setColumnWidth(
        s, std::max(fm.horizontalAdvance(QStringLiteral("-0000000,000")),
                    fm.horizontalAdvance(Hodnoty->horizontalHeaderItem(s)->text())) +
               16);
  svisly->addWidget(PopisKurzoru);
  svisly->addWidget(Hodnoty, 1);
  auto* deleni = static_cast<QSplitter*>(Graf->parentWidget());
  deleni->addWidget(dole);
  deleni->setStretchFactor(0, 4);
  deleni->setStretchFactor(1, 1);
  UkazHodnoty();
}

void TGrafKanalu::NastavOsuY(int index) {
  OsaY->blockSignals(true);
  OsaY->setCurrentIndex(std::clamp(index, 0, 1));
  OsaY->blockSignals(false);
}

int TGrafKanalu::IndexOsyY() const { return OsaY->currentIndex(); }

bool TGrafKanalu::VlastniRozsahy() const { return OsaY->currentIndex() == 1; }

void TGrafKanalu::ZapomenPriblizeni() {
  priblizeno_ = false;
  CelyRozsah->setEnabled(false);
}

void TGrafKanalu::ZrusPriblizeni() {
  nastavujiOsy_ = true;
  // The zoom's fine step over the whole range would be thousands of ticks.
  osaY_->setTickType(QValueAxis::TicksFixed);
  chart_->zoomReset();
  nastavujiOsy_ = false;
  ZapomenPriblizeni();
  Vykresli();
}

void TGrafKanalu::Priblizi(double odMs, double doMs) {
  if (!(doMs - odMs >= NejkratsiRozpetiMs)) {
    const double stred = (odMs + doMs) / 2;
    odMs = stred - NejkratsiRozpetiMs / 2;
    doMs = stred + NejkratsiRozpetiMs / 2;
  }
  osaX_->setRange(Cas(odMs), Cas(doMs));
}

std::pair<double, double> TGrafKanalu::Zobrazeno() const {
  return {Ms(osaX_->min()), Ms(osaX_->max())};
}

void TGrafKanalu::Posun(double dx, double dy) { chart_->scroll(dx, dy); }

void TGrafKanalu::PriblizCas(double faktor, double kolemMs) {
  const auto [od, po] = Zobrazeno();
  kolemMs = std::clamp(kolemMs, od, po);
  Priblizi(kolemMs - (kolemMs - od) * faktor, kolemMs + (po - kolemMs) * faktor);
}

double TGrafKanalu::XVPohledu(double casMs) const {
  const QRectF plocha = chart_->mapRectToScene(chart_->plotArea());
  const auto [od, po] = Zobrazeno();
  return plocha.left() + (casMs - od) / (po - od) * plocha.width();
}

double TGrafKanalu::CasVPohledu(double x) const {
  const QRectF plocha = chart_->mapRectToScene(chart_->plotArea());
  const auto [od, po] = Zobrazeno();
  return od + (x - plocha.left()) / std::max(1.0, plocha.width()) * (po - od);
}

// ---------------------------------------------------------------------------

void TGrafKanalu::OdeberKrivku(int kanal) {
  const auto it = krivky_.find(kanal);
  if (it == krivky_.end()) return;
  for (QLineSeries* s : it->second) {
    chart_->removeSeries(s);
    delete s;
  }
  krivky_.erase(it);
  casti_.erase(kanal);
}

void TGrafKanalu::Vykresli() {
  double od = 0, doMs = 0;
  if (priblizeno_)
    std::tie(od, doMs) = Zobrazeno();
  else
    std::tie(od, doMs) = zdroj_.RozsahCasu();
  // Columns of two pixels: the lowest and the highest value of each are
  // what the eye can tell apart, and the chart's cost grows with its points.
  // Before the chart has been laid out its plot area is empty: 1000 pixels.
  const double sirka = chart_->plotArea().width();
  const double sloupcu = (sirka >= 100 ? sirka : 1000) / 2;
  const double krok = (doMs - od) / sloupcu;
  krokMs_ = krok;
  tikVykresleni_ = TikMs();
  zdroj_.Priprav(od, doMs, krok);
  const std::vector<int> vybrane = zdroj_.Vybrane();
  std::vector<int> pryc;
  for (const auto& [kanal, rada] : krivky_)
    if (!std::binary_search(vybrane.begin(), vybrane.end(), kanal)) pryc.push_back(kanal);
  for (int kanal : pryc) OdeberKrivku(kanal);

  double min = INFINITY, max = -INFINITY;
  const bool vlastni = VlastniRozsahy();
  rozsahy_.clear();
  for (int k : vybrane) {
    std::vector<QList<QPointF>> casti = zdroj_.Casti(k, od, doMs, krok);
    casti_[k] = casti;
    if (vlastni) {
      // Over the whole range, not the part zoomed into: a zoom keeps the
      // scale it was drawn at.  Until the source knows it, the pieces' own.
      auto [nejmene, nejvice] = zdroj_.RozsahHodnot(k);
      if (std::isnan(nejmene) || std::isnan(nejvice)) {
        nejmene = INFINITY;
        nejvice = -INFINITY;
        for (const QList<QPointF>& cast : casti)
          for (const QPointF& b : cast) {
            nejmene = std::min(nejmene, b.y());
            nejvice = std::max(nejvice, b.y());
          }
      }
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
          if (b.x() >= od && b.x() <= doMs) {
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
  ObnovHodnoty();
  Graf->viewport()->update();
}

void TGrafKanalu::NastavOsy(double odMs, double doMs, double min, double max) {
  nastavujiOsy_ = true;
  osaX_->setRange(Cas(odMs), Cas(doMs));
  FormatOsyX();
  // Values to read: none when nothing is plotted, and then no labels either.
  const TOsaHodnot osa = OsaHodnot(min, max, chart_->plotArea().height(), VlastniRozsahy());
  osaY_->setLabelsVisible(osa.Popisky);
  // The axis makes a label item per tick at once: the old step over the new
  // range (an empty plot's 0..1 in tenths going to a range of hundreds)
  // would make thousands and hold the window for seconds.  A few fixed
  // ticks in between.
  osaY_->setTickType(QValueAxis::TicksFixed);
  osaY_->setRange(osa.Od, osa.Do);
  DilkyOsyY(osa.Krok);
  nastavujiOsy_ = false;
}

void TGrafKanalu::FormatOsyX() {
  const auto [od, po] = Zobrazeno();
  const double rozpeti = po - od;
  const int useku = PocetUsekuCasu(chart_->plotArea().width());
  osaX_->setTickCount(useku + 1);
  osaX_->setFormat(FormatCasu(rozpeti, rozpeti / useku));
}

void TGrafKanalu::DilkyOsyY(double krok) {
  if (krok <= 0) krok = KrokHodnot(osaY_->min(), osaY_->max(), chart_->plotArea().height());
  osaY_->setTickInterval(krok);
  osaY_->setTickAnchor(0);
  osaY_->setTickType(QValueAxis::TicksDynamic);
  // As many decimals as a step needs; each channel over its own range in
  // percent of it.
  osaY_->setLabelFormat(QStringLiteral("%.") + QString::number(MistaKroku(krok)) +
                        (VlastniRozsahy() ? QStringLiteral("f %") : QStringLiteral("f")));
}

void TGrafKanalu::UkazBodKrivky(int kanal, const QLineSeries* s, const QPointF& kde, bool nad) {
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
  bublina_ = PopisBodu(kanal, zdroj_.NazevKanalu(kanal), static_cast<int64_t>(it->x()), hodnota,
                       zdroj_.MistaKanalu(kanal), Mistni().DesetinnyOddelovac);
  // The view's own tooltip says the same while the pointer rests on the line.
  Graf->setToolTip(bublina_);
  QToolTip::showText(QCursor::pos(), bublina_, Graf);
}

std::vector<QList<QPointF>> TGrafKanalu::Krivka(int kanal) const {
  std::vector<QList<QPointF>> casti;
  const auto it = krivky_.find(kanal);
  if (it == krivky_.end()) return casti;
  for (const QLineSeries* s : it->second)
    if (s->isVisible() && s->count() > 0) casti.push_back(s->points());
  return casti;
}

// ---------------------------------------------------------------------------
// The cursors and the table of values.

void TGrafKanalu::NastavKurzor(int kurzor, double casMs) {
  if (!hodnoty_ || kurzor < 0 || kurzor > 1 || std::isnan(casMs)) return;
  TKurzor& k = kurzory_[static_cast<size_t>(kurzor)];
  k.Polozen = casMs;
  k.Zaznam = {};
  k.Kanaly = zdroj_.Vybrane();
  k.Generace = hodnoty_->Generace();
  const uint64_t dotaz = ++k.Dotaz;
  // Within a few pixels of the click; the source allows for its records'
  // step.
  hodnoty_->Zaznam(kurzor, casMs, 4 * krokMs_, k.Kanaly,
                   [ja = QPointer<TGrafKanalu>(this), kurzor, dotaz](const TZaznamKurzoru& z) {
                     if (!ja) return;
                     TKurzor& k = ja->kurzory_[static_cast<size_t>(kurzor)];
                     if (k.Dotaz != dotaz) return;
                     k.Zaznam = z;
                     ja->UkazHodnoty();
                     ja->Graf->viewport()->update();
                   });
  UkazHodnoty();
  Graf->viewport()->update();
}

void TGrafKanalu::ZrusKurzory() {
  for (TKurzor& k : kurzory_) {
    k.Polozen = NAN;
    k.Zaznam = {};
    ++k.Dotaz;
  }
  UkazHodnoty();
  Graf->viewport()->update();
}

double TGrafKanalu::CasKurzoru(int kurzor) const {
  return kurzor < 0 || kurzor > 1 ? NAN : kurzory_[static_cast<size_t>(kurzor)].Zaznam.CasMs;
}

const TZaznamKurzoru& TGrafKanalu::ZaznamKurzoru(int kurzor) const {
  return kurzory_[static_cast<size_t>(std::clamp(kurzor, 0, 1))].Zaznam;
}

void TGrafKanalu::ObnovHodnoty() {
  if (!hodnoty_) return;
  const std::vector<int> vybrane = zdroj_.Vybrane();
  const uint64_t generace = hodnoty_->Generace();
  for (int c = 0; c < 2; ++c) {
    const TKurzor& k = kurzory_[static_cast<size_t>(c)];
    if (!std::isnan(k.Polozen) && (k.Kanaly != vybrane || k.Generace != generace))
      NastavKurzor(c, k.Polozen);
  }
  const std::pair<double, double> zobrazeno = Zobrazeno();
  if (vybrane == kanalySouhrnu_ && zobrazeno == rozsahSouhrnu_ && generace == generaceSouhrnu_)
    return;
  kanalySouhrnu_ = vybrane;
  rozsahSouhrnu_ = zobrazeno;
  generaceSouhrnu_ = generace;
  const uint64_t dotaz = ++dotazSouhrnu_;
  souhrny_.clear();
  UkazHodnoty();
  if (vybrane.empty()) return;
  hodnoty_->Souhrn(vybrane, zobrazeno.first, zobrazeno.second,
                   [ja = QPointer<TGrafKanalu>(this), dotaz,
                    vybrane](const std::vector<TSouhrnKanalu>& souhrny) {
                     if (!ja || ja->dotazSouhrnu_ != dotaz) return;
                     for (size_t i = 0; i < vybrane.size() && i < souhrny.size(); ++i)
                       ja->souhrny_[vybrane[i]] = souhrny[i];
                     ja->UkazHodnoty();
                   });
}

void TGrafKanalu::UkazHodnoty() {
  if (!Hodnoty) return;
  const std::vector<int> vybrane = zdroj_.Vybrane();
  const char oddelovac = Mistni().DesetinnyOddelovac;
  auto cislo = [&](double v, int mista) {
    return std::isnan(v) ? T("–") : DoQString(FixniText(v, std::max(0, mista), oddelovac));
  };
  // A channel's value at a cursor, when its record has one.
  auto vKurzoru = [&](int c, int kanal) -> const THodnotaKurzoru* {
    const TKurzor& k = kurzory_[static_cast<size_t>(c)];
    if (std::isnan(k.Zaznam.CasMs)) return nullptr;
    for (size_t i = 0; i < k.Kanaly.size() && i < k.Zaznam.Hodnoty.size(); ++i)
      if (k.Kanaly[i] == kanal) return &k.Zaznam.Hodnoty[i];
    return nullptr;
  };
  Hodnoty->setRowCount(static_cast<int>(vybrane.size()));
  auto bunka = [&](int r, int s, const QString& text) {
    QTableWidgetItem* p = Hodnoty->item(r, s);
    if (!p) {
      p = new QTableWidgetItem;
      if (s > 0) p->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      Hodnoty->setItem(r, s, p);
    }
    p->setText(text);
    return p;
  };
  for (int r = 0; r < static_cast<int>(vybrane.size()); ++r) {
    const int k = vybrane[static_cast<size_t>(r)];
    const QString nazev =
        QStringLiteral("Ch") + QString::number(k) + u' ' + DoQString(zdroj_.NazevKanalu(k));
    bunka(r, 0, nazev)->setData(Qt::DecorationRole, BarvaKanalu(k));
    Hodnoty->item(r, 0)->setToolTip(nazev);
    const THodnotaKurzoru* a = vKurzoru(0, k);
    const THodnotaKurzoru* b = vKurzoru(1, k);
    bunka(r, 1, a ? cislo(a->Hodnota, a->Mista) : QString());
    bunka(r, 2, b ? cislo(b->Hodnota, b->Mista) : QString());
    bunka(r, 3, a && b ? cislo(b->Hodnota - a->Hodnota, std::max(a->Mista, b->Mista)) : QString());
    const auto s = souhrny_.find(k);
    const bool znam = s != souhrny_.end();
    bunka(r, 4, znam ? cislo(s->second.Min, s->second.Mista) : QString());
    bunka(r, 5, znam ? cislo(s->second.Max, s->second.Mista) : QString());
    // The mean of values of n decimals is worth one more.
    bunka(r, 6, znam ? cislo(s->second.Prumer, s->second.Mista + 1) : QString());
  }

  QStringList casti;
  for (int c = 0; c < 2; ++c) {
    const TKurzor& k = kurzory_[static_cast<size_t>(c)];
    if (std::isnan(k.Polozen)) continue;
    const QString co = T("Kurzor ") + QString::number(c + 1) + T(": ");
    casti << (std::isnan(k.Zaznam.CasMs) ? co + DatumACas(k.Polozen) + T(" (bez záznamu)")
                                         : co + DatumACas(k.Zaznam.CasMs));
  }
  if (!std::isnan(kurzory_[0].Zaznam.CasMs) && !std::isnan(kurzory_[1].Zaznam.CasMs))
    casti << T("Δt: ") + TextTrvani(kurzory_[1].Zaznam.CasMs - kurzory_[0].Zaznam.CasMs, oddelovac);
  PopisKurzoru->setText(casti.isEmpty()
                            ? T("Klepnutím do grafu umístíte kurzor 1, se Shiftem kurzor 2; "
                                "tabulka ukáže jejich hodnoty a rozdíl.")
                            : casti.join(T("    ")));
  ZrusitKurzory->setEnabled(!casti.isEmpty());
}

void TGrafKanalu::NakresliKurzory(QPainter& p) const {
  if (!hodnoty_) return;
  const QRectF plocha = chart_->mapRectToScene(chart_->plotArea());
  p.save();
  p.setRenderHint(QPainter::Antialiasing, false);
  for (int c = 0; c < 2; ++c) {
    const TKurzor& k = kurzory_[static_cast<size_t>(c)];
    const bool naZaznamu = !std::isnan(k.Zaznam.CasMs);
    const double t = naZaznamu ? k.Zaznam.CasMs : k.Polozen;
    if (std::isnan(t)) continue;
    const double x = std::round(XVPohledu(t)) + 0.5;
    if (x < plocha.left() || x > plocha.right() + 1) continue;
    // Waiting for its record, or in a gap: dashed.
    QPen pero(QColor(40, 40, 40), 1, naZaznamu ? Qt::SolidLine : Qt::DashLine);
    p.setPen(pero);
    p.drawLine(QPointF(x, plocha.top()), QPointF(x, plocha.bottom()));
    const QString cislo = QString::number(c + 1);
    const QFontMetrics fm(font());
    const QRectF stitek(x + 2, plocha.top() + 2, fm.horizontalAdvance(cislo) + 6, fm.height());
    p.fillRect(stitek, QColor(40, 40, 40));
    p.setPen(Qt::white);
    p.setFont(font());
    p.drawText(stitek, Qt::AlignCenter, cislo);
  }
  p.restore();
}

// ---------------------------------------------------------------------------
// Export.

void TGrafKanalu::UlozObrazek() {
  const TSouborovaOdpoved o = ZobrazSouborovyDialog(
      this, DotazNaExport(T("Obrázky PNG"), QStringLiteral("png"), zdroj_.ZakladJmenaExportu(),
                          zdroj_.SlozkaExportu()));
  if (!o.Potvrzeno || o.Jmeno.isEmpty()) return;
  const QString jmeno = SPriponou(o.Jmeno, QStringLiteral("png"));
  if (Obrazek().save(jmeno, "PNG"))
    emit Zprava(T("Graf uložen do \"") + jmeno + u'"');
  else
    emit Zprava(NelzeZapsat(jmeno));
}

QImage TGrafKanalu::Obrazek() const {
  // What the plot shows (the part zoomed into, with the value axis the
  // operator chose), drawn from the pieces it plots.
  TZadaniGrafu z;
  z.OdMs = osaX_->min().toMSecsSinceEpoch();
  z.DoMs = osaX_->max().toMSecsSinceEpoch();
  z.Nadpis = NadpisGrafu(zdroj_.Jmeno(), z.OdMs, z.DoMs);
  z.KanalyZvlast = VlastniRozsahy();
  if (priblizeno_) {
    z.HodnotyOd = osaY_->min();
    z.HodnotyDo = osaY_->max();
  }
  z.Pismo = font();
  z.Oddelovac = Mistni().DesetinnyOddelovac;
  z.Dpr = Graf->devicePixelRatioF();
  for (int k : zdroj_.Vybrane()) {
    TKanalGrafu kanal;
    kanal.Cislo = kanal.Barva = k;
    kanal.Nazev = DoQString(zdroj_.NazevKanalu(k));
    kanal.DesetinnaMista = zdroj_.MistaKanalu(k);
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

void TGrafKanalu::UlozCsvSoubor() {
  const QString proc = zdroj_.NelzeUlozitCsv();
  if (!proc.isEmpty()) {
    emit Zprava(proc);
    return;
  }
  const TSouborovaOdpoved o = ZobrazSouborovyDialog(
      this, DotazNaExport(T("Soubory CSV"), QStringLiteral("csv"), zdroj_.ZakladJmenaExportu(),
                          zdroj_.SlozkaExportu()));
  if (!o.Potvrzeno || o.Jmeno.isEmpty()) return;
  // What the plot shows: the whole range, or the part zoomed into.
  const auto [od, po] = Zobrazeno();
  zdroj_.UlozCsv(zdroj_.Vybrane(), od, po, SPriponou(o.Jmeno, QStringLiteral("csv")),
                 [ja = QPointer<TGrafKanalu>(this)](const QString& zprava) {
                   if (ja) emit ja->Zprava(zprava);
                 });
}
