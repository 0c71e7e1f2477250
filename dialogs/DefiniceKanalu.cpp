#include "DefiniceKanalu.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>

#include "Modalni.h"
#include "NastaveniKanalu.h"
#include "platform/Cisla.h"
#include "platform/Cp1250.h"
#include "platform/Mistni.h"

namespace {

constexpr int SirkaKlienta = 743;
constexpr int VyskaKlienta = 346;
constexpr int PocetSloupcu = 8;

struct TSloupec {
  const char* Zahlavi;
  int Sirka;
};
constexpr TSloupec Sloupce[PocetSloupcu] = {
    {"Kanál", 45},  {"Název", 128},   {"Adresa", 52},   {"Periferie", 50},
    {"Formát", 51}, {"Konst. K", 74}, {"Konst. Q", 65}, {"Desetinná místa", 92},
};

QString PlnyText() { return QString::fromUtf8("Nelze přidat další kanál (max. 256 kanálů)"); }

// The seven fields the settings dialog edits; the others stay as they were.
void PrepisUpravovanaPole(TKanal& cil, const TKanal& zdroj) {
  cil.Nazev = zdroj.Nazev;
  cil.Adresa = zdroj.Adresa;
  cil.Periferie = zdroj.Periferie;
  cil.Format = zdroj.Format;
  cil.DesetinnaMista = zdroj.DesetinnaMista;
  cil.KonstK = zdroj.KonstK;
  cil.KonstQ = zdroj.KonstQ;
}

TKanal VychoziNovyKanal() {
  TKanal k;
  k.Nazev = Cp1250("Kanál 0");
  k.Adresa = 1;
  k.Periferie = 0;
  k.Format = "uint32";
  k.DesetinnaMista = 0;
  k.KonstK = 1.0;
  k.KonstQ = 0.0;
  return k;
}

// Only the left button's double-click stands for "Změnit".
bool LevyDvojklik(const QMouseEvent& udalost) { return udalost.button() == Qt::LeftButton; }

}  // namespace

TMrizkaKanalu::TMrizkaKanalu(QWidget* parent) : QTableWidget(parent) {
  setColumnCount(PocetSloupcu);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setShowGrid(true);
  setWordWrap(false);
  // Tab leaves the grid for the buttons instead of walking its cells.
  setTabKeyNavigation(false);
  setCornerButtonEnabled(false);
  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setMinimumSectionSize(1);
  verticalHeader()->setDefaultSectionSize(21);
  horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  horizontalHeader()->setSectionsClickable(false);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setMinimumSectionSize(1);
  horizontalHeader()->setFixedHeight(21);
  for (int s = 0; s < PocetSloupcu; ++s) setColumnWidth(s, Sloupce[s].Sirka);
  // The wheel over the scroll bar is swallowed as well as over the cells.
  verticalScrollBar()->installEventFilter(this);
  // The header row is a widget of its own; its double-clicks are caught
  // on their way to it.
  horizontalHeader()->viewport()->installEventFilter(this);
}

// The wheel is handled by doing nothing: it neither scrolls the grid nor
// moves the selection.
void TMrizkaKanalu::wheelEvent(QWheelEvent* udalost) { udalost->accept(); }

// QTableWidget reports a double-click only on a cell; below the last row
// or right of the last column it takes it for a plain press.  That press
// leaves the selection as it was, so the signal comes after it.
void TMrizkaKanalu::mouseDoubleClickEvent(QMouseEvent* udalost) {
  QTableWidget::mouseDoubleClickEvent(udalost);
  if (LevyDvojklik(*udalost)) emit DblClick();
}

bool TMrizkaKanalu::eventFilter(QObject* objekt, QEvent* udalost) {
  if (objekt == verticalScrollBar() && udalost->type() == QEvent::Wheel) {
    wheelEvent(static_cast<QWheelEvent*>(udalost));
    return true;
  }
  if (objekt == horizontalHeader()->viewport() && udalost->type() == QEvent::MouseButtonDblClick &&
      LevyDvojklik(*static_cast<QMouseEvent*>(udalost))) {
    emit DblClick();
    return true;
  }
  return QTableWidget::eventFilter(objekt, udalost);
}

TFormDefiniceKanalu::TFormDefiniceKanalu(QWidget* parent)
    : TModalniFormular(parent, PriznakyPevnehoDialogu()) {
  setWindowTitle(QString::fromUtf8(" Definice měřených kanálů"));
  setFixedSize(SirkaKlienta, VyskaKlienta);

  GroupBox1 = new QGroupBox(QString::fromUtf8(" Přehled kanálů "), this);
  GroupBox1->setGeometry(8, 8, 601, 313);
  StringGrid1 = new TMrizkaKanalu(GroupBox1);
  StringGrid1->setGeometry(8, 18, 585, 287);
  QStringList zahlavi;
  for (const TSloupec& s : Sloupce) zahlavi << QString::fromUtf8(s.Zahlavi);
  StringGrid1->setHorizontalHeaderLabels(zahlavi);

  Label1 = NovyPopisek(QString::fromUtf8("Počet kanálů"), this, 632, 16);
  Label2 = NovyPopisek(QStringLiteral("0"), this, 704, 16);
  QPalette modra = Label2->palette();
  modra.setColor(QPalette::WindowText, Qt::blue);
  Label2->setPalette(modra);

  const struct {
    TTlacitko** Tlacitko;
    const char* Text;
    int Horni;
  } tlacitka[] = {{&Button1, "Nový", 88},    {&Button6, "Vložit", 120}, {&Button3, "Změnit", 152},
                  {&Button2, "Smazat", 184}, {&Button4, "Použít", 248}, {&Button5, "Zrušit", 280}};
  for (const auto& t : tlacitka) {
    *t.Tlacitko = new TTlacitko(QString::fromUtf8(t.Text), this);
    (*t.Tlacitko)->setGeometry(632, t.Horni, 89, 21);
  }

  StatusBar1 = new TStavovyRadek(this);
  UmistiStavovyRadek(*StatusBar1, SirkaKlienta, VyskaKlienta);

  // The controls keep their form names.
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
  Label1->setObjectName(QStringLiteral("Label1"));
  Label2->setObjectName(QStringLiteral("Label2"));
  Button1->setObjectName(QStringLiteral("Button1"));
  Button6->setObjectName(QStringLiteral("Button6"));
  Button3->setObjectName(QStringLiteral("Button3"));
  Button2->setObjectName(QStringLiteral("Button2"));
  Button4->setObjectName(QStringLiteral("Button4"));
  Button5->setObjectName(QStringLiteral("Button5"));
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  QWidget* poradi[] = {StringGrid1, Button1, Button6, Button3, Button2, Button4, Button5};
  for (size_t i = 1; i < std::size(poradi); ++i) setTabOrder(poradi[i - 1], poradi[i]);
  StringGrid1->setFocus();

  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button6, &QPushButton::clicked, this, [this] { Button6Click(); });
  connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  connect(Button4, &QPushButton::clicked, this, [this] { Button4Click(); });
  connect(Button5, &QPushButton::clicked, this, [this] { Button5Click(); });
  connect(StringGrid1, &TMrizkaKanalu::DblClick, this, [this] { StringGrid1DblClick(); });
}

int TFormDefiniceKanalu::VybranyRadek() const { return std::max(StringGrid1->currentRow(), 0) + 1; }

void TFormDefiniceKanalu::VyberRadek(int radek) {
  const int r = std::clamp(radek, 1, StringGrid1->rowCount()) - 1;
  StringGrid1->setCurrentCell(r, 0);
  StringGrid1->selectRow(r);
}

QString TFormDefiniceKanalu::TextBunky(int radek, int sloupec) const {
  if (radek == 0) {
    const QTableWidgetItem* z = StringGrid1->horizontalHeaderItem(sloupec);
    return z ? z->text() : QString();
  }
  const QTableWidgetItem* b = StringGrid1->item(radek - 1, sloupec);
  return b ? b->text() : QString();
}

int TFormDefiniceKanalu::PocetRadku() const { return StringGrid1->rowCount() + 1; }

void TFormDefiniceKanalu::NastavPocetRadku(int radku) {
  StringGrid1->setRowCount(std::max(radku, 2) - 1);
}

void TFormDefiniceKanalu::VyplnRadek(int radek) {
  const TKanal& k = PoleKanalu[radek - 1];
  const char oddelovac = Mistni().DesetinnyOddelovac;
  const QString texty[PocetSloupcu] = {
      QStringLiteral("Ch%1").arg(radek - 1),
      DoQString(k.Nazev),
      QString::number(unsigned{k.Adresa}),
      QString::number(unsigned{k.Periferie}),
      DoQString(k.Format),
      QString::fromStdString(DoubleNaText(k.KonstK, oddelovac)),
      QString::fromStdString(DoubleNaText(k.KonstQ, oddelovac)),
      QString::number(k.DesetinnaMista),
  };
  for (int s = 0; s < PocetSloupcu; ++s) {
    QTableWidgetItem* bunka = StringGrid1->item(radek - 1, s);
    if (!bunka) {
      bunka = new QTableWidgetItem;
      // The label column looks fixed, like the header.
      if (s == 0) bunka->setBackground(StringGrid1->palette().button());
      StringGrid1->setItem(radek - 1, s, bunka);
    }
    bunka->setText(texty[s]);
  }
}

void TFormDefiniceKanalu::VyplnRadky() {
  for (int r = 1; r <= PocetKanalu; ++r) VyplnRadek(r);
}

void TFormDefiniceKanalu::UkazPocet() {
  Label2->setText(QString::number(PocetKanalu));
  Label2->adjustSize();
}

void TFormDefiniceKanalu::FormShow() {
  // A caller's count outside the table would address entries that do not
  // exist; it is held to what the table can take.
  PocetKanalu = std::clamp(PocetKanalu, 0, MaxKanalu);
  StringGrid1->clearContents();
  NastavPocetRadku(PocetKanalu + 1);
  VyplnRadky();
  UkazPocet();
  VyberRadek(1);
  StringGrid1->scrollToTop();
  StringGrid1->setFocus();

  NovyKanal = VychoziNovyKanal();
  if (PocetKanalu > 0) NovyKanal = PoleKanalu[PocetKanalu - 1];
}

bool TFormDefiniceKanalu::PlnySeznam() {
  if (PocetKanalu < MaxKanalu) return false;
  StatusBar1->NastavText(PlnyText());
  return true;
}

bool TFormDefiniceKanalu::UpravKanal(TKanal& kanal) {
  TFormNastaveniKanalu nastaveni(this);
  nastaveni.Kanal = kanal;
  if (ZobrazModalne(nastaveni) != VysledekAno) return false;
  kanal = nastaveni.Kanal;
  return true;
}

void TFormDefiniceKanalu::Button1Click() {
  if (PlnySeznam()) return;
  StatusBar1->Vymaz();
  TKanal upraveny = NovyKanal;
  if (UpravKanal(upraveny)) {
    ++PocetKanalu;
    const int n = PocetKanalu;
    PrepisUpravovanaPole(PoleKanalu[n - 1], upraveny);
    NovyKanal = upraveny;
    NastavPocetRadku(n + 1);
    VyplnRadek(n);
    VyberRadek(n);
    UkazPocet();
  }
  StatusBar1->Vymaz();
}

void TFormDefiniceKanalu::Button6Click() {
  if (PlnySeznam()) return;
  StatusBar1->Vymaz();
  const int p = PocetKanalu == 0 ? 0 : VybranyRadek() - 1;
  TKanal upraveny = NovyKanal;
  if (UpravKanal(upraveny)) {
    ++PocetKanalu;
    const int n = PocetKanalu;
    for (int k = n - 1; k > p; --k) PoleKanalu[k] = PoleKanalu[k - 1];
    PoleKanalu[p] = upraveny;
    NovyKanal = upraveny;
    NastavPocetRadku(n + 1);
    VyplnRadky();
    VyberRadek(p + 1);
    UkazPocet();
  }
  StatusBar1->Vymaz();
}

void TFormDefiniceKanalu::Button3Click() {
  if (PocetKanalu == 0) {
    StatusBar1->NastavText(QString::fromUtf8("Není zadán žádný kanál"));
    return;
  }
  StatusBar1->Vymaz();
  const int i = VybranyRadek() - 1;
  TKanal upraveny;
  PrepisUpravovanaPole(upraveny, PoleKanalu[i]);
  if (UpravKanal(upraveny)) {
    PrepisUpravovanaPole(PoleKanalu[i], upraveny);
    VyplnRadek(i + 1);
  }
  StatusBar1->Vymaz();
}

void TFormDefiniceKanalu::StringGrid1DblClick() { Button3Click(); }

void TFormDefiniceKanalu::Button2Click() {
  if (PocetKanalu == 0) return;
  const int p = VybranyRadek() - 1;
  const int radek = VybranyRadek();
  for (int k = p; k < PocetKanalu; ++k) PoleKanalu[k] = PoleKanalu[k + 1];
  --PocetKanalu;
  const int n = PocetKanalu;
  if (n > 0) {
    NastavPocetRadku(n + 1);
    VyplnRadky();
    VyberRadek(std::min(radek, n));
  } else {
    StringGrid1->clearContents();
    NastavPocetRadku(2);
    VyberRadek(1);
  }
  UkazPocet();
  StatusBar1->Vymaz();
}

void TFormDefiniceKanalu::Button4Click() { done(VysledekAno); }

void TFormDefiniceKanalu::Button5Click() { done(VysledekNe); }
