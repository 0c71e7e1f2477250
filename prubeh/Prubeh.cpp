#include "Prubeh.h"

#include <QAbstractTableModel>
#include <QBoxLayout>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QHeaderView>
#include <QLabel>
#include <QLegend>
#include <QLineSeries>
#include <QPushButton>
#include <QResizeEvent>
#include <QSaveFile>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QValueAxis>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <functional>

#include "Cisla.h"
#include "Cp1250.h"
#include "Hodiny.h"
#include "Mistni.h"
#include "Profil.h"
#include "Slozka.h"
#include "SouborovyDialog.h"

namespace {

QString T(const char* utf8) { return QString::fromUtf8(utf8); }

// Colours of the plotted channels, told apart on white and from each other;
// a channel keeps its colour (by its number) whatever else is plotted.
QColor Barva(int kanal) {
  static const QColor barvy[] = {
      QColor(31, 119, 180),  QColor(214, 39, 40),  QColor(44, 160, 44), QColor(255, 127, 14),
      QColor(148, 103, 189), QColor(23, 190, 207), QColor(140, 86, 75), QColor(227, 119, 194),
      QColor(127, 127, 127), QColor(188, 189, 34), QColor(0, 0, 128),   QColor(128, 0, 0),
  };
  return barvy[static_cast<size_t>(kanal) % std::size(barvy)];
}

// The time ranges of the list "Zobrazit", in minutes; the last entry is the
// whole run.
constexpr int MinutyRozsahu[] = {1, 5, 15, 60};
constexpr int CeleMereni = 4;

QString Ms(double ms) { return DoQString(FixniText(ms, 1, Mistni().DesetinnyOddelovac)); }

// Status text of a file the system refused to write.
QString NelzeZapsat(const QString& jmeno) { return T("Nelze zapsat do souboru \"") + jmeno + u'"'; }

void Bunka(QTableWidget* t, int r, int s, const QString& text, bool cislo = false) {
  QTableWidgetItem* i = t->item(r, s);
  if (!i) {
    i = new QTableWidgetItem(text);
    i->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    if (cislo) i->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    t->setItem(r, s, i);
  } else if (i->text() != text) {
    i->setText(text);
  }
}

// Reads, failures, response times and the last failure from column `od` on.
void BunkyStatistiky(QTableWidget* t, int r, int od, const TStatistikaKanalu& s) {
  Bunka(t, r, od, QString::number(s.Cteni), true);
  Bunka(t, r, od + 1, QString::number(s.Chyby), true);
  Bunka(t, r, od + 2, QString::fromStdString(s.TextPodleKodu()));
  Bunka(t, r, od + 3, s.Cteni ? Ms(s.PrumerOdezvyMs()) : QString(), true);
  Bunka(t, r, od + 4, s.Cteni ? Ms(s.MaxOdezvyMs) : QString(), true);
  Bunka(t, r, od + 5, DoQString(s.PosledniCas));
  Bunka(t, r, od + 6, DoQString(s.PosledniText));
}

QTableWidget* Tabulka(QWidget* rodic, const QStringList& hlavicky) {
  auto* t = new QTableWidget(0, static_cast<int>(hlavicky.size()), rodic);
  t->setHorizontalHeaderLabels(hlavicky);
  t->verticalHeader()->hide();
  t->verticalHeader()->setDefaultSectionSize(t->fontMetrics().height() + 6);
  t->setEditTriggers(QAbstractItemView::NoEditTriggers);
  t->setSelectionBehavior(QAbstractItemView::SelectRows);
  t->setSelectionMode(QAbstractItemView::SingleSelection);
  t->setWordWrap(false);
  t->horizontalHeader()->setStretchLastSection(true);
  t->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  return t;
}

// The regional decimal separator for the axis labels.
QLocale LocaleCisel() {
  QLocale l = Mistni().DesetinnyOddelovac == ',' ? QLocale(QLocale::Czech, QLocale::CzechRepublic)
                                                 : QLocale(QLocale::English, QLocale::UnitedStates);
  l.setNumberOptions(QLocale::OmitGroupSeparator);
  return l;
}

}  // namespace

// ---------------------------------------------------------------------------
// The channel list: "Ch i" with the check box that plots it and its colour,
// the name, the live value and the status code.

class TModelKanaluPrubehu : public QAbstractTableModel {
 public:
  using QAbstractTableModel::QAbstractTableModel;

  std::function<void(int, bool)> ZmenaVyberu;  // a check box was changed
  std::function<QString(int)> PopisChyby;      // tooltip of a status cell

  void Postav(const std::vector<QString>& nazvy) {
    beginResetModel();
    radky_.clear();
    for (size_t i = 0; i < nazvy.size(); ++i)
      radky_.push_back({QStringLiteral("Ch") + QString::number(i), nazvy[i], QStringLiteral("0"),
                        QStringLiteral("0")});
    for (size_t i = nazvy.size(); i < vybrane_.size(); ++i) vybrane_[i] = false;
    endResetModel();
  }
  bool NastavHodnotu(int r, const QString& hodnota, const QString& chyba) {
    auto& radek = radky_.at(static_cast<size_t>(r));
    if (radek[2] == hodnota && radek[3] == chyba) return false;
    radek[2] = hodnota;
    radek[3] = chyba;
    return true;
  }
  void Oznam(int prvni, int posledni) {
    if (prvni <= posledni) emit dataChanged(index(prvni, 2), index(posledni, 3));
  }
  bool Vybran(int r) const { return r >= 0 && r < MaxKanalu && vybrane_[static_cast<size_t>(r)]; }
  // Plots channel r or stops plotting it; tells ZmenaVyberu of a change.
  void Vyber(int r, bool ano) {
    if (r < 0 || r >= rowCount() || Vybran(r) == ano) return;
    vybrane_[static_cast<size_t>(r)] = ano;
    emit dataChanged(index(r, 0), index(r, 0));
    if (ZmenaVyberu) ZmenaVyberu(r, ano);
  }
  std::vector<int> Vybrane() const {
    std::vector<int> v;
    for (int r = 0; r < rowCount(); ++r)
      if (vybrane_[static_cast<size_t>(r)]) v.push_back(r);
    return v;
  }

  int rowCount(const QModelIndex& rodic = QModelIndex()) const override {
    return rodic.isValid() ? 0 : static_cast<int>(radky_.size());
  }
  int columnCount(const QModelIndex& rodic = QModelIndex()) const override {
    return rodic.isValid() ? 0 : 4;
  }
  QVariant data(const QModelIndex& i, int role) const override {
    if (!i.isValid() || i.row() >= rowCount()) return {};
    const auto& radek = radky_[static_cast<size_t>(i.row())];
    switch (role) {
      case Qt::DisplayRole: return radek[static_cast<size_t>(i.column())];
      case Qt::CheckStateRole:
        if (i.column() == 0) return Vybran(i.row()) ? Qt::Checked : Qt::Unchecked;
        return {};
      case Qt::DecorationRole:
        if (i.column() == 0 && Vybran(i.row())) return Barva(i.row());
        return {};
      case Qt::ForegroundRole:
        if (i.column() == 3 && radek[3] != QStringLiteral("0")) return QColor(192, 0, 0);
        return {};
      case Qt::ToolTipRole:
        if (i.column() == 3 && PopisChyby) return PopisChyby(i.row());
        if (i.column() == 0) return T("Zaškrtnutím se kanál vykreslí v grafu");
        return {};
      default: return {};
    }
  }
  bool setData(const QModelIndex& i, const QVariant& v, int role) override {
    if (!i.isValid() || i.column() != 0 || role != Qt::CheckStateRole) return false;
    Vyber(i.row(), v.value<Qt::CheckState>() == Qt::Checked);
    return true;
  }
  QVariant headerData(int sekce, Qt::Orientation o, int role) const override {
    static const char* const hlavicky[4] = {"Kanál", "Název", "Hodnota", "Chyba"};
    if (o == Qt::Horizontal && role == Qt::DisplayRole && sekce >= 0 && sekce < 4)
      return T(hlavicky[sekce]);
    return {};
  }
  Qt::ItemFlags flags(const QModelIndex& i) const override {
    if (!i.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (i.column() == 0) f |= Qt::ItemIsUserCheckable;
    return f;
  }

 private:
  std::vector<std::array<QString, 4>> radky_;
  std::array<bool, MaxKanalu> vybrane_{};
};

// ---------------------------------------------------------------------------
// The chart's view, counting the time its painting takes.

class TFormPrubeh::TGraf : public QChartView {
 public:
  TGraf(QChart* chart, QWidget* rodic, uint64_t& cas) : QChartView(chart, rodic), cas_(cas) {}

 protected:
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

TFormPrubeh::TFormPrubeh(TMereni& mereni, QWidget* rodic)
    : QWidget(rodic, Qt::Window), mereni_(mereni) {
  model_ = new TModelKanaluPrubehu(this);
  model_->ZmenaVyberu = [this](int kanal, bool vybran) { VyberZmenen(kanal, vybran); };
  model_->PopisChyby = [this](int kanal) {
    if (!HistorieUlohy()) return QString();
    const TStatistikaKanalu s = Historie().Statistika(static_cast<size_t>(kanal));
    return s.PosledniKod ? T("Poslední chyba ") + DoQString(s.PosledniCas) + T(": ") +
                               DoQString(s.PosledniText)
                         : QString();
  };
  casovac_ = new QTimer(this);
  casovac_->setInterval(1000);
  connect(casovac_, &QTimer::timeout, this, &TFormPrubeh::Tik);
  setWindowTitle(T("Průběh měření"));
  mereni_.PridejPozorovatele(this);
}

TFormPrubeh::~TFormPrubeh() {
  mereni_.OdeberPozorovatele(this);
  UlozNastaveni();
}

void TFormPrubeh::Postav() {
  if (postaveno_) return;
  postaveno_ = true;
  setMinimumSize(560, 360);

  auto* hlavni = new QVBoxLayout(this);
  hlavni->setContentsMargins(6, 6, 6, 4);
  hlavni->setSpacing(4);

  Varovani = new QLabel(this);
  Varovani->setWordWrap(true);
  Varovani->setStyleSheet(
      QStringLiteral("QLabel { background: #fff0c0; color: #a00000; border: 1px solid #d08000;"
                     " font-weight: bold; padding: 4px; }"));
  Varovani->hide();
  hlavni->addWidget(Varovani);

  Karty = new QTabWidget(this);
  hlavni->addWidget(Karty, 1);

  // The plot: the channel list beside the chart.
  auto* rozdeleni = new QSplitter(Qt::Horizontal);
  SeznamKanalu = new QTableView(rozdeleni);
  SeznamKanalu->setModel(model_);
  SeznamKanalu->setSelectionBehavior(QAbstractItemView::SelectRows);
  SeznamKanalu->setSelectionMode(QAbstractItemView::SingleSelection);
  SeznamKanalu->setEditTriggers(QAbstractItemView::NoEditTriggers);
  SeznamKanalu->setWordWrap(false);
  SeznamKanalu->verticalHeader()->hide();
  SeznamKanalu->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  SeznamKanalu->verticalHeader()->setDefaultSectionSize(SeznamKanalu->fontMetrics().height() + 6);
  SeznamKanalu->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  SeznamKanalu->horizontalHeader()->setStretchLastSection(true);
  // Check box, colour and "Ch255"; names, values and status as the grid has them.
  const QFontMetrics fm = SeznamKanalu->fontMetrics();
  const int sirky[4] = {fm.horizontalAdvance(QStringLiteral("Ch255")) + 58,
                        fm.horizontalAdvance(QStringLiteral("M")) * 11,
                        fm.horizontalAdvance(QStringLiteral("-0000,000")) + 12,
                        fm.horizontalAdvance(T("Chyba")) + 16};
  int sirkaSeznamu = 2 * SeznamKanalu->frameWidth() + 20;
  for (int i = 0; i < 4; ++i) {
    SeznamKanalu->setColumnWidth(i, sirky[i]);
    sirkaSeznamu += sirky[i];
  }

  auto* pravy = new QWidget(rozdeleni);
  auto* svisly = new QVBoxLayout(pravy);
  svisly->setContentsMargins(0, 0, 0, 0);
  svisly->setSpacing(4);
  auto* ovladani = new QHBoxLayout;
  ovladani->setSpacing(6);
  auto* zobrazit = new QLabel(T("Zobrazit:"), pravy);
  Rozsah = new QComboBox(pravy);
  for (const char* r : {"poslední minutu", "posledních 5 minut", "posledních 15 minut",
                        "poslední hodinu", "celé měření"})
    Rozsah->addItem(T(r));
  zobrazit->setBuddy(Rozsah);
  Pauza = new QPushButton(T("Pozastavit"), pravy);
  Pauza->setCheckable(true);
  Pauza->setToolTip(T("Zastaví obnovování grafu; měření běží dál"));
  CelyRozsah = new QPushButton(T("Celý rozsah"), pravy);
  CelyRozsah->setToolTip(T("Zruší přiblížení a ukáže celý zvolený úsek"));
  CelyRozsah->setEnabled(false);
  UlozitObrazek = new QPushButton(T("Uložit obrázek…"), pravy);
  UlozitObrazek->setToolTip(T("Uloží graf jako obrázek PNG"));
  UlozitCsv = new QPushButton(T("Uložit CSV…"), pravy);
  UlozitCsv->setToolTip(T("Uloží zobrazenou historii vybraných kanálů do souboru CSV"));
  ovladani->addWidget(zobrazit);
  ovladani->addWidget(Rozsah);
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
  auto* graf = new TGraf(chart_, pravy, casObnovUs_);
  Graf = graf;
  Graf->setRenderHint(QPainter::Antialiasing);
  Graf->setRubberBand(QChartView::RectangleRubberBand);
  Graf->setToolTip(
      T("Táhnutím myší vyberete oblast k přiblížení, pravým tlačítkem se vrátíte o krok zpět"));
  svisly->addWidget(Graf, 1);
  rozdeleni->addWidget(SeznamKanalu);
  rozdeleni->addWidget(pravy);
  rozdeleni->setStretchFactor(0, 0);
  rozdeleni->setStretchFactor(1, 1);
  rozdeleni->setSizes({sirkaSeznamu, 700});
  Karty->addTab(rozdeleni, T("Průběh"));

  // The health of the communication.
  auto* komunikace = new QWidget;
  auto* k = new QVBoxLayout(komunikace);
  k->setContentsMargins(6, 6, 6, 6);
  Prubehy = new QLabel(komunikace);
  Prubehy->setWordWrap(true);
  k->addWidget(Prubehy);
  auto* tabulky = new QSplitter(Qt::Vertical, komunikace);
  const QStringList statistika = {T("Čtení"),
                                  T("Chybných"),
                                  T("Chyby podle kódu"),
                                  T("Odezva průměr [ms]"),
                                  T("Odezva nejvýše [ms]"),
                                  T("Poslední chyba v"),
                                  T("Poslední chyba")};
  auto* moduly = new QWidget(tabulky);
  auto* m = new QVBoxLayout(moduly);
  m->setContentsMargins(0, 0, 0, 0);
  m->addWidget(new QLabel(T("Podle modulů"), moduly));
  TabulkaModulu = Tabulka(moduly, QStringList{T("Modul")} + statistika);
  m->addWidget(TabulkaModulu);
  auto* kanaly = new QWidget(tabulky);
  auto* c = new QVBoxLayout(kanaly);
  c->setContentsMargins(0, 0, 0, 0);
  c->addWidget(new QLabel(T("Podle kanálů"), kanaly));
  TabulkaKanalu = Tabulka(kanaly, QStringList{T("Kanál"), T("Název"), T("Modul")} + statistika);
  c->addWidget(TabulkaKanalu);
  tabulky->setSizes({140, 300});
  k->addWidget(tabulky, 1);
  Karty->addTab(komunikace, T("Komunikace"));

  Stav = new QLabel(this);
  hlavni->addWidget(Stav);

  Rozsah->setCurrentIndex(std::clamp(nastaveni_.Rozsah, 0, CeleMereni));
  connect(Rozsah, &QComboBox::currentIndexChanged, this, [this] {
    zmeneno_ = true;
    priblizeno_ = false;
    CelyRozsah->setEnabled(false);
    NactiData();
    Vykresli();
  });
  connect(Pauza, &QPushButton::toggled, this, [this](bool pozastaveno) {
    Pauza->setText(pozastaveno ? T("Pokračovat") : T("Pozastavit"));
    if (!pozastaveno) Obnov();
  });
  connect(CelyRozsah, &QPushButton::clicked, this, [this] {
    nastavujiOsy_ = true;
    chart_->zoomReset();
    nastavujiOsy_ = false;
    priblizeno_ = false;
    CelyRozsah->setEnabled(false);
    Vykresli();
  });
  connect(UlozitObrazek, &QPushButton::clicked, this, &TFormPrubeh::UlozObrazek);
  connect(UlozitCsv, &QPushButton::clicked, this, &TFormPrubeh::UlozCsvSoubor);
  connect(Karty, &QTabWidget::currentChanged, this, [this] { Obnov(); });
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
      ZaokrouhliOsuY();
      nastavujiOsy_ = false;
      Vykresli();
    });
  };
  connect(osaX_, &QDateTimeAxis::rangeChanged, this, priblizeni);
  connect(osaY_, &QValueAxis::rangeChanged, this, priblizeni);

  NastavOsy(0, 60000, 0, 1);
}

// ---------------------------------------------------------------------------
// The task.

void TFormPrubeh::NastavUlohu(const std::string& uloha, int32_t pocetKanalu, TZmenaUlohy zmena) {
  if (zmena == TZmenaUlohy::Jina) {
    UlozNastaveni();
  } else if (uloha != uloha_) {
    // Saved under another name: the history and the settings go with it.
    if (ulohaBehu_ == uloha_) ulohaBehu_ = uloha;
    zmeneno_ = true;
  }
  uloha_ = uloha;
  pocetKanalu_ = std::clamp(pocetKanalu, 0, MaxKanalu);
  std::vector<QString> nazvy;
  Kanaly.Cti([&](const TPoleKanal& k) {
    for (int32_t i = 0; i < pocetKanalu_; ++i)
      nazvy.push_back(DoQString(k[static_cast<size_t>(i)].Nazev));
  });
  const std::vector<int> drive = model_->Vybrane();
  model_->Postav(nazvy);
  for (int k : drive)
    if (k >= pocetKanalu_) OdeberKrivku(k);
  if (zmena == TZmenaUlohy::Jina) NactiNastaveni();
  setWindowTitle(T("Průběh měření – ") + DoQString(uloha_));
  if (postaveno_ && isVisible()) Obnov();
}

void TFormPrubeh::NactiNastaveni() {
  nastaveni_ = PrectiNastaveniPrubehu(uloha_);
  // The whole choice at once, drawn once.
  hromadne_ = true;
  for (int k : model_->Vybrane()) model_->Vyber(k, false);
  for (int k : nastaveni_.Kanaly) model_->Vyber(k, true);
  hromadne_ = false;
  if (postaveno_) {
    Rozsah->blockSignals(true);
    Rozsah->setCurrentIndex(std::clamp(nastaveni_.Rozsah, 0, CeleMereni));
    Rozsah->blockSignals(false);
    priblizeno_ = false;
    CelyRozsah->setEnabled(false);
    NactiData();
    Vykresli();
  }
  if (nastaveni_.Sirka > 0 && nastaveni_.Vyska > 0 && isVisible()) {
    menimVelikost_ = true;
    resize(nastaveni_.Sirka, nastaveni_.Vyska);
    menimVelikost_ = false;
  }
  zmeneno_ = false;
}

void TFormPrubeh::UlozNastaveni() {
  if (!zmeneno_) return;
  if (postaveno_) {
    nastaveni_.Sirka = width();
    nastaveni_.Vyska = height();
    nastaveni_.Rozsah = Rozsah->currentIndex();
  }
  nastaveni_.Kanaly = model_->Vybrane();
  try {
    ZapisNastaveniPrubehu(uloha_, nastaveni_);
    zmeneno_ = false;
  } catch (const TChybaZapisu&) {
    if (Stav)
      Stav->setText(
          NelzeZapsat(DoQString(CestaCp1250(CestaVeSlozceProgramu(JmenoNastaveniPrubehu)))));
  }
}

bool TFormPrubeh::HistorieUlohy() const { return synchronizovano_ && ulohaBehu_ == uloha_; }

// ---------------------------------------------------------------------------
// Showing.

void TFormPrubeh::Ukaz(int kanal) {
  Postav();
  if (!isVisible()) {
    menimVelikost_ = true;
    if (nastaveni_.Sirka > 0 && nastaveni_.Vyska > 0)
      resize(nastaveni_.Sirka, nastaveni_.Vyska);
    else
      resize(1000, 600);
    menimVelikost_ = false;
  }
  if (kanal >= 0 && kanal < pocetKanalu_) {
    model_->Vyber(kanal, true);
    SeznamKanalu->setCurrentIndex(model_->index(kanal, 0));
    SeznamKanalu->scrollTo(model_->index(kanal, 0));
    Karty->setCurrentIndex(0);
  }
  // A window shown anew comes up in front; one already open is brought there.
  if (isVisible())
    raise();
  else
    show();
  activateWindow();
  Obnov();
}

void TFormPrubeh::showEvent(QShowEvent* e) {
  QWidget::showEvent(e);
  casovac_->start();
}

void TFormPrubeh::hideEvent(QHideEvent* e) {
  QWidget::hideEvent(e);
  casovac_->stop();
  UlozNastaveni();
}

void TFormPrubeh::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  if (isVisible() && !menimVelikost_ && e->oldSize().isValid() && e->oldSize() != e->size())
    zmeneno_ = true;
}

void TFormPrubeh::Vyber(int kanal, bool vybrat) { model_->Vyber(kanal, vybrat); }

bool TFormPrubeh::Vybran(int kanal) const { return model_->Vybran(kanal); }

std::vector<int> TFormPrubeh::Vybrane() const { return model_->Vybrane(); }

int TFormPrubeh::AktualniKanal() const {
  return SeznamKanalu && SeznamKanalu->currentIndex().isValid() ? SeznamKanalu->currentIndex().row()
                                                                : -1;
}

void TFormPrubeh::VyberZmenen(int kanal, bool vybran) {
  zmeneno_ = true;
  if (!vybran) {
    OdeberKrivku(kanal);
    data_.erase(kanal);
  }
  if (!postaveno_ || hromadne_) return;
  if (vybran) NactiData();
  Vykresli();
}

// ---------------------------------------------------------------------------
// Refreshing.

void TFormPrubeh::KanalPrecten(int32_t pocetKanalu, bool, const std::string&) {
  tikCteni_ = TikMs();
  // The first read of a measurement (channel 0 read, channel 1 not yet): the
  // moment that ties its history's times to the clock.  Asked only during
  // the first pass.
  if (!mereni_.CyklusHotov() && !zdroj_) {
    const THistorie& h = mereni_.Historie();
    if (h.Statistika(0).Cteni == 1 && (pocetKanalu < 2 || h.Statistika(1).Cteni == 0)) {
      synchronizovano_ = false;
      Synchronizuj();
    }
  }
}

void TFormPrubeh::Synchronizuj() {
  // The latest point of all channels was read at the last read (tikCteni_),
  // or just now when no read has been seen.
  const THistorie& h = Historie();
  uint32_t posledni = 0;
  bool nejaky = false;
  for (int32_t k = 0; k < h.PocetKanalu(); ++k) {
    const std::vector<TBodHistorie> b = h.Body(static_cast<size_t>(k), posledni);
    if (b.empty()) continue;
    posledni = std::max(posledni, b.back().CasMs);
    nejaky = true;
  }
  if (!nejaky) return;
  const uint64_t odCteni = tikCteni_ && !zdroj_ ? TikMs() - tikCteni_ : 0;
  zacatekMs_ = QDateTime::currentMSecsSinceEpoch() - static_cast<int64_t>(odCteni) - posledni;
  ulohaBehu_ = uloha_;
  synchronizovano_ = true;
}

void TFormPrubeh::Tik() {
  // A refresh in the middle of a pass would hold up the reads, which wait
  // for the main thread after each channel: it waits for a pause between
  // passes, at most half a second (a slow line reads without a pause).
  if (mereni_.Bezi() && TikMs() - tikCteni_ < 3 && odlozeni_ < 50) {
    ++odlozeni_;
    QTimer::singleShot(10, this, &TFormPrubeh::Tik);
    return;
  }
  odlozeni_ = 0;
  Obnov(false);
}

void TFormPrubeh::Obnov(bool vzdy) {
  if (!postaveno_) return;
  const auto t0 = std::chrono::steady_clock::now();
  if (!synchronizovano_ && (zdroj_ || !mereni_.Bezi())) Synchronizuj();

  int prvni = INT_MAX, posledni = -1;
  Kanaly.Cti([&](const TPoleKanal& kanaly) {
    for (int r = 0; r < pocetKanalu_; ++r) {
      const TKanal& k = kanaly[static_cast<size_t>(r)];
      if (model_->NastavHodnotu(r, DoQString(k.Hodnota), QString::number(k.Chyba))) {
        prvni = std::min(prvni, r);
        posledni = r;
      }
    }
  });
  model_->Oznam(prvni, posledni);
  ObnovVarovani();
  const bool sloupecUplynul =
      static_cast<double>(TikMs() - tikVykresleni_) >= std::max(1000.0, krokMs_) - 50;
  if (Karty->currentIndex() == 0 && !Pauza->isChecked()) {
    if (vzdy || sloupecUplynul) {
      NactiData();
      Vykresli();
    }
  } else if (Karty->currentIndex() == 1) {
    ObnovKomunikaci();
  }
  // A hint of what the plot lacks; the outcome of an export stays until the
  // hint changes.
  const QString napoveda =
      model_->Vybrane().empty()
          ? T("Zaškrtněte v seznamu kanály, jejichž průběh chcete vidět.")
          : (!HistorieUlohy() ? T("Tato úloha nebyla od spuštění programu měřena.") : QString());
  if (napoveda != napoveda_) {
    Stav->setText(napoveda);
    napoveda_ = napoveda;
  }

  casObnovUs_ += static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0)
          .count());
  ++pocetObnov_;
}

void TFormPrubeh::ObnovVarovani() {
  const TPrubehy p = Historie().Prubehy();
  if (!HistorieUlohy() || !p.PomalejsiNezPerioda()) {
    Varovani->hide();
    return;
  }
  Varovani->setText(T("Průchod všemi kanály trvá déle než perioda měření (naposledy ") +
                    Ms(p.PosledniMs) + T(" ms, perioda ") + QString::number(p.PeriodaSek) +
                    T(" s): vzorky opakují hodnoty z dřívějšího průchodu, jako by byly nové. "
                      "Pomůže vyšší rychlost linky, méně kanálů nebo delší perioda."));
  Varovani->show();
}

QString TFormPrubeh::TextVarovani() const {
  return Varovani && !Varovani->isHidden() ? Varovani->text() : QString();
}

void TFormPrubeh::ObnovKomunikaci() {
  if (!HistorieUlohy()) {
    Prubehy->setText(T("Tato úloha nebyla od spuštění programu měřena."));
    TabulkaModulu->setRowCount(0);
    TabulkaKanalu->setRowCount(0);
    return;
  }
  const THistorie& h = Historie();
  const TPrubehy p = h.Prubehy();
  if (p.Pocet == 0)
    Prubehy->setText(T("Průchod všemi kanály: zatím žádný celý; perioda měření ") +
                     QString::number(p.PeriodaSek) + T(" s"));
  else
    Prubehy->setText(T("Průchod všemi kanály: naposledy ") + Ms(p.PosledniMs) + T(" ms, průměr ") +
                     Ms(p.PrumerMs()) + T(" ms, nejdelší ") + Ms(p.MaxMs) + T(" ms (průchodů ") +
                     QString::number(p.Pocet) + T("); perioda měření ") +
                     QString::number(p.PeriodaSek) + T(" s"));

  const std::map<uint8_t, TStatistikaKanalu> moduly = h.PodleModulu();
  const bool noveModuly = TabulkaModulu->rowCount() != static_cast<int>(moduly.size());
  TabulkaModulu->setRowCount(static_cast<int>(moduly.size()));
  int r = 0;
  for (const auto& [adresa, s] : moduly) {
    Bunka(TabulkaModulu, r, 0, QString::number(adresa), true);
    BunkyStatistiky(TabulkaModulu, r, 1, s);
    ++r;
  }
  const int kanalu = std::min(pocetKanalu_, h.PocetKanalu());
  const bool noveKanaly = TabulkaKanalu->rowCount() != kanalu;
  TabulkaKanalu->setRowCount(kanalu);
  for (int k = 0; k < kanalu; ++k) {
    const TStatistikaKanalu s = h.Statistika(static_cast<size_t>(k));
    Bunka(TabulkaKanalu, k, 0, QStringLiteral("Ch") + QString::number(k));
    Bunka(TabulkaKanalu, k, 1, model_->data(model_->index(k, 1), Qt::DisplayRole).toString());
    Bunka(TabulkaKanalu, k, 2, QString::number(s.Adresa), true);
    BunkyStatistiky(TabulkaKanalu, k, 3, s);
  }
  // Fitted once the rows are there; the last column (the error's text) takes
  // the rest of the width.
  auto prizpusob = [](QTableWidget* t) {
    for (int s = 0; s + 1 < t->columnCount(); ++s) t->resizeColumnToContents(s);
  };
  if (noveModuly) prizpusob(TabulkaModulu);
  if (noveKanaly) prizpusob(TabulkaKanalu);
}

// ---------------------------------------------------------------------------
// The plot.

void TFormPrubeh::NactiData() {
  const std::vector<int> vybrane = model_->Vybrane();
  for (auto it = data_.begin(); it != data_.end();)
    it = std::find(vybrane.begin(), vybrane.end(), it->first) == vybrane.end() ? data_.erase(it)
                                                                               : std::next(it);
  if (!HistorieUlohy()) {
    for (int k : vybrane) data_[k] = TDataKanalu{};
    return;
  }
  const THistorie& h = Historie();
  const bool pozastaveno = Pauza->isChecked();
  double konec = doMs_;
  if (!pozastaveno) {
    if (mereni_.Bezi() && !zdroj_) {
      konec = static_cast<double>(QDateTime::currentMSecsSinceEpoch() - zacatekMs_);
    } else {
      // After the measurement: up to the last read of the channels shown.
      konec = 0;
      for (int k : vybrane) {
        const std::vector<TBodHistorie> b =
            h.Body(static_cast<size_t>(k), static_cast<uint32_t>(konec));
        if (!b.empty()) konec = std::max(konec, static_cast<double>(b.back().CasMs));
      }
    }
  }
  const int r = Rozsah->currentIndex();
  const bool cely = r < 0 || r >= CeleMereni;
  odMs_ = cely ? 0 : konec - MinutyRozsahu[r] * 60000.0;
  doMs_ = cely ? std::max(konec, 60000.0) : konec;
  const uint32_t od = odMs_ > 0 ? static_cast<uint32_t>(odMs_) : 0;
  for (int k : vybrane) {
    TDataKanalu& d = data_[k];
    d.Body = h.Body(static_cast<size_t>(k), od);
    if (pozastaveno)
      while (!d.Body.empty() && d.Body.back().CasMs > konec) d.Body.pop_back();
    d.Useky.clear();
    if (cely) {
      d.SirkaUsekuMs = h.SirkaUsekuMs();
      const double prvniBod = d.Body.empty() ? konec : d.Body.front().CasMs;
      for (const TUsekHistorie& u : h.Useky(static_cast<size_t>(k)))
        if (u.OdMs + static_cast<double>(d.SirkaUsekuMs) <= prvniBod) d.Useky.push_back(u);
    }
  }
}

void TFormPrubeh::OdeberKrivku(int kanal) {
  const auto it = krivky_.find(kanal);
  if (it == krivky_.end()) return;
  for (QLineSeries* s : it->second) {
    chart_->removeSeries(s);
    delete s;
  }
  krivky_.erase(it);
}

void TFormPrubeh::Vykresli() {
  if (!postaveno_) return;
  double od = odMs_, doMs = doMs_;
  if (priblizeno_) {
    od = static_cast<double>(osaX_->min().toMSecsSinceEpoch() - zacatekMs_);
    doMs = static_cast<double>(osaX_->max().toMSecsSinceEpoch() - zacatekMs_);
  }
  const double posun = static_cast<double>(zacatekMs_);
  // Columns of two pixels: the lowest and the highest value of each are
  // what the eye can tell apart, and the chart's cost grows with its points.
  // Before the chart has been laid out its plot area is empty: 1000 pixels.
  const double sirka = chart_->plotArea().width();
  const double sloupcu = (sirka >= 100 ? sirka : 1000) / 2;
  const double krok = (doMs - od) / sloupcu;
  krokMs_ = krok;
  tikVykresleni_ = TikMs();
  double min = INFINITY, max = -INFINITY;
  for (int k : model_->Vybrane()) {
    const auto d = data_.find(k);
    const std::vector<QList<QPointF>> casti = d == data_.end()
                                                  ? std::vector<QList<QPointF>>{}
                                                  : CastiKrivky(d->second, od, doMs, krok, posun);
    std::vector<QLineSeries*>& rada = krivky_[k];
    while (rada.size() < casti.size()) {
      auto* s = new QLineSeries;
      QPen pero(Barva(k));
      pero.setWidthF(1.0);
      s->setPen(pero);
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

void TFormPrubeh::NastavOsy(double odMs, double doMs, double min, double max) {
  nastavujiOsy_ = true;
  const double posun = static_cast<double>(zacatekMs_);
  osaX_->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(posun + odMs)),
                  QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(posun + doMs)));
  const double rozpeti = doMs - odMs;
  osaX_->setFormat(rozpeti <= 15 * 60000.0         ? QStringLiteral("H:mm:ss")
                   : rozpeti <= 24 * 3600 * 1000.0 ? QStringLiteral("H:mm")
                                                   : QStringLiteral("d.M. H:mm"));
  const QSizeF plocha = chart_->plotArea().size();
  osaX_->setTickCount(std::clamp(static_cast<int>(plocha.width() / 110), 2, 12) + 1);

  if (!(min <= max)) {
    min = 0;
    max = 1;
  }
  const double okraj = max > min ? (max - min) * 0.05 : std::max(std::fabs(min) * 0.05, 0.5);
  osaY_->setRange(min - okraj, max + okraj);
  osaY_->setTickCount(std::clamp(static_cast<int>(plocha.height() / 45), 3, 11));
  ZaokrouhliOsuY();
  nastavujiOsy_ = false;
}

void TFormPrubeh::ZaokrouhliOsuY() {
  // Round steps, and as many decimals as a step needs.
  osaY_->applyNiceNumbers();
  const double dilek = (osaY_->max() - osaY_->min()) / std::max(1, osaY_->tickCount() - 1);
  const int mista =
      dilek > 0 ? std::clamp(static_cast<int>(std::ceil(-std::log10(dilek) - 1e-9)), 0, 6) : 0;
  osaY_->setLabelFormat(QStringLiteral("%.") + QString::number(mista) + u'f');
}

std::vector<QList<QPointF>> TFormPrubeh::Krivka(int kanal) const {
  std::vector<QList<QPointF>> casti;
  const auto it = krivky_.find(kanal);
  if (it == krivky_.end()) return casti;
  for (const QLineSeries* s : it->second)
    if (s->isVisible() && s->count() > 0) casti.push_back(s->points());
  return casti;
}

// ---------------------------------------------------------------------------
// Export.

namespace {
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

void TFormPrubeh::UlozObrazek() {
  const TSouborovaOdpoved o = ZobrazSouborovyDialog(
      this, DotazNaExport(T("Obrázky PNG"), QStringLiteral("png"), ZakladJmena(uloha_)));
  if (!o.Potvrzeno || o.Jmeno.isEmpty()) return;
  const QString jmeno = SPriponou(o.Jmeno, QStringLiteral("png"));
  if (Graf->grab().save(jmeno, "PNG"))
    Stav->setText(T("Graf uložen do \"") + jmeno + u'"');
  else
    Stav->setText(NelzeZapsat(jmeno));
}

void TFormPrubeh::UlozCsvSoubor() {
  const std::vector<int> vybrane = model_->Vybrane();
  if (vybrane.empty() || !HistorieUlohy()) {
    Stav->setText(T("Není co uložit: zaškrtněte kanály změřené úlohy."));
    return;
  }
  const TSouborovaOdpoved o = ZobrazSouborovyDialog(
      this, DotazNaExport(T("Soubory CSV"), QStringLiteral("csv"), ZakladJmena(uloha_)));
  if (!o.Potvrzeno || o.Jmeno.isEmpty()) return;
  const QString jmeno = SPriponou(o.Jmeno, QStringLiteral("csv"));

  std::vector<TKanalCsv> kanaly;
  for (int k : vybrane) {
    const TKanal def = Kanaly.Kanal(static_cast<size_t>(k));
    kanaly.push_back({k, def.Nazev, def.DesetinnaMista, &data_[k]});
  }
  // What the plot shows: the chosen range, or the part zoomed into.
  const double od = static_cast<double>(osaX_->min().toMSecsSinceEpoch() - zacatekMs_);
  const double doMs = static_cast<double>(osaX_->max().toMSecsSinceEpoch() - zacatekMs_);
  const std::string csv = CsvHistorie(kanaly, od, doMs, zacatekMs_, Mistni().DesetinnyOddelovac);
  QSaveFile f(jmeno);
  const bool ok =
      f.open(QIODevice::WriteOnly) &&
      f.write(csv.data(), static_cast<qint64>(csv.size())) == static_cast<qint64>(csv.size()) &&
      f.commit();
  Stav->setText(ok ? T("Historie uložena do \"") + jmeno + u'"' : NelzeZapsat(jmeno));
}
