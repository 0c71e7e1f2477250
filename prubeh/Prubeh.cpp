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
#include <QSpinBox>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "Cp1250.h"
#include "Hodiny.h"
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
  if (postaveno_) NactiRozdeleni();
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

void TFormPrubeh::MereniZahajeno(const TUlohaMereni& uloha) {
  // The data file's row follows the run whatever history is shown.
  const TRozdeleniBehu& r = mereni_.Rozdeleni();
  souborBehu_.clear();
  zpravyBehu_ = r.Zpravy;
  varovaniBehu_ = VarovaniLimitu(FormatSouboru(r.Jmeno), uloha.Cfg.Volby, uloha.Cfg.PocetKanalu,
                                 mereni_.PeriodaSek(), r.Nastaveni, TedMistni());
  zmenaZaBehu_ = false;
  if (!zdroj_) {
    // History time 0 is the start's moment; the run measures the task shown.
    zacatekMs_ = mereni_.ZacatekEpochaMs();
    ulohaBehu_ = uloha_;
    synchronizovano_ = true;
    drivejsi_.Zapomen();
  }
  UkazDatovySoubor();
  UkazZpravySouboru();
}

void TFormPrubeh::VzorekZapsan(const TVzorekMereni& v, const TUlohaMereni&) {
  // A few of the series' messages stay, the newest last.
  constexpr size_t Nejvyse = 6;
  for (const std::string& z : v.Zpravy) zpravyBehu_.push_back(z);
  if (zpravyBehu_.size() > Nejvyse)
    zpravyBehu_.erase(zpravyBehu_.begin(),
                      zpravyBehu_.end() - static_cast<std::ptrdiff_t>(Nejvyse));
  const bool jiny = v.Soubor != souborBehu_;
  souborBehu_ = v.Soubor;
  if (jiny) UkazDatovySoubor();
  if (!v.Zpravy.empty()) UkazZpravySouboru();
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
  // The period's file changes at midnight, the run's when it stops.
  UkazDatovySoubor();
  UkazZpravySouboru();
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

  // The split into a series: a choice and two numbers, the task's section
  // of ZQ_soubory.ini, taken by the next start.
  auto* radek2 = new QHBoxLayout;
  radek2->setSpacing(6);
  auto* popisRozdelit = new QLabel(T("Rozdělit:"), this);
  Rozdelit = new QComboBox(this);
  Rozdelit->addItems(
      {T("nerozdělovat"), T("po dnech"), T("po týdnech"), T("po měsících"), T("podle velikosti")});
  Rozdelit->setToolTip(
      T("Nový datový soubor každý den, týden nebo měsíc (jméno souboru s datem), nebo když by "
        "soubor přesáhl velikost; platí od startu měření"));
  popisRozdelit->setBuddy(Rozdelit);
  auto* popisVelikost = new QLabel(T("Velikost:"), this);
  VelikostMB = new QSpinBox(this);
  VelikostMB->setSuffix(T(" MB"));
  VelikostMB->setRange(1, MaxVelikost);
  VelikostMB->setValue(100);  // what a split by size starts with
  VelikostMB->setToolTip(T("Soubor, který by dalším záznamem přesáhl tuto velikost, se uzavře"));
  popisVelikost->setBuddy(VelikostMB);
  auto* popisPonechat = new QLabel(T("Ponechat souborů:"), this);
  Ponechat = new QSpinBox(this);
  Ponechat->setRange(0, 100000);
  Ponechat->setSpecialValueText(T("všechny"));
  Ponechat->setToolTip(
      T("Po založení nového souboru se nejstarší soubory řady nad tento počet smažou"));
  popisPonechat->setBuddy(Ponechat);
  radek2->addWidget(popisRozdelit);
  radek2->addWidget(Rozdelit);
  radek2->addSpacing(4);
  radek2->addWidget(popisVelikost);
  radek2->addWidget(VelikostMB);
  radek2->addSpacing(4);
  radek2->addWidget(popisPonechat);
  radek2->addWidget(Ponechat);
  radek2->addStretch(1);
  hlavni->insertLayout(hlavni->indexOf(Stav), radek2);
  ZpravySouboru = new QLabel(this);
  ZpravySouboru->setWordWrap(true);
  ZpravySouboru->setTextInteractionFlags(Qt::TextSelectableByMouse);
  ZpravySouboru->setStyleSheet(QStringLiteral("QLabel { color: #a00000; }"));
  ZpravySouboru->hide();
  hlavni->insertWidget(hlavni->indexOf(Stav), ZpravySouboru);
  connect(Rozdelit, &QComboBox::currentIndexChanged, this, [this] { UlozRozdeleni(); });
  connect(VelikostMB, &QSpinBox::valueChanged, this, [this] { UlozRozdeleni(); });
  connect(Ponechat, &QSpinBox::valueChanged, this, [this] { UlozRozdeleni(); });
  NactiRozdeleni();
}

void TFormPrubeh::NastavDatovySoubor(const std::string& jmeno) {
  datovySoubor_ = jmeno;
  // Its format decides the largest size.
  if (postaveno_) NactiRozdeleni();
}

bool TFormPrubeh::BehUlohy() const {
  return (mereni_.Stav() == TStavMereni::Bezi || mereni_.Stav() == TStavMereni::Zastavuje) &&
         mereni_.Uloha().Cfg.Uloha == uloha_ && mereni_.Uloha().Cfg.JmenoSouboru == datovySoubor_;
}

void TFormPrubeh::UkazDatovySoubor() {
  if (!DatovySoubor) return;
  // Measured: the file the last sample went to; else the one the next start
  // would begin.
  QString cesta;
  if (BehUlohy() && !souborBehu_.empty()) {
    cesta = QFile::decodeName(QByteArray::fromStdString(souborBehu_.lexically_normal()));
  } else if (!datovySoubor_.empty()) {
    TRozdeleniBehu r;
    r.Jmeno = CestaCp1250(DatovaCesta(datovySoubor_));
    r.Nastaveni = rozdeleni_;
    cesta = rozdeleni_.Rozdelit == TRozdeleni::Ne
                ? CelaDatovaCesta(datovySoubor_)
                : QFile::decodeName(QByteArray::fromStdString(
                      SystemovaCesta(r.Ukazat(TedMistni())).lexically_normal()));
  }
  if (cesta == DatovySoubor->text()) return;
  DatovySoubor->setText(cesta);
  DatovySoubor->setCursorPosition(0);
  DatovySoubor->setToolTip(cesta);
  OtevritSlozku->setEnabled(!cesta.isEmpty());
}

void TFormPrubeh::NactiRozdeleni() {
  rozdeleni_ = PrectiNastaveniSouboru(CestaVeSlozceProgramu(JmenoNastaveniSouboru), uloha_,
                                      datovySoubor_, &zpravyNastaveni_);
  plnimRozdeleni_ = true;
  Rozdelit->setCurrentIndex(static_cast<int>(rozdeleni_.Rozdelit));
  VelikostMB->setRange(1, MaxVelikostMB(FormatSouboru(datovySoubor_)));
  if (rozdeleni_.VelikostMB > 0) VelikostMB->setValue(rozdeleni_.VelikostMB);
  VelikostMB->setEnabled(rozdeleni_.Rozdelit == TRozdeleni::Velikost);
  Ponechat->setValue(rozdeleni_.Ponechat);
  Ponechat->setEnabled(rozdeleni_.Rozdelit != TRozdeleni::Ne);
  plnimRozdeleni_ = false;
  UkazDatovySoubor();
  UkazZpravySouboru();
}

void TFormPrubeh::UlozRozdeleni() {
  if (plnimRozdeleni_) return;
  TNastaveniSouboru n;
  n.Rozdelit = static_cast<TRozdeleni>(std::clamp(Rozdelit->currentIndex(), 0, 4));
  n.VelikostMB = VelikostMB->value();
  n.Ponechat = Ponechat->value();
  const std::filesystem::path soubor = CestaVeSlozceProgramu(JmenoNastaveniSouboru);
  std::vector<std::string> nezapsano;
  try {
    ZapisNastaveniSouboru(soubor, uloha_, n);
  } catch (const TChybaZapisu&) {
    nezapsano.push_back(ZQString(NelzeZapsat(DoQString(CestaCp1250(soubor)))));
  }
  zmenaZaBehu_ = zmenaZaBehu_ || BehUlohy();
  NactiRozdeleni();
  zpravyNastaveni_.insert(zpravyNastaveni_.begin(), nezapsano.begin(), nezapsano.end());
  UkazZpravySouboru();
}

void TFormPrubeh::UkazZpravySouboru() {
  if (!ZpravySouboru) return;
  std::vector<std::string> zpravy = zpravyNastaveni_;
  if (BehUlohy()) {
    if (!varovaniBehu_.empty()) zpravy.push_back(varovaniBehu_);
    for (const std::string& z : zpravyBehu_)
      if (std::find(zpravy.begin(), zpravy.end(), z) == zpravy.end()) zpravy.push_back(z);
    if (zmenaZaBehu_) zpravy.push_back(Cp1250("Změna rozdělení platí od příštího startu měření."));
  }
  const QString text = RadkyZprav(zpravy);
  if (text == ZpravySouboru->text() && ZpravySouboru->isHidden() == text.isEmpty()) return;
  ZpravySouboru->setText(text);
  ZpravySouboru->setVisible(!text.isEmpty());
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
