#include "Hlavni.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QShortcut>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QWheelEvent>

#include <filesystem>
#include <system_error>

#include "ArchivDat.h"
#include "Cisla.h"
#include "Cp1250.h"
#include "DefiniceKanalu.h"
#include "Linka.h"
#include "MereniModel.h"
#include "Modalni.h"
#include "OpravduSmazat.h"
#include "Profil.h"
#include "Prubeh.h"
#include "Publikace.h"
#include "Rozdeleni.h"
#include "Slozka.h"
#include "SouborExistuje.h"
#include "SouborovyDialog.h"
#include "Vzhled.h"

namespace {

QString T(const char* utf8) { return QString::fromUtf8(utf8); }

// Entries of the interface list and the names they stand for.
struct TPolozkaRozhrani {
  const char* text;
  std::string_view jmeno;
};
constexpr TPolozkaRozhrani PolozkyRozhrani[] = {
    {"Standardní COMx", RozhraniCOM},        {"ISA karta PCI-407", RozhraniPCI407},
    {"PCI karta PCI-1407", RozhraniPCI1407}, {"USB konvertor USB-1407", RozhraniUSB},
    {"LAN konvertor ZQ-1407U", RozhraniZQU},
};

// The list "Rychlost" holds linka::Rychlosti in their order; a speed outside
// it shows as the default one.
constexpr int IndexVychoziRychlosti = 1;
static_assert(linka::Rychlosti[IndexVychoziRychlosti] == linka::VychoziRychlost);

int RychlostNaIndex(int32_t rychlost) {
  for (size_t i = 0; i < linka::Rychlosti.size(); ++i)
    if (linka::Rychlosti[i] == rychlost) return static_cast<int>(i);
  return IndexVychoziRychlosti;
}

int32_t IndexNaRychlost(int index) {
  return index >= 0 && static_cast<size_t>(index) < linka::Rychlosti.size()
             ? linka::Rychlosti[static_cast<size_t>(index)]
             : linka::VychoziRychlost;
}

// Index of the list entry for an interface name; -1 for a name outside it.
int IndexRozhrani(const std::string& jmeno) {
  if (jmeno == RozhraniZQ) return 4;
  for (int i = 0; i < 5; ++i)
    if (jmeno == PolozkyRozhrani[i].jmeno) return i;
  return -1;
}

// Base address as shown: upper-case hexadecimal, at least three digits, "h".
QString AdresaNaText(int32_t adresa) {
  return QString::number(static_cast<uint32_t>(adresa), 16).toUpper().rightJustified(3, u'0') +
         u'h';
}

std::optional<int32_t> CeleZPole(const QLineEdit* e) { return TextNaCele(ZQString(e->text())); }

// Status text of a write the system refused.
std::string NelzeZapsat(const std::filesystem::path& cesta) {
  return Cp1250("Nelze zapsat do souboru \"") + CestaCp1250(cesta) + "\"";
}

// The open or save dialog of task files.
TSouborovyDotaz DotazNaUlohu(bool ulozit, const QString& jmeno) {
  TSouborovyDotaz d;
  d.Ulozit = ulozit;
  // "(*.*)" as the operator knows it; it shows names with an extension.
  d.Filtry = QStringList{T("Měřicí úlohy (*.zq)"), T("Všechny soubory (*.*)")};
  d.VychoziPripona = QStringLiteral("zq");
  d.Jmeno = jmeno;
  d.Slozka = QString::fromStdString(SlozkaProgramu().string());
  d.PtatSePrepsat = ulozit;
  return d;
}

// A file chosen in a file dialog lies in another folder than the program's
// (where every task is read from and written to).
bool JinaSlozka(const QString& zvoleny) {
  const QString slozka = QFileInfo(zvoleny).path();
  if (slozka == QStringLiteral(".")) return false;  // a bare name
  std::error_code ec;
  const auto a = std::filesystem::weakly_canonical(std::filesystem::path(slozka.toStdString()), ec);
  const auto b = std::filesystem::weakly_canonical(SlozkaProgramu(), ec);
  return a != b;
}

// The task name a file chosen in a dialog stands for (its bare file name).
std::string JmenoZDialogu(const QString& zvoleny) {
  return JmenoUlohy(ZQString(QFileInfo(zvoleny).fileName()));
}

const char* const JenVeSlozceProgramu = "Úlohy jsou jen ve složce programu: ";

// What a task file that was read lacked or held out of range, for the
// status bar; empty when nothing.  The controls show the defaults and
// replacements the readers put in, as they always did.
QString TextNalezu(const TCteniUlohy& cteni) {
  if (!cteni.Uloha || cteni.Nalezy.Prazdne()) return {};
  QString text = T("Soubor úlohy: ") + DoQString(cteni.Nalezy.Text());
  if (!cteni.Nalezy.Chybi.empty()) text += T(" – zobrazeny výchozí hodnoty");
  return text;
}

// The picture of the window's corner: a measured curve over a grid.
QPixmap Obrazek() {
  QPixmap p(97, 57);
  p.fill(Qt::white);
  QPainter g(&p);
  g.setRenderHint(QPainter::Antialiasing);
  g.setPen(QPen(QColor(205, 220, 235), 1));
  for (int x = 4; x < 97; x += 12) g.drawLine(x, 3, x, 53);
  for (int y = 5; y < 57; y += 12) g.drawLine(2, y, 94, y);
  QPainterPath krivka;
  krivka.moveTo(2, 40);
  krivka.cubicTo(20, 5, 34, 55, 52, 28);
  krivka.cubicTo(64, 12, 78, 44, 95, 16);
  g.setPen(QPen(QColor(0, 90, 170), 2.2));
  g.drawPath(krivka);
  QFont f = PismoFormulare();
  f.setBold(true);
  f.setPixelSize(15);
  g.setFont(f);
  g.setPen(QColor(200, 30, 30));
  g.drawText(QRect(0, 36, 93, 19), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("ZQ"));
  return p;
}

// Swallows the wheel so it never scrolls the grid.
class TBezKolecka : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject*, QEvent* e) override { return e->type() == QEvent::Wheel; }
};

}  // namespace

// ---------------------------------------------------------------------------
// Building the window.

TForm1::TForm1(QWidget* parent) : QWidget(parent) {
  mereni_.PridejPozorovatele(this);
  publikace_ = std::make_unique<TPublikaceMereni>(mereni_, "zq-datalogger",
                                                  CestaVeSlozceProgramu(JmenoNastaveniPublikace));
  // Made before the first task is shown and before any measurement, so that
  // it observes every measurement from its first read; its widgets are
  // built when it is first shown.
  prubeh_ = new TFormPrubeh(mereni_, this);
  Vytvor();
  prubeh_->NastavPublikaci(publikace_.get());
  // The field shows the latest text of a start (settings that cannot be
  // used come last); its tooltip all of them.
  publikace_->Hlaseni = [this](const std::string& text) {
    const QString t = DoQString(text);
    chybaPublikace_->setToolTip(
        chybaPublikace_->isHidden() ? t : chybaPublikace_->toolTip() + u'\n' + t);
    chybaPublikace_->setText(t);
    chybaPublikace_->show();
  };
  FormCreate();
}

TForm1::~TForm1() {
  // It observes the measurement, which goes before this window's children.
  delete prubeh_;
  prubeh_ = nullptr;
  mereni_.OdeberPozorovatele(this);
}

void TForm1::Vytvor() {
  setWindowTitle(T(" Zentrolix datalogger  (v.1.03)"));
  setFont(PismoFormulare());
  setFixedSize(818, 444);
  setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setAutoFillBackground(true);
  // Group boxes with their title on the frame line.
  setStyleSheet(StylFormulare());

  const QColor krem(255, 251, 240);
  auto stitek = [](QWidget* rodic, const char* text, int x, int y, bool modry = false) {
    auto* l = new QLabel(T(text), rodic);
    l->move(x, y);
    l->adjustSize();
    if (modry) l->setStyleSheet(QStringLiteral("color: #0000ff;"));
    return l;
  };
  auto pole = [](QWidget* rodic, int x, int y, int w) {
    auto* e = new QLineEdit(rodic);
    e->setGeometry(x, y, w, 21);
    return e;
  };
  auto tlacitko = [](QWidget* rodic, const char* text, int x, int y, int w) {
    auto* b = new QPushButton(T(text), rodic);
    b->setGeometry(x, y, w, 21);
    b->setAutoDefault(false);
    return b;
  };
  auto seznam = [](QWidget* rodic, int x, int y, int w,
                   std::initializer_list<const char*> polozky) {
    auto* c = new QComboBox(rodic);
    c->setGeometry(x, y, w, 21);
    for (const char* p : polozky) c->addItem(T(p));
    return c;
  };
  auto skupina = [](QWidget* rodic, const char* text, int x, int y, int w, int h) {
    auto* g = new QGroupBox(T(text), rodic);
    g->setGeometry(x, y, w, h);
    return g;
  };

  Panel5 = new QFrame(this);
  Panel5->setGeometry(8, 13, 113, 75);
  Panel5->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel5->setAutoFillBackground(true);
  Panel5->setPalette(QPalette(Qt::white));
  Image1 = new QLabel(Panel5);
  Image1->setGeometry(8, 9, 97, 57);
  Image1->setPixmap(Obrazek());

  GroupBox5 = skupina(this, " Měřicí úloha ", 128, 8, 329, 81);
  Panel4 = new QFrame(GroupBox5);
  Panel4->setGeometry(8, 16, 313, 21);
  Panel4->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel4->setAutoFillBackground(true);
  {
    QPalette pal = Panel4->palette();
    pal.setColor(QPalette::Window, krem);
    Panel4->setPalette(pal);
  }
  Label18 = new QLabel(Panel4);
  Label18->setGeometry(4, 2, 305, 17);
  Label18->setStyleSheet(QStringLiteral("color: #0000ff;"));
  Button5 = tlacitko(GroupBox5, "Nová úloha", 8, 48, 75);
  Button6 = tlacitko(GroupBox5, "Otevřít", 96, 48, 75);
  Button7 = tlacitko(GroupBox5, "Uložit", 184, 48, 75);

  GroupBox1 = skupina(this, " Připojení modulů ", 8, 96, 449, 105);
  Label9 = stitek(GroupBox1, "Rozhraní", 8, 20);
  ComboBox3 = seznam(GroupBox1, 64, 16, 177,
                     {PolozkyRozhrani[0].text, PolozkyRozhrani[1].text, PolozkyRozhrani[2].text,
                      PolozkyRozhrani[3].text, PolozkyRozhrani[4].text});
  Panel1 = new QFrame(GroupBox1);
  Panel1->setGeometry(8, 48, 249, 49);
  Label1 = stitek(Panel1, "IP adresa", 0, 4);
  Edit1 = pole(Panel1, 56, 0, 89);
  Label3 = stitek(Panel1, "UDP port", 152, 4);
  Edit2 = pole(Panel1, 200, 0, 49);
  Label11 = stitek(Panel1, "LAN timeout [ms]", 0, 28);
  Edit6 = pole(Panel1, 96, 24, 81);
  Panel2 = new QFrame(GroupBox1);
  Panel2->setGeometry(8, 48, 249, 49);
  Label10 = stitek(Panel2, "Číslo portu COMx", 0, 4);
  Edit5 = pole(Panel2, 96, 0, 81);
  Panel3 = new QFrame(GroupBox1);
  Panel3->setGeometry(8, 48, 249, 49);
  Label12 = stitek(Panel3, "Bázová adresa", 0, 4);
  Edit7 = pole(Panel3, 96, 0, 73);
  Label13 = stitek(GroupBox1, "Linka RS-485", 352, 8);
  Label2 = stitek(GroupBox1, "Rychlost", 296, 28);
  ComboBox2 = seznam(GroupBox1, 352, 24, 89,
                     {"4800 Bd", "9600 Bd", "19200 Bd", "38400 Bd", "57600 Bd", "115200 Bd"});
  Label14 = stitek(GroupBox1, "Timeout [ms]", 280, 52);
  Edit8 = pole(GroupBox1, 352, 48, 89);
  Label15 = stitek(GroupBox1, "Opakování", 288, 76);
  Edit9 = pole(GroupBox1, 352, 72, 89);

  GroupBox2 = skupina(this, " Konfigurace měření ", 8, 208, 449, 169);
  Label4 = stitek(GroupBox2, "Perioda měření", 8, 20);
  ComboBox1 = seznam(GroupBox2, 104, 16, 73, {});
  for (int i = 0; i < PocetPeriod; ++i) ComboBox1->addItem(DoQString(PeriodaText(i)));
  Label8 = stitek(GroupBox2, "Počet definovaných kanálů", 264, 20);
  Label16 = stitek(GroupBox2, "", 408, 20, true);
  Label16->resize(33, 13);
  Label17 = stitek(GroupBox2, "Při chybě měření", 8, 48);
  ComboBox4 = seznam(GroupBox2, 104, 44, 169, {"nulovat hodnotu", "ponechat předchozí hodnotu"});
  Button4 = tlacitko(GroupBox2, "Definice kanálů", 352, 40, 89);
  Label5 = stitek(GroupBox2, "Jméno souboru", 8, 76);
  Edit3 = pole(GroupBox2, 104, 72, 305);
  Button1 = tlacitko(GroupBox2, "...", 416, 72, 25);
  GroupBox4 = skupina(GroupBox2, " Vložit do souboru ", 8, 104, 433, 57);
  auto zaskrt = [&](const char* text, int x) {
    auto* c = new QCheckBox(T(text), GroupBox4);
    c->move(x, 24);
    c->adjustSize();
    return c;
  };
  CheckBox1 = zaskrt("Záhlaví", 24);
  CheckBox2 = zaskrt("Index", 128);
  CheckBox3 = zaskrt("Datum", 200);
  CheckBox4 = zaskrt("Čas", 280);
  CheckBox5 = zaskrt("Chyba", 344);

  GroupBox3 = skupina(this, " Naměřené hodnoty  ", 464, 8, 345, 409);
  model_ = new TModelMereni(this);
  StringGrid1 = new QTableView(GroupBox3);
  StringGrid1->setGeometry(8, 16, 329, 341);
  StringGrid1->setModel(model_);
  StringGrid1->setSelectionMode(QAbstractItemView::NoSelection);
  StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  StringGrid1->setFocusPolicy(Qt::NoFocus);
  StringGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  StringGrid1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  StringGrid1->setFrameStyle(QFrame::Box | QFrame::Plain);
  StringGrid1->setShowGrid(true);
  StringGrid1->setWordWrap(false);
  StringGrid1->verticalHeader()->hide();
  StringGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  StringGrid1->verticalHeader()->setDefaultSectionSize(19);
  StringGrid1->horizontalHeader()->setFixedHeight(19);
  StringGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  StringGrid1->horizontalHeader()->setHighlightSections(false);
  StringGrid1->horizontalHeader()->setSectionsClickable(false);
  const int sirky[4] = {40, 100, 123, 43};
  for (int i = 0; i < 4; ++i) StringGrid1->setColumnWidth(i, sirky[i]);
  {
    QPalette pal = StringGrid1->palette();
    pal.setColor(QPalette::Base, krem);
    StringGrid1->setPalette(pal);
  }
  auto* bezKolecka = new TBezKolecka(StringGrid1);
  StringGrid1->viewport()->installEventFilter(bezKolecka);
  StringGrid1->installEventFilter(bezKolecka);
  // The trend window: the grid selects nothing, but a double-click on a
  // channel's row still names the channel.
  StringGrid1->setToolTip(
      T("Dvojklik na řádek kanálu nebo Ctrl+G otevře okno Průběh měření s grafem a stavem "
        "komunikace"));
  connect(StringGrid1, &QAbstractItemView::doubleClicked, this,
          [this](const QModelIndex& i) { OtevriPrubeh(i.row()); });
  auto* klavesa = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_G), this);
  connect(klavesa, &QShortcut::activated, this, [this] { OtevriPrubeh(); });
  Label6 = stitek(GroupBox3, "Uloženo", 16, 380);
  Label7 = stitek(GroupBox3, "0", 64, 380, true);
  Label7->resize(120, 13);
  Button2 = tlacitko(GroupBox3, "Start měření", 248, 376, 75);
  Button3 = tlacitko(this, "Konec", 192, 392, 75);

  StatusBar1 = new QStatusBar(this);
  StatusBar1->setGeometry(0, 444 - 19, 818, 19);
  StatusBar1->setSizeGripEnabled(false);
  stav_ = new QLabel(StatusBar1);
  StatusBar1->addWidget(stav_, 1);
  chybyZapisu_ = new QLabel(StatusBar1);
  chybyZapisu_->setStyleSheet(QStringLiteral("color: #c00000;"));
  StatusBar1->addPermanentWidget(chybyZapisu_);
  chybyZapisu_->hide();
  chybaPublikace_ = new QLabel(StatusBar1);
  chybaPublikace_->setStyleSheet(QStringLiteral("color: #c00000;"));
  StatusBar1->addPermanentWidget(chybaPublikace_);
  chybaPublikace_->hide();

  // Design-time selections.
  ComboBox3->setCurrentIndex(0);
  ComboBox2->setCurrentIndex(1);
  ComboBox1->setCurrentIndex(0);
  ComboBox4->setCurrentIndex(0);
  UkazPanely(0);

  connect(ComboBox3, &QComboBox::activated, this, &TForm1::ComboBox3Change);
  connect(Edit3, &QLineEdit::textChanged, this, &TForm1::Edit3Change);
  connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
  connect(Button3, &QPushButton::clicked, this, &TForm1::Button3Click);
  connect(Button4, &QPushButton::clicked, this, &TForm1::Button4Click);
  connect(Button5, &QPushButton::clicked, this, &TForm1::Button5Click);
  connect(Button6, &QPushButton::clicked, this, &TForm1::Button6Click);
  connect(Button7, &QPushButton::clicked, this, &TForm1::Button7Click);
}

// ---------------------------------------------------------------------------

void TForm1::FormCreate() {
  InitCFG(CFG);
  TPoleKanal k;
  InitKanaly(k);
  PrectiNastaveni(CFG);
  // A remembered name with a folder part would lead out of the program's
  // folder: the bare name is used, and the operator is told.
  QString zprava;
  if (!CFG.Uloha.empty() && JmenoUlohy(CFG.Uloha) != CFG.Uloha) {
    const std::string jmeno = JmenoUlohy(CFG.Uloha);
    zprava = T("Jméno úlohy \"") + DoQString(CFG.Uloha) + T("\" v souboru ") +
             DoQString(JmenoNastaveni) + T(" obsahuje složku, použito jméno \"") +
             DoQString(jmeno) + T("\" ve složce programu");
    CFG.Uloha = jmeno;
  }
  const TCteniUlohy cteni = PrectiCelouUlohu(CFG, k);
  // The run-time flags start cleared and the stop time-out at 1000 ms: the
  // measurement object begins that way.
  UkazUlohu(k);
  // What the task file lacked or held out of range comes first: it is what
  // the operator sees in the controls now.
  if (const QString nalezy = TextNalezu(cteni); !nalezy.isEmpty())
    zprava = zprava.isEmpty() ? nalezy : nalezy + T("; ") + zprava;
  // The user's folder could not be used: the operator learns where tasks and
  // data go instead before anything is saved there.
  if (const std::string upozorneni = UpozorneniSlozkyProgramu(); !upozorneni.empty())
    zprava = zprava.isEmpty() ? DoQString(upozorneni) : zprava + T("; ") + DoQString(upozorneni);
  if (!zprava.isEmpty()) NastavStav(zprava);
}

void TForm1::UkazUlohu(const TPoleKanal& kanaly) {
  Kanaly.Nahrad(kanaly);
  ZapisOkno(CFG);
  Label7->setText(QStringLiteral("0"));
  InitOknoMereni(kanaly, CFG.PocetKanalu);
  prubeh_->NastavUlohu(CFG.Uloha, CFG.PocetKanalu, TZmenaUlohy::Jina);
}

void TForm1::OtevriPrubeh(int kanal) { prubeh_->Ukaz(kanal); }

void TForm1::UkazPanely(int index) {
  Panel1->setVisible(index == 4);
  Panel2->setVisible(index == 0);
  Panel3->setVisible(index == 1);
}

void TForm1::ComboBox3Change(int index) { UkazPanely(index); }

void TForm1::ZapisOkno(const TCFG& u) {
  Label18->setText(DoQString(u.Uloha));
  const int r = IndexRozhrani(u.Rozhrani);
  if (r >= 0) {
    ComboBox3->setCurrentIndex(r);
    UkazPanely(r);
  }
  Edit1->setText(DoQString(u.IPAdresa));
  Edit2->setText(QString::number(u.UDPPort));
  Edit3->setText(DoQString(u.JmenoSouboru));
  Label16->setText(QString::number(u.PocetKanalu));
  Edit5->setText(QString::number(u.PortCOM));
  Edit6->setText(QString::number(u.LANTimeout));
  Edit7->setText(AdresaNaText(u.BazovaAdresa));
  Edit8->setText(QString::number(u.RS485Timeout));
  Edit9->setText(QString::number(u.RS485Opakovani));
  ComboBox1->setCurrentIndex(u.Perioda >= 0 && u.Perioda < ComboBox1->count() ? u.Perioda : -1);
  ComboBox2->setCurrentIndex(RychlostNaIndex(u.RS485Rychlost));
  ComboBox4->setCurrentIndex(
      u.ChybovaHodnota >= 0 && u.ChybovaHodnota < ComboBox4->count() ? u.ChybovaHodnota : -1);
  CheckBox1->setChecked(u.Volby & VolbaZahlavi);
  CheckBox2->setChecked(u.Volby & VolbaIndex);
  CheckBox3->setChecked(u.Volby & VolbaDatum);
  CheckBox4->setChecked(u.Volby & VolbaCas);
  CheckBox5->setChecked(u.Volby & VolbaChyba);
}

bool TForm1::PrectiOkno(TCFG& u) {
  bool platne = true;
  const int r = ComboBox3->currentIndex();
  u.Rozhrani = std::string(r >= 0 && r < 5 ? PolozkyRozhrani[r].jmeno : RozhraniCOM);

  u.IPAdresa = ZQString(Edit1->text());
  if (auto v = CeleZPole(Edit2))
    u.UDPPort = *v;
  else
    platne = false;
  u.JmenoSouboru = ZQString(Edit3->text());

  auto cele = [&](QLineEdit* e, int32_t& pole) {
    if (auto v = CeleZPole(e))
      pole = *v;
    else
      platne = false;
  };
  cele(Edit5, u.PortCOM);
  cele(Edit6, u.LANTimeout);
  if (!AdresaZTextu(ZQString(Edit7->text()), u.BazovaAdresa)) platne = false;
  cele(Edit8, u.RS485Timeout);
  cele(Edit9, u.RS485Opakovani);

  // A period index with no entry in the list (11 and 12 pass the task
  // file's check) stays as it is rather than turning into -1.
  if (ComboBox1->currentIndex() >= 0) u.Perioda = ComboBox1->currentIndex();
  u.RS485Rychlost = IndexNaRychlost(ComboBox2->currentIndex());
  u.ChybovaHodnota = ComboBox4->currentIndex();
  u.Volby = (CheckBox1->isChecked() ? VolbaZahlavi : 0) |
            (CheckBox2->isChecked() ? VolbaIndex : 0) | (CheckBox3->isChecked() ? VolbaDatum : 0) |
            (CheckBox4->isChecked() ? VolbaCas : 0) | (CheckBox5->isChecked() ? VolbaChyba : 0);

  // IP address, UDP port, data file and channel count are tested whatever
  // interface is chosen, by the same rules the headless logger applies.
  return platne && PlatnaUloha(u);
}

void TForm1::InitOknoMereni(const TPoleKanal& tabulka, int32_t n) {
  model_->Postav(tabulka, n);
  StringGrid1->clearSelection();
  StringGrid1->viewport()->update();
}

QString TForm1::Bunka(int sloupec, int radek) const {
  if (radek == 0) return model_->headerData(sloupec, Qt::Horizontal, Qt::DisplayRole).toString();
  return model_->data(model_->index(radek - 1, sloupec), Qt::DisplayRole).toString();
}

int TForm1::PocetRadku() const { return model_->rowCount() + 1; }

QString TForm1::TextStavu() const { return stav_->text(); }

QString TForm1::TextChybZapisu() const {
  return chybyZapisu_->isHidden() ? QString() : chybyZapisu_->text();
}

QString TForm1::TextChybyPublikace() const {
  return chybaPublikace_->isHidden() ? QString() : chybaPublikace_->text();
}

void TForm1::NastavStav(const QString& text) {
  stav_->setText(text);
  if (SledovaniStavu) SledovaniStavu(text);
}

void TForm1::NastavStavHned(const QString& text) {
  NastavStav(text);
  stav_->repaint();
}

bool TForm1::MereniBezi() const {
  return mereni_.Stav() == TStavMereni::Bezi || mereni_.Stav() == TStavMereni::Zastavuje;
}

// ---------------------------------------------------------------------------
// Data file.

namespace {
// The extension of the last path component, dot included; empty without one.
QString Pripona(const QString& jmeno) {
  const qsizetype lomitko = jmeno.lastIndexOf(u'/');
  const qsizetype tecka = jmeno.lastIndexOf(u'.');
  return tecka > lomitko ? jmeno.mid(tecka) : QString();
}
}  // namespace

void TForm1::Edit3Change(const QString& text) {
  // A bare name lands in the program's folder, which an installed program
  // keeps hidden in the user's home: the full path is a tooltip away.
  const std::string jmeno = ZQString(text);
  const QString cesta = CelaDatovaCesta(jmeno);
  const QString tip = cesta.isEmpty() ? QString() : T("Datový soubor: ") + cesta;
  Label5->setToolTip(tip);
  Edit3->setToolTip(tip);
  prubeh_->NastavDatovySoubor(jmeno);
  if (text.isEmpty()) return;
  CheckBox1->setEnabled(Pripona(text) != QStringLiteral(".dbf"));
}

void TForm1::Button1Click() {
  TSouborovyDotaz d;
  d.Ulozit = true;
  d.Filtry = QStringList{T("Datové soubory (*.txt)"), T("Datové soubory (*.csv)"),
                         T("Datové soubory (*.dbf)")};
  d.Jmeno = Edit3->text();
  d.IndexFiltru = priponaDat_ == QStringLiteral(".csv")   ? 2
                  : priponaDat_ == QStringLiteral(".dbf") ? 3
                                                          : 1;
  d.PtatSePrepsat = false;
  const TSouborovaOdpoved o = ZobrazSouborovyDialog(this, d);
  if (!o.Potvrzeno || o.Jmeno.isEmpty()) return;

  const QString pripona = o.IndexFiltru == 2   ? QStringLiteral(".csv")
                          : o.IndexFiltru == 3 ? QStringLiteral(".dbf")
                                               : QStringLiteral(".txt");
  priponaDat_ = pripona;

  QString jmeno = o.Jmeno;
  const QString x = Pripona(jmeno);
  // No extension, or one that is not a data file's (data.log becomes
  // data.log.txt): the filter's extension is appended.  Another data
  // file's extension is replaced by it; its own is kept.
  if (x == pripona) {
    // kept
  } else if (x == QStringLiteral(".txt") || x == QStringLiteral(".csv") ||
             x == QStringLiteral(".dbf")) {
    jmeno = jmeno.left(jmeno.size() - x.size()) + pripona;
  } else {
    jmeno += pripona;
  }
  Edit3->setText(jmeno);
}

// ---------------------------------------------------------------------------
// Task commands.

bool TForm1::UlozUlohu(const TCFG& u, std::string& chyba) {
  const std::filesystem::path cesta = CestaVeSlozceProgramu(JmenoUlohy(u.Uloha));
  try {
    if (ZapisCelouUlohu(u, Kanaly.Kopie())) return true;
    chyba = Cp1250("Soubor \"") + CestaCp1250(cesta) +
            Cp1250("\" neobsahuje měřicí úlohu, úloha do něj nebyla uložena");
  } catch (const TChybaZapisu&) {
    chyba = NelzeZapsat(cesta);
  }
  return false;
}

void TForm1::Button5Click() {
  TFormOpravduSmazat dotaz(this);
  if (ZobrazModalne(dotaz) != VysledekAno) return;
  InitCFG(CFG);
  TPoleKanal k;
  InitKanaly(k);
  UkazUlohu(k);
}

void TForm1::Button6Click() {
  const TSouborovaOdpoved o = ZobrazSouborovyDialog(this, DotazNaUlohu(false, Label18->text()));
  if (!o.Potvrzeno || o.Jmeno.isEmpty()) return;

  InitCFG(CFG);
  TPoleKanal k;
  InitKanaly(k);
  const std::string jmeno = JmenoZDialogu(o.Jmeno);
  Label18->setText(DoQString(jmeno));
  CFG.Uloha = jmeno;
  const TCteniUlohy cteni = PrectiCelouUlohu(CFG, k);
  const bool uloha = cteni.Uloha;
  UkazUlohu(k);

  // The operator is never shown the defaults without a word, and always
  // learns which file was read when it is not the one picked.
  const auto cesta = CestaVeSlozceProgramu(jmeno);
  const QString uvozena = u'"' + DoQString(CestaCp1250(cesta)) + u'"';
  std::error_code ec;
  QString zprava;
  if (uloha)
    zprava = T("načtena úloha ") + uvozena;
  else if (std::filesystem::exists(cesta, ec))
    zprava = T("Soubor ") + uvozena + T(" neobsahuje měřicí úlohu, zobrazena je výchozí úloha");
  else
    zprava = T("Soubor ") + uvozena + T(" neexistuje, zobrazena je výchozí úloha");
  const QString nalezy = TextNalezu(cteni);
  if (JinaSlozka(o.Jmeno)) {
    zprava[0] = zprava[0].toLower();
    zprava = T(JenVeSlozceProgramu) + zprava;
    NastavStav(nalezy.isEmpty() ? zprava : nalezy + T("; ") + zprava);
  } else if (!uloha) {
    NastavStav(zprava);
  } else if (!nalezy.isEmpty()) {
    NastavStav(nalezy);
  }
}

void TForm1::Button7Click() {
  const TSouborovaOdpoved o = ZobrazSouborovyDialog(this, DotazNaUlohu(true, Label18->text()));
  if (!o.Potvrzeno || o.Jmeno.isEmpty()) return;

  const std::string jmeno = JmenoZDialogu(o.Jmeno);
  Label18->setText(DoQString(jmeno));
  CFG.Uloha = jmeno;
  PrectiOkno(CFG);
  prubeh_->NastavUlohu(CFG.Uloha, CFG.PocetKanalu, TZmenaUlohy::Tataz);
  std::string chyba;
  if (!UlozUlohu(CFG, chyba))
    NastavStav(DoQString(chyba));
  else if (JinaSlozka(o.Jmeno))
    NastavStav(T(JenVeSlozceProgramu) + T("uloženo do \"") +
               DoQString(CestaCp1250(CestaVeSlozceProgramu(jmeno))) + u'"');
}

void TForm1::Button4Click() {
  PrectiOkno(CFG);
  TFormDefiniceKanalu dialog(this);
  dialog.PoleKanalu = Kanaly.Kopie();
  dialog.PocetKanalu = CFG.PocetKanalu;
  if (ZobrazModalne(dialog) != VysledekAno) return;
  Kanaly.Nahrad(dialog.PoleKanalu);
  CFG.PocetKanalu = dialog.PocetKanalu;
  ZapisOkno(CFG);
  InitOknoMereni(dialog.PoleKanalu, CFG.PocetKanalu);
  prubeh_->NastavUlohu(CFG.Uloha, CFG.PocetKanalu, TZmenaUlohy::Tataz);
}

// ---------------------------------------------------------------------------
// Closing.

void TForm1::Button3Click() { close(); }

void TForm1::UkonciNaSignal(int) {
  naSignal_ = true;
  PokusOUkonceni();
}

void TForm1::PokusOUkonceni() {
  // A modal dialog runs its own event loop inside one of our handlers: it is
  // closed (as through its frame, which every caller takes as a refusal)
  // and the close comes once that handler has returned.
  QWidget* modalni = QApplication::activeModalWidget();
  if ((modalni && modalni != this) || zaneprazdnen_) {
    if (auto* dialog = qobject_cast<QDialog*>(modalni))
      dialog->reject();
    else if (modalni && modalni != this)
      modalni->close();
    QTimer::singleShot(10, this, &TForm1::PokusOUkonceni);
    return;
  }
  close();
}

void TForm1::closeEvent(QCloseEvent* e) {
  // A close that arrives while a start or stop waits (its wait keeps the
  // window's messages flowing) is refused; the operator closes again after.
  if (zaneprazdnen_) {
    e->ignore();
    return;
  }
  if (FormClose())
    e->accept();
  else
    e->ignore();
}

bool TForm1::FormClose() {
  NastavStavHned(T("Probíhá ukončení programu ..."));
  if (mereni_.Bezi()) Stop(false);
  PrectiOkno(CFG);

  std::string chyba;
  bool ulozeno = true;
  try {
    ZapisNastaveni(CFG);
  } catch (const TChybaZapisu&) {
    chyba = NelzeZapsat(CestaVeSlozceProgramu(JmenoNastaveni));
    ulozeno = false;
  }
  if (ulozeno) ulozeno = UlozUlohu(CFG, chyba);
  // Nobody may be there to close the window a second time after a signal.
  if (ulozeno || ukoncitBezUlozeni_ || naSignal_) return true;

  // The first refused save keeps the window open so the operator can read
  // why; the next close ends the program without saving.
  ukoncitBezUlozeni_ = true;
  NastavStav(DoQString(chyba) + T(" – dalším zavřením okna program skončí bez uložení"));
  return false;
}

// ---------------------------------------------------------------------------
// Measurement: the button, and what the measurement reports.

void TForm1::Button2Click() {
  if (zaneprazdnen_) return;  // a click served while a start or stop waits
  zaneprazdnen_ = true;
  if (mereni_.Stav() == TStavMereni::Zastaveno)
    Start();
  else
    Stop(true);
  zaneprazdnen_ = false;
}

void TForm1::Start() {
  if (!PrectiOkno(CFG)) {
    NastavStav(T("Chyba zadaných parametrů"));
    return;
  }
  const int32_t n = CFG.PocetKanalu;

  // Split into a series (ZQ_soubory.ini), the file asked about is the one
  // of the period now; the trend window says what was wrong there.
  const TRozdeleniBehu rozdeleni =
      PripravRozdeleni(CestaVeSlozceProgramu(JmenoNastaveniSouboru), CFG.Uloha,
                       CestaCp1250(DatovaCesta(CFG.JmenoSouboru)), {SlozkaProgramu()},
                       CestaVeSlozceProgramu(JmenoUlohy(CFG.Uloha)));
  const std::string jmeno = rozdeleni.Nastaveni.Rozdelit == TRozdeleni::Ne
                                ? CFG.JmenoSouboru
                                : rozdeleni.Soubor(TedMistni());
  const TProbaSouboru proba = ProverDatovySoubor(jmeno, [this, &jmeno] {
    TFormSouborExistuje dotaz(this);
    dotaz.Soubor = jmeno;
    return ZobrazModalne(dotaz) == VysledekAno;
  });
  if (proba == TProbaSouboru::Nelze) NastavStav(DoQString(NelzeVytvorit(jmeno)));
  if (proba != TProbaSouboru::Ok) return;

  // Shown again by the start when the publishing's settings are still wrong.
  chybaPublikace_->hide();
  const TVysledekMereni v = mereni_.Start(CFG, 0, rozdeleni);
  if (!v.Uspech()) {
    NastavStav(DoQString(v.Text));
    return;
  }
  Label7->setText(QStringLiteral("0"));
  chybyZapisu_->clear();
  chybyZapisu_->hide();
  InitOknoMereni(Kanaly.Kopie(), n);
  Button2->setText(T("Stop měření"));
}

void TForm1::Stop(bool zBtn) {
  if (zBtn) NastavStavHned(T("Probíhá ukončení měření ..."));
  const TVysledekMereni v = mereni_.Zastav();
  if (zBtn) UkazKonec(v);
}

void TForm1::UkazKonec(const TVysledekMereni& v) {
  Button2->setText(T("Start měření"));
  NastavStavHned(v.Uspech() ? T("Měření ukončeno") : T("Měření ukončeno: ") + DoQString(v.Text));
}

void TForm1::Postup(const std::string& text) { NastavStavHned(DoQString(text)); }

void TForm1::MereniSkoncilo(const TVysledekMereni& v) { UkazKonec(v); }

void TForm1::KanalPrecten(const TPrecteno& p) {
  // The row of the channel read, nothing else: a pass costs the grid one
  // conversion per channel.
  if (model_->NastavHodnotu(p.Kanal, DoQString(p.Hodnota), QString::number(p.Chyba)))
    model_->Oznam(p.Kanal, p.Kanal);
  NastavStav(p.ChybaKomunikace ? T("Chyba komunikace (") + DoQString(p.PosledniChyba) + u')'
                               : T("Probíhá měření ..."));
}

void TForm1::VzorekZapsan(const TVzorekMereni& v, const TUlohaMereni&) {
  // The count shows samples taken, written or not.
  Label7->setText(QString::number(v.Poradi));
  if (v.Chyba.empty()) return;
  NastavStav(DoQString(v.Chyba));
  // The status bar keeps the writer's own text; this field says why.
  const QString proc = v.Pricina.empty() ? QString() : T(": ") + DoQString(v.Pricina);
  chybyZapisu_->setText(T("Nezapsané vzorky: ") + QString::number(mereni_.Nezapsano()) +
                        T(" (naposledy ") + DoQString(v.Cas) + T(" – ") + DoQString(v.Chyba) +
                        proc + u')');
  chybyZapisu_->show();
}
