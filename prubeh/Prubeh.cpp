#include "Prubeh.h"

#include <QBoxLayout>
#include <QChartView>
#include <QComboBox>
#include <QDateTime>
#include <QDesktopServices>
#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMoveEvent>
#include <QPushButton>
#include <QResizeEvent>
#include <QShortcut>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "Cp1250.h"
#include "ModelKanaluPrubehu.h"
#include "Profil.h"
#include "PrubehKomunikace.h"
#include "PrubehPublikace.h"
#include "Slozka.h"

namespace {
QString T(const char* utf8) { return QString::fromUtf8(utf8); }

// Wayland leaves the place of a window to the compositor alone.
bool MuzeUmistit() {
  return !QGuiApplication::platformName().startsWith(QStringLiteral("wayland"));
}
}  // namespace

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
  connect(casovac_, &QTimer::timeout, this, [this] { Obnov(false); });
  setWindowTitle(T("Průběh měření"));
  OtevriUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
  for (const QKeySequence& klavesa :
       {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)})
    connect(new QShortcut(klavesa, this), &QShortcut::activated, this, &QWidget::close);
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
  PanelGrafu = new TGrafPrubehu(*this, *model_, casObnovUs_, rozdeleni);
  rozdeleni->addWidget(SeznamKanalu);
  rozdeleni->addWidget(PanelGrafu);
  rozdeleni->setStretchFactor(0, 0);
  rozdeleni->setStretchFactor(1, 1);
  rozdeleni->setSizes({sirkaSeznamu, 700});
  Karty->addTab(rozdeleni, T("Průběh"));

  Komunikace = new TKartaKomunikace;
  Karty->addTab(Komunikace, T("Komunikace"));
  Publikace = new TKartaPublikace;
  Publikace->NastavUlohu(uloha_);
  Publikace->NastavPublikaci(publikace_);
  Karty->addTab(Publikace, T("Publikace"));

  Stav = new QLabel(this);
  hlavni->addWidget(Stav);
  PostavRadekDat(hlavni);

  PanelGrafu->NastavRozsah(nastaveni_.Rozsah);
  PanelGrafu->NastavOsuY(nastaveni_.OsaY);
  connect(PanelGrafu, &TGrafPrubehu::RozsahZmenen, this, [this] { zmeneno_ = true; });
  connect(PanelGrafu, &TGrafPrubehu::OsaYZmenena, this, [this] { zmeneno_ = true; });
  connect(PanelGrafu, &TGrafPrubehu::Zprava, Stav, &QLabel::setText);
  connect(Karty, &QTabWidget::currentChanged, this, [this] { Obnov(); });
}

// ---------------------------------------------------------------------------
// The task.

void TFormPrubeh::NastavUlohu(const std::string& uloha, int32_t pocetKanalu, TZmenaUlohy zmena) {
  if (zmena == TZmenaUlohy::Jina) {
    UlozNastaveni();
    nastaveniNactena_ = false;
  } else if (uloha != uloha_) {
    // Saved under another name: the history and the settings go with it
    // (those remembered under the old name, too, when not read yet).
    if (!nastaveniNactena_) NactiNastaveni();
    if (ulohaBehu_ == uloha_) ulohaBehu_ = uloha;
    zmeneno_ = true;
  }
  uloha_ = uloha;
  pocetKanalu_ = std::clamp(pocetKanalu, 0, MaxKanalu);
  const std::vector<int> drive = model_->Vybrane();
  model_->Postav(Kanaly.Kopie(), pocetKanalu_);
  if (PanelGrafu)
    for (int k : drive)
      if (k >= pocetKanalu_) PanelGrafu->VyberZmenen(k, false);
  // The file is read only for a window that has been shown: most runs of the
  // program never open it.
  if (zmena == TZmenaUlohy::Jina && postaveno_) NactiNastaveni();
  setWindowTitle(T("Průběh měření – ") + DoQString(uloha_));
  if (Publikace) Publikace->NastavUlohu(uloha_);
  if (postaveno_ && isVisible()) Obnov();
}

void TFormPrubeh::NactiNastaveni() {
  std::vector<std::string> nezname;
  nastaveni_ = PrectiNastaveniPrubehu(uloha_, &nezname);
  nezname_ = RadkyZprav(nezname);
  nastaveniNactena_ = true;
  // The whole choice at once, drawn once.
  hromadne_ = true;
  for (int k : model_->Vybrane()) model_->Vyber(k, false);
  for (int k : nastaveni_.Kanaly) model_->Vyber(k, true);
  hromadne_ = false;
  if (postaveno_) {
    PanelGrafu->NastavRozsah(nastaveni_.Rozsah);
    PanelGrafu->NastavOsuY(nastaveni_.OsaY);
    PanelGrafu->Prekresli();
  }
  if (isVisible()) UmistiOkno();
  zmeneno_ = false;
}

void TFormPrubeh::UmistiOkno() {
  menimVelikost_ = true;
  if (nastaveni_.Sirka > 0 && nastaveni_.Vyska > 0)
    resize(nastaveni_.Sirka, nastaveni_.Vyska);
  else if (!isVisible())
    resize(1000, 600);
  // Never off every screen (one since unplugged): its title bar stays
  // where it can be taken.
  const QPoint roh(nastaveni_.X, nastaveni_.Y);
  if (nastaveni_.Poloha && MuzeUmistit() && QGuiApplication::screenAt(roh + QPoint(40, 10)))
    move(roh);
  menimVelikost_ = false;
}

void TFormPrubeh::UlozNastaveni() {
  if (!zmeneno_ || !nastaveniNactena_) return;
  if (postaveno_) {
    nastaveni_.Sirka = width();
    nastaveni_.Vyska = height();
    nastaveni_.Rozsah = PanelGrafu->IndexRozsahu();
    nastaveni_.OsaY = PanelGrafu->IndexOsyY();
    if (MuzeUmistit()) {
      nastaveni_.Poloha = true;
      nastaveni_.X = pos().x();
      nastaveni_.Y = pos().y();
    }
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
  // The remembered choice first: the channel asked for is added to it.
  if (!nastaveniNactena_) NactiNastaveni();
  if (!isVisible()) UmistiOkno();
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

void TFormPrubeh::moveEvent(QMoveEvent* e) {
  QWidget::moveEvent(e);
  if (isVisible() && !menimVelikost_ && e->oldPos() != e->pos()) zmeneno_ = true;
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
  if (!postaveno_ || hromadne_) return;
  PanelGrafu->VyberZmenen(kanal, vybran);
}

std::vector<QList<QPointF>> TFormPrubeh::Krivka(int kanal) const {
  return PanelGrafu ? PanelGrafu->Krivka(kanal) : std::vector<QList<QPointF>>{};
}

void TFormPrubeh::UlozObrazek() {
  if (PanelGrafu) PanelGrafu->UlozObrazek();
}

void TFormPrubeh::UlozCsvSoubor() {
  if (PanelGrafu) PanelGrafu->UlozCsvSoubor();
}

// ---------------------------------------------------------------------------
// Refreshing.

void TFormPrubeh::MereniZahajeno(const TUlohaMereni&) {
  if (zdroj_) return;
  // History time 0 is the start's moment; the run measures the task shown.
  zacatekMs_ = mereni_.ZacatekEpochaMs();
  ulohaBehu_ = uloha_;
  synchronizovano_ = true;
  drivejsi_.Zapomen();
}

void TFormPrubeh::NastavPublikaci(const TPublikaceMereni* p) {
  publikace_ = p;
  if (Publikace) Publikace->NastavPublikaci(p);
}

void TFormPrubeh::NastavZdrojHistorie(const THistorie* h) {
  zdroj_ = h;
  synchronizovano_ = false;
  drivejsi_.Zapomen();
  if (!zdroj_ && mereni_.ZacatekEpochaMs() != 0) MereniZahajeno(mereni_.Uloha());
}

void TFormPrubeh::Synchronizuj() {
  // A history given from outside ends now: its latest point is this moment.
  const THistorie& h = Historie();
  uint64_t posledni = 0;
  bool nejaky = false;
  for (int32_t k = 0; k < h.PocetKanalu(); ++k) {
    const std::vector<TBodHistorie> b = h.Body(static_cast<size_t>(k), posledni);
    if (b.empty()) continue;
    posledni = std::max(posledni, b.back().CasMs);
    nejaky = true;
  }
  if (!nejaky) return;
  zacatekMs_ = QDateTime::currentMSecsSinceEpoch() - static_cast<int64_t>(posledni);
  ulohaBehu_ = uloha_;
  synchronizovano_ = true;
}

void TFormPrubeh::Obnov(bool vzdy) {
  if (!postaveno_) return;
  const auto t0 = std::chrono::steady_clock::now();
  if (!synchronizovano_ && zdroj_) Synchronizuj();

  int prvni = MaxKanalu, posledni = -1;
  Kanaly.Cti([&](const TPoleKanal& kanaly) {
    for (int r = 0; r < model_->rowCount(); ++r) {
      const TKanal& k = kanaly[static_cast<size_t>(r)];
      if (model_->NastavHodnotu(r, DoQString(k.Hodnota), QString::number(k.Chyba))) {
        prvni = std::min(prvni, r);
        posledni = r;
      }
    }
  });
  model_->Oznam(prvni, posledni);
  ObnovVarovani();
  if (Karty->currentIndex() == 0)
    PanelGrafu->Obnov(vzdy);
  else if (Karty->currentIndex() == 1)
    Komunikace->Obnov(HistorieUlohy() ? &Historie() : nullptr, *model_);
  else if (Karty->currentIndex() == 2)
    Publikace->Obnov();
  // A hint of what the plot lacks, and what ZQ_prubeh.ini holds that
  // nobody reads; the outcome of an export stays until they change.
  QString napoveda =
      model_->Vybrane().empty()
          ? T("Zaškrtněte v seznamu kanály, jejichž průběh chcete vidět.")
          : (!HistorieUlohy() ? T("Tato úloha nebyla od spuštění programu měřena.") : QString());
  if (!nezname_.isEmpty()) napoveda += (napoveda.isEmpty() ? QString() : T("\n")) + nezname_;
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
  const QString text = HistorieUlohy() ? VarovaniPrubehu(Historie(), drivejsi_) : QString();
  if (text.isEmpty()) {
    Varovani->hide();
    return;
  }
  Varovani->setText(text);
  Varovani->show();
}

QString TFormPrubeh::TextVarovani() const {
  return Varovani && !Varovani->isHidden() ? Varovani->text() : QString();
}

// ---------------------------------------------------------------------------
// The data file.

void TFormPrubeh::PostavRadekDat(QBoxLayout* hlavni) {
  // Where the data go, and the way there: an installed program keeps a bare
  // name in a hidden folder of the user's.
  auto* radek = new QHBoxLayout;
  radek->setSpacing(6);
  auto* popis = new QLabel(T("Datový soubor:"), this);
  DatovySoubor = new QLineEdit(this);
  DatovySoubor->setReadOnly(true);
  DatovySoubor->setFrame(false);
  DatovySoubor->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; }"));
  popis->setBuddy(DatovySoubor);
  OtevritSlozku = new QPushButton(T("Otevřít složku dat"), this);
  OtevritSlozku->setToolTip(T("Otevře složku datového souboru ve správci souborů"));
  connect(OtevritSlozku, &QPushButton::clicked, this, &TFormPrubeh::OtevriSlozkuDat);
  radek->addWidget(popis);
  radek->addWidget(DatovySoubor, 1);
  radek->addWidget(OtevritSlozku);
  hlavni->insertLayout(hlavni->indexOf(Stav), radek);
  UkazDatovySoubor();
}

void TFormPrubeh::NastavDatovySoubor(const std::string& jmeno) {
  datovySoubor_ = jmeno;
  UkazDatovySoubor();
}

void TFormPrubeh::UkazDatovySoubor() {
  if (!DatovySoubor) return;
  const QString cesta = CelaDatovaCesta(datovySoubor_);
  DatovySoubor->setText(cesta);
  DatovySoubor->setCursorPosition(0);
  DatovySoubor->setToolTip(cesta);
  OtevritSlozku->setEnabled(!cesta.isEmpty());
}

void TFormPrubeh::OtevriSlozkuDat() {
  if (datovySoubor_.empty()) return;
  const std::filesystem::path slozka = DatovaCesta(datovySoubor_).lexically_normal().parent_path();
  const QString text = QFile::decodeName(QByteArray::fromStdString(slozka.native()));
  std::error_code ec;
  if (!std::filesystem::is_directory(slozka, ec))
    Stav->setText(T("Složka \"") + text + T("\" zatím neexistuje, vznikne se startem měření."));
  else if (!OtevriUrl(QUrl::fromLocalFile(text)))
    Stav->setText(T("Složku \"") + text + T("\" se nepodařilo otevřít ve správci souborů."));
}
