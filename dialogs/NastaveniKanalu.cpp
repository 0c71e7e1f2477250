#include "NastaveniKanalu.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include <cmath>
#include <optional>

#include "Modalni.h"
#include "platform/Cisla.h"
#include "platform/Cp1250.h"
#include "platform/Mistni.h"

namespace {

constexpr int SirkaKlienta = 368;
constexpr int VyskaKlienta = 236;

// The formats the dialog offers, in the order of the list.
constexpr const char* Formaty[] = {"uint32", "float32", "bool32"};
constexpr int IndexBool32 = 2;

QString ChybaParametru() { return QString::fromUtf8("Chyba zadaných parametrů"); }

// One row of the group box: the label at left 16 and the entry control at
// left 136, both at the row's top and 21 pixels high, so the label's text
// sits level with the text in the field.
QLabel* PopisekRadku(const char* text, QWidget* skupina, int horni) {
  auto* popisek = new QLabel(QString::fromUtf8(text), skupina);
  popisek->setTextFormat(Qt::PlainText);
  popisek->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  popisek->setGeometry(16, horni, 118, 21);
  return popisek;
}

QLineEdit* PoleRadku(QWidget* skupina, int horni) {
  auto* pole = new QLineEdit(skupina);
  pole->setGeometry(136, horni, 89, 21);
  return pole;
}

// Either separator the operator typed becomes the regional one.
QString SjednotOddelovac(QString text, QChar oddelovac) {
  for (QChar& znak : text)
    if (znak == u'.' || znak == u',') znak = oddelovac;
  return text;
}

std::optional<int32_t> CeleZPole(const QLineEdit& pole) {
  return TextNaCele(pole.text().toStdString());
}

std::optional<double> CisloZPole(const QLineEdit& pole, char oddelovac) {
  const std::optional<double> cislo = TextNaDouble(pole.text().toStdString(), oddelovac);
  // An overflowing exponent would give an infinite constant, and every value
  // of the channel would follow it into the data file.
  if (cislo && !std::isfinite(*cislo)) return std::nullopt;
  return cislo;
}

}  // namespace

TFormNastaveniKanalu::TFormNastaveniKanalu(QWidget* parent)
    : TModalniFormular(parent, PriznakyPevnehoDialogu()) {
  setWindowTitle(QString::fromUtf8(" Nastavení kanálu"));
  setFixedSize(SirkaKlienta, VyskaKlienta);

  GroupBox1 = new QGroupBox(QString::fromUtf8(" Parametry kanálu "), this);
  GroupBox1->setGeometry(8, 8, 241, 201);

  Label7 = PopisekRadku("Název kanálu", GroupBox1, 20);
  Edit6 = PoleRadku(GroupBox1, 20);
  Label1 = PopisekRadku("Adresa modulu (0-254)", GroupBox1, 44);
  Edit1 = PoleRadku(GroupBox1, 44);
  Label2 = PopisekRadku("Periferie EDx (0-255)", GroupBox1, 68);
  Edit2 = PoleRadku(GroupBox1, 68);
  Label3 = PopisekRadku("Formát dat", GroupBox1, 92);
  ComboBox1 = new QComboBox(GroupBox1);
  ComboBox1->setEditable(false);
  for (const char* format : Formaty) ComboBox1->addItem(QString::fromLatin1(format));
  ComboBox1->setGeometry(136, 92, 89, 21);
  Label5 = PopisekRadku("Přepočtová konst. K", GroupBox1, 116);
  Edit4 = PoleRadku(GroupBox1, 116);
  Label6 = PopisekRadku("Přepočtová konst. Q", GroupBox1, 140);
  Edit5 = PoleRadku(GroupBox1, 140);
  Label4 = PopisekRadku("Desetinná místa (0-7)", GroupBox1, 164);
  Edit3 = PoleRadku(GroupBox1, 164);

  Button1 = new TTlacitko(QString::fromUtf8("Použít"), this);
  Button1->setGeometry(272, 136, 75, 21);
  Button2 = new TTlacitko(QString::fromUtf8("Zrušit"), this);
  Button2->setGeometry(272, 168, 75, 21);

  StatusBar1 = new TStavovyRadek(this);
  UmistiStavovyRadek(*StatusBar1, SirkaKlienta, VyskaKlienta);

  // The controls keep their form names.
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  Label7->setObjectName(QStringLiteral("Label7"));
  Label1->setObjectName(QStringLiteral("Label1"));
  Label2->setObjectName(QStringLiteral("Label2"));
  Label3->setObjectName(QStringLiteral("Label3"));
  Label5->setObjectName(QStringLiteral("Label5"));
  Label6->setObjectName(QStringLiteral("Label6"));
  Label4->setObjectName(QStringLiteral("Label4"));
  Edit6->setObjectName(QStringLiteral("Edit6"));
  Edit1->setObjectName(QStringLiteral("Edit1"));
  Edit2->setObjectName(QStringLiteral("Edit2"));
  ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
  Edit4->setObjectName(QStringLiteral("Edit4"));
  Edit5->setObjectName(QStringLiteral("Edit5"));
  Edit3->setObjectName(QStringLiteral("Edit3"));
  Button1->setObjectName(QStringLiteral("Button1"));
  Button2->setObjectName(QStringLiteral("Button2"));
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  // Tab order: the seven entries top to bottom, then the two buttons.
  QWidget* poradi[] = {Edit6, Edit1, Edit2, ComboBox1, Edit4, Edit5, Edit3, Button1, Button2};
  for (size_t i = 1; i < std::size(poradi); ++i) setTabOrder(poradi[i - 1], poradi[i]);
  Edit6->setFocus();

  connect(ComboBox1, &QComboBox::currentIndexChanged, this, [this] { ComboBox1Change(); });
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
}

void TFormNastaveniKanalu::FormShow() {
  const char oddelovac = Mistni().DesetinnyOddelovac;
  Edit1->setText(QString::number(unsigned{Kanal.Adresa}));
  Edit2->setText(QString::number(unsigned{Kanal.Periferie}));
  Edit3->setText(QString::number(Kanal.DesetinnaMista));
  Edit4->setText(QString::fromStdString(DoubleNaText(Kanal.KonstK, oddelovac)));
  Edit5->setText(QString::fromStdString(DoubleNaText(Kanal.KonstQ, oddelovac)));
  Edit6->setText(DoQString(Kanal.Nazev));
  // A stored format that is none of the three shows as the first item.
  int vybrany = 0;
  for (int i = 0; i < static_cast<int>(std::size(Formaty)); ++i)
    if (Kanal.Format == Formaty[i]) vybrany = i;
  ComboBox1->setCurrentIndex(vybrany);
  PravidloFormatu();
  Edit6->setFocus();
}

void TFormNastaveniKanalu::ComboBox1Change() { PravidloFormatu(); }

// A two-state value has no decimals and no scaling: the three pairs are
// greyed for "bool32", their texts kept for a switch back.
void TFormNastaveniKanalu::PravidloFormatu() {
  const bool ciselny = ComboBox1->currentIndex() != IndexBool32;
  for (QWidget* prvek :
       {static_cast<QWidget*>(Label4), static_cast<QWidget*>(Edit3), static_cast<QWidget*>(Label5),
        static_cast<QWidget*>(Edit4), static_cast<QWidget*>(Label6), static_cast<QWidget*>(Edit5)})
    prvek->setEnabled(ciselny);
}

void TFormNastaveniKanalu::Button1Click() {
  const char oddelovac = Mistni().DesetinnyOddelovac;
  const QChar qOddelovac = QChar::fromLatin1(oddelovac);
  // The fields show the normalised text even when the entries are refused.
  for (QLineEdit* pole : {Edit4, Edit5})
    if (!pole->text().isEmpty()) pole->setText(SjednotOddelovac(pole->text(), qOddelovac));

  const std::optional<int32_t> adresa = CeleZPole(*Edit1);
  const std::optional<int32_t> periferie = CeleZPole(*Edit2);
  const std::optional<int32_t> mista = CeleZPole(*Edit3);
  const std::optional<double> k = CisloZPole(*Edit4, oddelovac);
  const std::optional<double> q = CisloZPole(*Edit5, oddelovac);
  // Every field takes part, also the ones a "bool32" channel greys.  A
  // channel never leaves the dialog with a value its field cannot hold.
  if (!adresa || !periferie || !mista || !k || !q || *adresa < 0 || *adresa > 254 ||
      *periferie < 0 || *periferie > 255 || *mista < 0 || *mista > 7) {
    StatusBar1->NastavText(ChybaParametru());
    return;
  }

  Kanal.Nazev = ZQString(Edit6->text());
  Kanal.Adresa = static_cast<uint8_t>(*adresa);
  Kanal.Periferie = static_cast<uint8_t>(*periferie);
  Kanal.Format = Formaty[ComboBox1->currentIndex()];
  Kanal.DesetinnaMista = *mista;
  Kanal.KonstK = *k;
  Kanal.KonstQ = *q;
  done(VysledekAno);
}

void TFormNastaveniKanalu::Button2Click() { done(VysledekNe); }
