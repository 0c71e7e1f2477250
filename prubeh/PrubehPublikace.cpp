#include "PrubehPublikace.h"

#include <QComboBox>
#include <QDateTime>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

#include "Cp1250.h"
#include "Profil.h"
#include "PrubehData.h"
#include "Publikace.h"
#include "Slozka.h"

namespace {
QString T(const char* utf8) { return QString::fromUtf8(utf8); }
}  // namespace

TKartaPublikace::TKartaPublikace(QWidget* rodic) : QWidget(rodic) {
  auto* svisly = new QVBoxLayout(this);
  svisly->setContentsMargins(8, 8, 8, 8);
  auto* uvod = new QLabel(
      T("Každý vzorek datového souboru se odešle brokeru MQTT. Co broker nepotvrdí, čeká ve "
        "frontě na disku a odejde, až bude spojení. Prázdný server: publikace vypnuta. Změny "
        "platí od příštího spuštění měření."),
      this);
  uvod->setWordWrap(true);
  svisly->addWidget(uvod);

  auto* formular = new QFormLayout;
  formular->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
  Server = new QLineEdit(this);
  Server->setPlaceholderText(T("vypnuto"));
  Port = new QSpinBox(this);
  Port->setRange(1, 65535);
  Port->setValue(1883);
  Tema = new QLineEdit(this);
  Tema->setPlaceholderText(QStringLiteral("zentrolix/") + QString::fromStdString(JmenoStroje()));
  Klient = new QLineEdit(this);
  Uzivatel = new QLineEdit(this);
  Heslo = new QLineEdit(this);
  Heslo->setEchoMode(QLineEdit::Password);
  CA = new QLineEdit(this);
  CA->setPlaceholderText(T("bez TLS"));
  CA->setToolTip(T("Soubor certifikátu CA (PEM): spojení pak jde přes TLS"));
  Certifikat = new QLineEdit(this);
  Certifikat->setPlaceholderText(T("bez certifikátu klienta"));
  Certifikat->setToolTip(T("Certifikát klienta (PEM), žádá-li jej broker; patří k němu klíč a CA"));
  Klic = new QLineEdit(this);
  Klic->setPlaceholderText(T("bez certifikátu klienta"));
  Klic->setToolTip(
      T("Soukromý klíč certifikátu klienta (PEM, bez hesla), čitelný jen pro vlastníka "
        "(chmod 600)"));
  Format = new QComboBox(this);
  Format->addItem(QStringLiteral("json"));
  Format->addItem(QStringLiteral("influx"));
  Format->setToolTip(T("json: objekt za vzorek; influx: InfluxDB line protocol, řádek za kanál"));
  FrontaMB = new QSpinBox(this);
  FrontaMB->setRange(1, 1048576);
  FrontaMB->setSuffix(QStringLiteral(" MB"));
  FrontaMB->setToolTip(
      T("Kolik místa na disku smí zabrat fronta nepotvrzených vzorků; když je "
        "plná, zahazují se nejstarší"));
  formular->addRow(T("Server:"), Server);
  formular->addRow(T("Port:"), Port);
  formular->addRow(T("Téma:"), Tema);
  formular->addRow(T("Klient:"), Klient);
  formular->addRow(T("Uživatel:"), Uzivatel);
  formular->addRow(T("Heslo:"), Heslo);
  formular->addRow(T("CA:"), CA);
  formular->addRow(T("Certifikát:"), Certifikat);
  formular->addRow(T("Klíč:"), Klic);
  formular->addRow(T("Formát:"), Format);
  formular->addRow(T("Fronta:"), FrontaMB);
  svisly->addLayout(formular);

  auto* tlacitka = new QHBoxLayout;
  Ulozit = new QPushButton(T("Uložit nastavení"), this);
  Zprava = new QLabel(this);
  Zprava->setWordWrap(true);
  tlacitka->addWidget(Ulozit);
  tlacitka->addWidget(Zprava, 1);
  svisly->addLayout(tlacitka);

  Stav = new QLabel(this);
  Stav->setWordWrap(true);
  Stav->setTextInteractionFlags(Qt::TextSelectableByMouse);
  Stav->setFrameStyle(QFrame::StyledPanel);
  Stav->setMargin(6);
  svisly->addWidget(Stav);
  svisly->addStretch(1);

  connect(Ulozit, &QPushButton::clicked, this, [this] { Uloz(); });
}

void TKartaPublikace::NastavPublikaci(const TPublikaceMereni* p) {
  publikace_ = p;
  Nacti();
}

void TKartaPublikace::NastavUlohu(const std::string& uloha) {
  uloha_ = uloha;
  Klient->setPlaceholderText(
      QString::fromStdString(KlientPublikace(TNastaveniPublikace{}, "zq-datalogger", uloha_)));
}

void TKartaPublikace::Nacti() {
  if (!publikace_) return;
  std::vector<std::string> nezname;
  const TNastaveniPublikace n = PrectiNastaveniPublikace(publikace_->Soubor(), &nezname);
  Zprava->setText(RadkyZprav(nezname));
  Server->setText(DoQString(n.Server));
  Port->setValue(std::clamp(n.Port, 1, 65535));
  Tema->setText(DoQString(n.Tema));
  Klient->setText(DoQString(n.Klient));
  Uzivatel->setText(DoQString(n.Uzivatel));
  Heslo->setText(DoQString(n.Heslo));
  CA->setText(DoQString(n.CA));
  Certifikat->setText(DoQString(n.Certifikat));
  Klic->setText(DoQString(n.Klic));
  Format->setCurrentIndex(FormatZpravy(n) == TFormatZpravy::Influx ? 1 : 0);
  FrontaMB->setValue(std::clamp(n.FrontaMB, 1, 1048576));
}

bool TKartaPublikace::Uloz() {
  if (!publikace_) return false;
  TNastaveniPublikace n;
  n.Server = ZQString(Server->text().trimmed());
  n.Port = Port->value();
  n.Tema = ZQString(Tema->text().trimmed());
  n.Klient = ZQString(Klient->text().trimmed());
  n.Uzivatel = ZQString(Uzivatel->text());
  n.Heslo = ZQString(Heslo->text());
  n.CA = ZQString(CA->text().trimmed());
  n.Certifikat = ZQString(Certifikat->text().trimmed());
  n.Klic = ZQString(Klic->text().trimmed());
  n.Format = Format->currentText().toStdString();
  n.FrontaMB = FrontaMB->value();
  if (const std::string chyba = ChybaNastaveni(n); !chyba.empty()) {
    Zprava->setText(T("Neuloženo: ") + DoQString(chyba));
    return false;
  }
  try {
    ZapisNastaveniPublikace(publikace_->Soubor(), n);
  } catch (const TChybaZapisu&) {
    Zprava->setText(NelzeZapsat(DoQString(CestaCp1250(publikace_->Soubor()))));
    return false;
  }
  Zprava->setText(n.Zapnuto() ? T("Uloženo; platí od příštího spuštění měření.")
                              : T("Uloženo; publikace je vypnuta."));
  return true;
}

void TKartaPublikace::Obnov() {
  if (!publikace_) return;
  const TStavPublikace s = publikace_->Stav();
  QString text;
  if (!publikace_->ChybaNastaveni().empty())
    text = T("Publikace vypnuta: ") + DoQString(publikace_->ChybaNastaveni());
  else if (!s.Zapnuto)
    text = T("Publikace neběží (vypnuta, nebo se od spuštění programu neměřilo).");
  else
    text =
        (s.Pripojeno ? T("Spojeno s ") : T("Nespojeno s ")) + DoQString(s.Broker) +
        (s.Pripojeno && !s.Protokol.empty() ? T(" (") + DoQString(s.Protokol) + ")" : QString()) +
        T("\nVzorků ve frontě: ") + QString::number(s.Ceka) + T("\nOdesláno: ") +
        QString::number(s.Odeslano) + T(", zahozeno: ") + QString::number(s.Zahozeno) +
        T("\nNaposledy potvrzen: ") +
        (s.PotvrzenoPoradi < 0 ? T("zatím žádný vzorek")
                               : T("vzorek ") + QString::number(s.PotvrzenoPoradi) + T(" z ") +
                                     QDateTime::fromMSecsSinceEpoch(s.PotvrzenoCasMs)
                                         .toString(QStringLiteral("d.M.yyyy H:mm:ss"))) +
        (s.Chyba.empty() ? QString() : T("\nPoslední chyba: ") + DoQString(s.Chyba));
  // The latest texts, as the logger prints them: a drop or a failure is
  // seen here as it happens.
  constexpr size_t Hlaseni = 3;
  if (s.Zapnuto && !s.Oznameni.empty()) {
    text += T("\nHlášení:");
    for (size_t i = s.Oznameni.size() > Hlaseni ? s.Oznameni.size() - Hlaseni : 0;
         i < s.Oznameni.size(); ++i)
      text += QStringLiteral("\n  ") +
              QDateTime::fromMSecsSinceEpoch(s.Oznameni[i].CasMs)
                  .toString(QStringLiteral("d.M.yyyy H:mm:ss")) +
              QStringLiteral("  ") + DoQString(s.Oznameni[i].Text);
  }
  if (Stav->text() != text) Stav->setText(text);
}
