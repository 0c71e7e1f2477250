#include "OknoProhlizece.h"

#include <QAction>
#include <QBoxLayout>
#include <QChartView>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include <algorithm>

#include "Cisla.h"
#include "Cp1250.h"
#include "CteniDat.h"
#include "GrafKanalu.h"
#include "Mezipamet.h"
#include "Profil.h"
#include "PrubehData.h"
#include "Rada.h"
#include "Slozka.h"
#include "SouborovyDialog.h"
#include "Stupnice.h"

namespace fs = std::filesystem;

namespace {

QString T(const char* utf8) { return QString::fromUtf8(utf8); }

constexpr char KlicKanaly[] = "Kanaly";
constexpr char KlicOsaY[] = "OsaY";
// Channels plotted when nothing is remembered: more make a tangle.
constexpr int VychoziKanalu = 8;

std::vector<TZnameKlice> Zname() { return {{"", {KlicKanaly, KlicOsaY}}}; }

fs::path CestaNastaveni() { return CestaVeSlozceProgramu(JmenoNastaveniProhlizece); }

std::vector<int> CtiSeznam(const std::string& text) {
  std::vector<int> v;
  size_t od = 0;
  while (od < text.size()) {
    size_t carka = text.find(',', od);
    if (carka == std::string::npos) carka = text.size();
    if (const auto k = TextNaCele(std::string_view(text).substr(od, carka - od)); k && *k >= 0)
      v.push_back(*k);
    od = carka + 1;
  }
  return v;
}

}  // namespace

std::string SekceSouboru(const std::vector<fs::path>& soubory, bool rada) {
  if (soubory.empty()) return {};
  const fs::path& prvni = soubory.front();
  if (!rada && soubory.size() == 1) return CestaCp1250(fs::absolute(prvni));
  return CestaCp1250(fs::absolute(prvni).parent_path() / ZakladRady(prvni.filename().string()));
}

TOknoProhlizece::TOknoProhlizece(QWidget* rodic) : QMainWindow(rodic) {
  setWindowTitle(T("Prohlížeč dat"));
  cteni_ = new TCteniDat;

  auto* nabidka = menuBar()->addMenu(T("&Soubor"));
  OtevritSoubor = nabidka->addAction(T("&Otevřít soubor…"));
  OtevritSoubor->setShortcut(QKeySequence::Open);
  OtevritSoubor->setToolTip(T("Otevře jeden datový soubor (text, CSV nebo DBF)"));
  OtevritRadu = nabidka->addAction(T("Otevřít &řadu…"));
  OtevritRadu->setToolTip(
      T("Otevře všechny soubory úlohy rozdělené po dnech, týdnech, měsících či velikosti "
        "(zvolte kterýkoli z nich) jako jednu časovou osu"));
  nabidka->addSeparator();
  Sledovat = nabidka->addAction(T("&Sledovat zápis"));
  Sledovat->setCheckable(true);
  Sledovat->setChecked(true);
  Sledovat->setToolTip(
      T("Nové záznamy souboru, do kterého se právě zapisuje, se ukážou do sekundy"));
  nabidka->addSeparator();
  QAction* konec = nabidka->addAction(T("&Konec"));
  konec->setShortcut(QKeySequence::Quit);
  auto* lista = addToolBar(T("Soubor"));
  lista->setMovable(false);
  lista->addAction(OtevritSoubor);
  lista->addAction(OtevritRadu);
  lista->addAction(Sledovat);

  auto* deleni = new QSplitter(Qt::Horizontal, this);
  Kanaly = new QListWidget(deleni);
  Kanaly->setToolTip(T("Zaškrtnuté kanály se kreslí"));
  Kanaly->setMinimumWidth(Kanaly->fontMetrics().horizontalAdvance(QStringLiteral("M")) * 14);
  Graf = new TGrafKanalu(*cteni_, nullptr, deleni);
  Graf->ZapniHodnoty(*cteni_);
  deleni->addWidget(Kanaly);
  deleni->addWidget(Graf);
  deleni->setStretchFactor(1, 1);
  deleni->setSizes({240, 1000});
  setCentralWidget(deleni);
  // The plot above the table of values gets the most of the height.
  if (auto* svisle = qobject_cast<QSplitter*>(Graf->Graf->parentWidget()))
    svisle->setSizes({600, 170});

  Stav = new QLabel(this);
  Prubeh = new QProgressBar(this);
  Prubeh->setRange(0, 1000);
  Prubeh->setFormat(T("Načítá se %p %"));
  Prubeh->setMaximumWidth(260);
  Zrusit = new QPushButton(T("Zrušit"), this);
  Zrusit->setToolTip(T("Zastaví načítání; graf ukáže, co se načetlo"));
  statusBar()->addWidget(Stav, 1);
  statusBar()->addPermanentWidget(Prubeh);
  statusBar()->addPermanentWidget(Zrusit);
  Prubeh->hide();
  Zrusit->hide();

  connect(OtevritSoubor, &QAction::triggered, this, [this] { ZvolSoubor(false); });
  connect(OtevritRadu, &QAction::triggered, this, [this] { ZvolSoubor(true); });
  connect(konec, &QAction::triggered, this, &QWidget::close);
  connect(Sledovat, &QAction::toggled, cteni_, &TCteniDat::Sleduj);
  connect(Zrusit, &QPushButton::clicked, cteni_, &TCteniDat::ZrusIndexovani);
  connect(Kanaly, &QListWidget::itemChanged, this, &TOknoProhlizece::VyberZmenen);
  connect(Graf, &TGrafKanalu::OsaYZmenena, this, &TOknoProhlizece::UlozVolbu);
  connect(Graf, &TGrafKanalu::Zprava, this, [this](const QString& t) { Stav->setText(t); });
  connect(cteni_, &TCteniDat::Otevreno, this, &TOknoProhlizece::Otevreno);
  // One drawing for whatever came since the last: on a slow machine the
  // reading's answers could otherwise come faster than the plot draws, and
  // the window would do nothing else.
  connect(cteni_, &TCteniDat::Zmeneno, this, [this] {
    if (prekreslit_) return;
    prekreslit_ = true;
    QTimer::singleShot(0, this, [this] {
      prekreslit_ = false;
      Graf->Vykresli();
      if (!cteni_->Indexuje()) UkazStav();
    });
  });
  connect(cteni_, &TCteniDat::Zprava, this, [this](const QString& t) {
    zprava_ = t;
    UkazStav();
  });
  connect(cteni_, &TCteniDat::Prubeh, this, [this](qint64 hotovo, qint64 celkem) {
    if (!cteni_->Indexuje()) return;
    Prubeh->setValue(celkem > 0 ? static_cast<int>(hotovo * 1000 / celkem) : 0);
    Prubeh->show();
    Zrusit->show();
  });
  connect(cteni_, &TCteniDat::Indexovano, this, [this](bool zruseno) {
    Prubeh->hide();
    Zrusit->hide();
    if (zruseno) zprava_ = T("Načítání zrušeno: graf ukazuje, co se načetlo.");
    UkazStav();
  });

  const TProfil p(CestaNastaveni(), TKodovani::Utf8NeboCp1250);
  nezname_ = RadkyZprav(p.Nezname(Zname()));
  Stav->setText(nezname_.isEmpty() ? T("Otevřete datový soubor nebo řadu souborů úlohy.")
                                   : nezname_);
  resize(1200, 760);
}

TOknoProhlizece::~TOknoProhlizece() {
  // The plot asks the reading until it is gone.
  delete takeCentralWidget();
  delete cteni_;
}

void TOknoProhlizece::ZvolSoubor(bool rada) {
  TSouborovyDotaz d;
  d.Filtry = QStringList{T("Datové soubory (*.txt *.csv *.dbf *.TXT *.CSV *.DBF)"),
                         T("Všechny soubory (*)")};
  if (!cteni_->Soubory().empty())
    d.Slozka = QString::fromStdString(cteni_->Soubory().front().parent_path().string());
  const TSouborovaOdpoved o = ZobrazSouborovyDialog(this, d);
  if (!o.Potvrzeno || o.Jmeno.isEmpty()) return;
  Otevri({fs::path(o.Jmeno.toStdString())}, rada);
}

void TOknoProhlizece::Otevri(const std::vector<fs::path>& soubory, bool rada, const fs::path& uloha,
                             const std::vector<int>& kanaly,
                             std::optional<std::pair<int64_t, int64_t>> rozsah) {
  if (soubory.empty()) return;
  TNastaveniCteni n;
  n.Uloha = uloha;
  n.CelaRada = rada;
  n.SlozkaMezipameti = SlozkaMezipameti();
  sekce_ = SekceSouboru(soubory, rada);
  zadaneKanaly_ = kanaly;
  zadanyRozsah_ = rozsah;
  zprava_.clear();
  plnim_ = true;
  Kanaly->clear();
  plnim_ = false;
  cteni_->NastavVybrane({});
  cteni_->NastavJmeno(CestaCp1250(fs::path(soubory.size() > 1 || rada
                                               ? ZakladRady(soubory.front().filename().string())
                                               : soubory.front().filename().string())));
  setWindowTitle(DoQString(cteni_->Jmeno()) + T(" – Prohlížeč dat"));
  Stav->setText(T("Otevírá se ") + DoQString(cteni_->Jmeno()) + T("…"));
  Prubeh->setValue(0);
  Prubeh->show();
  Zrusit->show();
  Graf->ZrusKurzory();
  cteni_->Otevri(soubory, n);
}

void TOknoProhlizece::Otevreno(const QString& chyba) {
  if (!chyba.isEmpty()) {
    Prubeh->hide();
    Zrusit->hide();
    zprava_ = T("Soubor nelze otevřít: ") + chyba;
    Stav->setText(zprava_);
    Graf->Vykresli();
    return;
  }
  const TRozlozeni& r = cteni_->Rozlozeni();
  const TProfil p(CestaNastaveni(), TKodovani::Utf8NeboCp1250);
  std::vector<int> vybrane = zadaneKanaly_;
  if (vybrane.empty() && p.MaKlic(sekce_, KlicKanaly))
    vybrane = CtiSeznam(p.CtiText(sekce_, KlicKanaly, ""));
  else if (vybrane.empty())
    for (int k = 0; k < std::min(r.PocetKanalu, VychoziKanalu); ++k) vybrane.push_back(k);
  Graf->NastavOsuY(p.CtiCislo(sekce_, KlicOsaY, 0));
  plnim_ = true;
  for (int k = 0; k < r.PocetKanalu; ++k) {
    auto* polozka = new QListWidgetItem(
        QStringLiteral("Ch") + QString::number(k) + u' ' + DoQString(cteni_->NazevKanalu(k)),
        Kanaly);
    polozka->setData(Qt::DecorationRole, BarvaKanalu(k));
    polozka->setCheckState(std::find(vybrane.begin(), vybrane.end(), k) != vybrane.end()
                               ? Qt::Checked
                               : Qt::Unchecked);
  }
  plnim_ = false;
  VyberZmenen();
  if (zadanyRozsah_)
    Graf->Priblizi(static_cast<double>(zadanyRozsah_->first) * 1000,
                   static_cast<double>(zadanyRozsah_->second) * 1000);
  else
    Graf->ZrusPriblizeni();
}

void TOknoProhlizece::VyberZmenen() {
  if (plnim_) return;
  std::vector<int> vybrane;
  for (int i = 0; i < Kanaly->count(); ++i)
    if (Kanaly->item(i)->checkState() == Qt::Checked) vybrane.push_back(i);
  if (vybrane == cteni_->Vybrane() && Kanaly->count() > 0) return;
  cteni_->NastavVybrane(vybrane);
  Graf->Vykresli();
  UlozVolbu();
}

void TOknoProhlizece::UlozVolbu() {
  if (sekce_.empty() || !cteni_->JeOtevreno()) return;
  std::string kanaly;
  for (int k : cteni_->Vybrane()) kanaly += (kanaly.empty() ? "" : ",") + CeleNaText(k);
  try {
    TProfil p(CestaNastaveni(), TKodovani::Utf8NeboCp1250);
    p.ZapisText(sekce_, KlicKanaly, kanaly);
    p.ZapisCislo(sekce_, KlicOsaY, Graf->IndexOsyY());
    p.Uloz();
  } catch (const TChybaZapisu& e) {
    Stav->setText(QString::fromUtf8(e.what()));
  }
}

void TOknoProhlizece::UkazStav() {
  if (!cteni_->JeOtevreno()) return;
  QString t = T("Záznamů: ") + QString::number(cteni_->PocetZaznamu());
  if (cteni_->Soubory().size() > 1)
    t += T(" v ") + QString::number(cteni_->Soubory().size()) + T(" souborech");
  if (!cteni_->Poznamky().empty())
    t += T("; poznámek čtení: ") + QString::number(cteni_->Poznamky().size());
  if (cteni_->Sleduje()) t += T("; sleduje se zápis");
  if (!zprava_.isEmpty()) t += T(". ") + zprava_;
  if (!nezname_.isEmpty()) t += u'\n' + nezname_;
  Stav->setText(t);
  QStringList poznamky;
  for (const std::string& p : cteni_->Poznamky()) poznamky << DoQString(p);
  Stav->setToolTip(poznamky.join(u'\n'));
}
