// Platform layer: code page, number texts, regional pictures, program folder
// and profile files, each checked against real bytes and real files.

#include <QCoreApplication>
#include <QLocale>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>

#include "Cisla.h"
#include "Cp1250.h"
#include "Knihovna.h"
#include "Mistni.h"
#include "Profil.h"
#include "Slozka.h"
#include "Umisteni.h"
#include "platform/BezPrav.h"

namespace fs = std::filesystem;

namespace {

bool Nedefinovany(int b) { return b == 0x81 || b == 0x83 || b == 0x88 || b == 0x90 || b == 0x98; }

std::string B(int b) { return std::string(1, static_cast<char>(b)); }

}  // namespace

class TestPlatform : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  fs::path Soubor(const char* jmeno) const { return fs::path(dir_.path().toStdString()) / jmeno; }

 private slots:
  // --- code page -----------------------------------------------------------
  void tabulkaOdpovidaQt() {
    QStringDecoder dekoder("windows-1250");
    QStringEncoder koder("windows-1250");
    QVERIFY(dekoder.isValid());
    for (int b = 0; b < 256; ++b) {
      const std::string bajt = B(b);
      if (Nedefinovany(b)) {
        QCOMPARE(DoQString(bajt), QString(QChar(0xFFFD)));
        QCOMPARE(Utf8(bajt), std::string("\xEF\xBF\xBD"));
        continue;
      }
      const QString qt = dekoder.decode(Q(bajt));
      QCOMPARE(DoQString(bajt), qt);
      QCOMPARE(QString::fromStdString(Utf8(bajt)), qt);
      // and back
      QCOMPARE(ZQString(qt), bajt);
      QCOMPARE(Cp1250(qt.toStdString()), bajt);
      QCOMPARE(Q(ZQString(qt)), QByteArray(koder.encode(qt)));
    }
  }

  void znakyMimoKodovouStranku() {
    QCOMPARE(Cp1250("a€b"), std::string("a\x80"
                                        "b"));
    QCOMPARE(Cp1250("Ωx"), std::string("?x"));          // Greek: not in the code page
    QCOMPARE(Cp1250("😀"), std::string("?"));            // outside the basic plane
    QCOMPARE(Cp1250("\xC3"), std::string("?"));         // cut sequence
    QCOMPARE(Cp1250("\xC0\x80z"), std::string("??z"));  // over-long NUL
    QCOMPARE(Cp1250(std::string_view("a\0b", 3)), std::string("a\0b", 3));
    QCOMPARE(ZQString(QString::fromUtf8("😀č")), std::string("?\xE8"));
    QCOMPARE(ZQString(QString(QChar(0xD800))), std::string("?"));  // lone surrogate
    QCOMPARE(Cp1250("Příliš žluťoučký kůň úpěl ďábelské ódy"),
             std::string("P\xF8\xEDli\x9A \x9Elu\x9Do\x75\xE8k\xFD k\xF9\xF2 \xFAp\xECl \xEF\xE1"
                         "belsk\xE9 \xF3"
                         "dy"));
  }

  void malaPismenaJakoQt() {
    // Every byte whose lower-case form Qt knows and the code page holds folds
    // to that byte; every other byte stays.
    for (int b = 0; b < 256; ++b) {
      if (Nedefinovany(b)) {
        QCOMPARE(int(MalePismeno1250(static_cast<unsigned char>(b))), b);
        continue;
      }
      const QString znak = DoQString(B(b));
      const std::string male = ZQString(znak.toLower());
      const int ocekavane =
          (male.size() == 1 && male != "?") ? static_cast<unsigned char>(male[0]) : b;
      QCOMPARE(int(MalePismeno1250(static_cast<unsigned char>(b))), ocekavane);
    }
    QCOMPARE(int(MalePismeno1250(0xC8)), 0xE8);  // Č
    QCOMPARE(int(MalePismeno1250(0xD8)), 0xF8);  // Ř
    QCOMPARE(int(MalePismeno1250(0xD7)), 0xD7);  // × has no pair
  }

  // --- number texts --------------------------------------------------------
  void celaCisla_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("hodnota");
    QTest::newRow("decimal") << "123" << true << 123;
    QTest::newRow("blanks, minus") << "  \t-5" << true << -5;
    QTest::newRow("plus") << "+7" << true << 7;
    QTest::newRow("dollar") << "$FF" << true << 255;
    QTest::newRow("0x") << "0x1f" << true << 31;
    QTest::newRow("0X") << "0X1F" << true << 31;
    QTest::newRow("minus hex") << "-$10" << true << -16;
    QTest::newRow("all 32 bits") << "$FFFFFFFF" << true << -1;
    QTest::newRow("max") << "2147483647" << true << std::numeric_limits<int>::max();
    QTest::newRow("min") << "-2147483648" << true << std::numeric_limits<int>::min();
    QTest::newRow("leading zeros") << "0000000000000012" << true << 12;
    QTest::newRow("over max") << "2147483648" << false << 0;
    QTest::newRow("under min") << "-2147483649" << false << 0;
    QTest::newRow("hex over 32 bits") << "$100000000" << false << 0;
    QTest::newRow("huge") << "99999999999999999999999" << false << 0;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("blank") << "   " << false << 0;
    QTest::newRow("trailing blank") << "12 " << false << 0;
    QTest::newRow("letters") << "1a" << false << 0;
    QTest::newRow("lone dollar") << "$" << false << 0;
    QTest::newRow("lone 0x") << "0x" << false << 0;
    QTest::newRow("sign only") << "-" << false << 0;
    QTest::newRow("fraction") << "1.5" << false << 0;
    QTest::newRow("hex without prefix") << "FF" << false << 0;
    QTest::newRow("two signs") << "--1" << false << 0;
  }
  void celaCisla() {
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(int, hodnota);
    const auto v = TextNaCele(text.toStdString());
    QCOMPARE(v.has_value(), ok);
    if (ok) QCOMPARE(*v, hodnota);
  }

  void obecnyTextDouble_data() {
    QTest::addColumn<double>("hodnota");
    QTest::addColumn<QString>("text");
    QTest::newRow("2.5") << 2.5 << "2,5";
    QTest::newRow("1500") << 1500.0 << "1500";
    QTest::newRow("0.001") << 0.001 << "0,001";
    QTest::newRow("0.0001 still fixed") << 0.0001 << "0,0001";
    QTest::newRow("0.00001") << 0.00001 << "1E-5";
    QTest::newRow("0.000012") << 0.000012 << "1,2E-5";
    QTest::newRow("1e20") << 1e20 << "1E20";
    QTest::newRow("15 digits") << 1e14 << "100000000000000";
    QTest::newRow("16 digits") << 1e15 << "1E15";
    QTest::newRow("1.5e15") << 1.5e15 << "1,5E15";
    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("minus zero") << -0.0 << "0";
    QTest::newRow("negative") << -2.5 << "-2,5";
    QTest::newRow("negative small") << -0.00001 << "-1E-5";
    QTest::newRow("0.1+0.2") << 0.1 + 0.2 << "0,3";
    QTest::newRow("third") << 1.0 / 3.0 << "0,333333333333333";
    QTest::newRow("rounds up a digit") << 9.9999999999999999 << "10";
    QTest::newRow("17 digits") << 123456789012345678.0 << "1,23456789012346E17";
    QTest::newRow("big fraction") << 12345.678901234567 << "12345,6789012346";
    QTest::newRow("tiny") << 5e-324 << "4,94065645841247E-324";
    QTest::newRow("max") << std::numeric_limits<double>::max() << "1,79769313486232E308";
  }
  void obecnyTextDouble() {
    QFETCH(double, hodnota);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(DoubleNaText(hodnota, ',')), text);
    QCOMPARE(QString::fromStdString(DoubleNaText(hodnota, '.')), QString(text).replace(',', '.'));
  }

  void nekonecnaANan() {
    QCOMPARE(DoubleNaText(std::numeric_limits<double>::quiet_NaN(), ','), std::string("NAN"));
    QCOMPARE(DoubleNaText(-std::numeric_limits<double>::infinity(), ','), std::string("-INF"));
    QCOMPARE(FixniText(std::numeric_limits<double>::infinity(), 2, ','), std::string("INF"));
    QVERIFY(!TextNaDouble("NAN", ','));
    QVERIFY(!TextNaDouble("INF", '.'));
  }

  void fixniText_data() {
    QTest::addColumn<double>("hodnota");
    QTest::addColumn<int>("mista");
    QTest::addColumn<QString>("text");
    QTest::newRow("pads") << 123.0 << 3 << "123,000";
    QTest::newRow("no places") << 1234.5 << 0 << "1235";
    QTest::newRow("half up on the decimal digits") << 2.675 << 2 << "2,68";
    QTest::newRow("exact half") << 0.125 << 2 << "0,13";
    QTest::newRow("1.005") << 1.005 << 2 << "1,01";
    QTest::newRow("carry into integer") << 0.995 << 2 << "1,00";
    QTest::newRow("binary below the half")
        << 9.995 << 2 << "9,99";  // 9.994999999999999 at 16 digits
    QTest::newRow("carry to new digit") << 999.9996 << 3 << "1000,000";
    QTest::newRow("negative") << -3.14159 << 3 << "-3,142";
    QTest::newRow("negative rounds to zero") << -0.001 << 2 << "0,00";
    QTest::newRow("small") << 0.000123 << 5 << "0,00012";
    QTest::newRow("zero") << 0.0 << 2 << "0,00";
    QTest::newRow("places clamped low") << 1.5 << -3 << "2";
    QTest::newRow("places clamped high") << 0.5 << 40 << "0,500000000000000000";
    QTest::newRow("16 digits kept") << 1234567890123456.0 << 1 << "1234567890123456,0";
    QTest::newRow("17 digits: general form") << 12345678901234567.0 << 2 << "1,234567890123457E16";
    QTest::newRow("rounded to 16 digits first") << 0.1 + 0.2 << 17 << "0,30000000000000000";
  }
  void fixniText() {
    QFETCH(double, hodnota);
    QFETCH(int, mista);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(FixniText(hodnota, mista, ',')), text);
  }

  void textNaDouble_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("oddelovac");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("hodnota");
    QTest::newRow("comma") << "2,5"
                           << "," << true << 2.5;
    QTest::newRow("point") << "2.5"
                           << "." << true << 2.5;
    QTest::newRow("other separator") << "2.5"
                                     << "," << false << 0.0;
    QTest::newRow("blanks, sign, exponent") << "  -1,5e3 "
                                            << "," << true << -1500.0;
    QTest::newRow("plus, E-") << "+25E-1"
                              << "." << true << 2.5;
    QTest::newRow("leading separator") << ",5"
                                       << "," << true << 0.5;
    QTest::newRow("trailing separator") << "5,"
                                        << "," << true << 5.0;
    QTest::newRow("integer") << "42"
                             << "." << true << 42.0;
    QTest::newRow("two separators") << "1,2,3"
                                    << "," << false << 0.0;
    QTest::newRow("both separators") << "2.5,0"
                                     << "," << false << 0.0;
    QTest::newRow("thousands blank") << "1 000"
                                     << "." << false << 0.0;
    QTest::newRow("exponent without digits") << "1e"
                                             << "." << false << 0.0;
    QTest::newRow("exponent sign only") << "1e+"
                                        << "." << false << 0.0;
    QTest::newRow("separator only") << ","
                                    << "," << false << 0.0;
    QTest::newRow("empty") << ""
                           << "." << false << 0.0;
    QTest::newRow("hex") << "0x10"
                         << "." << false << 0.0;
    QTest::newRow("words") << "inf"
                           << "." << false << 0.0;
    QTest::newRow("overflow") << "1e400"
                              << "." << false << 0.0;
    QTest::newRow("letters after") << "1.5kg"
                                   << "." << false << 0.0;
  }
  void textNaDouble() {
    QFETCH(QString, text);
    QFETCH(QString, oddelovac);
    QFETCH(bool, ok);
    QFETCH(double, hodnota);
    const auto v = TextNaDouble(text.toStdString(), oddelovac.toLatin1().at(0));
    QCOMPARE(v.has_value(), ok);
    if (ok) QCOMPARE(*v, hodnota);
  }

  void doubleTamAZpet() {
    // 15 significant digits survive the text, in either separator.
    auto* nahoda = QRandomGenerator::global();
    for (int i = 0; i < 2000; ++i) {
      const double x = (nahoda->generateDouble() - 0.5) * std::pow(10.0, nahoda->bounded(-30, 30));
      for (char odd : {',', '.'}) {
        const auto zpet = TextNaDouble(DoubleNaText(x, odd), odd);
        QVERIFY(zpet.has_value());
        QVERIFY2(std::fabs(*zpet - x) <= std::fabs(x) * 1e-14, DoubleNaText(x, odd).c_str());
      }
    }
  }

  // --- regional settings -----------------------------------------------------
  void datumACasPodleObrazu() {
    // A copy: NastavMistni below replaces what Mistni() refers to.
    const TMistniNastaveni puvodni =
        Mistni();  // NOLINT(performance-unnecessary-copy-initialization)
    TDatumCas t;
    t.Rok = 2024;
    t.Mesic = 3;
    t.Den = 5;
    t.Hodina = 14;
    t.Minuta = 7;
    t.Sekunda = 9;
    NastavMistni(MistniCeske());
    QCOMPARE(FormatujDatum(t), std::string("5.3.2024"));
    QCOMPARE(FormatujCas(t), std::string("14:07:09"));
    NastavMistni(MistniAnglicke());
    QCOMPARE(Mistni().DesetinnyOddelovac, '.');
    QCOMPARE(FormatujDatum(t), std::string("3/5/2024"));
    QCOMPARE(FormatujCas(t), std::string("2:07:09 PM"));
    t.Hodina = 0;
    QCOMPARE(FormatujCas(t), std::string("12:07:09 AM"));
    t.Hodina = 12;
    QCOMPARE(FormatujCas(t), std::string("12:07:09 PM"));
    NastavMistni({',', "dd.MM.yy", "HH-mm-ss"});
    t.Rok = 2007;
    t.Hodina = 3;
    QCOMPARE(FormatujDatum(t), std::string("05.03.07"));
    QCOMPARE(FormatujCas(t), std::string("03-07-09"));
    NastavMistni({',', "yyyy-MM-dd", "H:m:s"});
    t.Minuta = 0;
    t.Sekunda = 5;
    QCOMPARE(FormatujDatum(t), std::string("2007-03-05"));
    QCOMPARE(FormatujCas(t), std::string("3:0:5"));
    NastavMistni(puvodni);
  }

  void obrazyZLocale() {
    const TMistniNastaveni cz = MistniZLocale(QLocale(QLocale::Czech, QLocale::Czechia));
    QCOMPARE(cz.DesetinnyOddelovac, ',');
    TDatumCas t;
    t.Rok = 2024;
    t.Mesic = 3;
    t.Den = 5;
    t.Hodina = 14;
    t.Minuta = 7;
    t.Sekunda = 9;
    // A copy: NastavMistni below replaces what Mistni() refers to.
    const TMistniNastaveni puvodni =
        Mistni();  // NOLINT(performance-unnecessary-copy-initialization)
    NastavMistni(cz);
    // Day before month, 24-hour clock, no time zone left in the picture.
    const std::string datum = FormatujDatum(t);
    QVERIFY2(datum.find('5') < datum.find('3'), datum.c_str());
    QCOMPARE(FormatujCas(t), std::string("14:07:09"));
    const TMistniNastaveni us = MistniZLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(us.DesetinnyOddelovac, '.');
    NastavMistni(us);
    QCOMPARE(FormatujCas(t), std::string("2:07:09 PM"));
    const std::string usDatum = FormatujDatum(t);
    QVERIFY2(usDatum.rfind("3/5/", 0) == 0, usDatum.c_str());
    NastavMistni(puvodni);
    QCOMPARE(MistniZLocale(QLocale(QLocale::Arabic, QLocale::Egypt)).DesetinnyOddelovac, '.');
    // No locale set: a numeric date, never a month name.
    const TMistniNastaveni c = MistniZLocale(QLocale::c());
    NastavMistni(c);
    QCOMPARE(FormatujDatum(t), std::string("05.03.2024"));
    QCOMPARE(FormatujCas(t), std::string("14:07:09"));
    QCOMPARE(c.DesetinnyOddelovac, '.');
    NastavMistni(puvodni);
    for (const auto& n : {cz, us}) {
      QVERIFY(n.DlouhyCas.find('t') == std::string::npos ||
              n.DlouhyCas.find("tt") != std::string::npos);
      QVERIFY(n.DlouhyCas.find('z') == std::string::npos);
      QVERIFY(n.KratkeDatum.find('\'') == std::string::npos);
    }
  }

  // The forms a record was written in, read back from its texts: what a
  // continued file goes on in.  The locale's own forms win whenever they
  // wrote the texts; a date that reads both day and month first is settled
  // by when it was written, or refused.
  void mistniZeZaznamu_data() {
    QTest::addColumn<QString>("vychozi");  // "c", "cz", "us"
    QTest::addColumn<QString>("datum");
    QTest::addColumn<QString>("cas");
    QTest::addColumn<QStringList>("hodnoty");
    QTest::addColumn<QString>("zapsano");    // yyyy-MM-dd, or empty
    QTest::addColumn<QString>("ocekavano");  // "sep|date|time", or "!reason"
    QTest::newRow("cz under C") << "c"
                                << "8.12.2026"
                                << "9:05:01" << QStringList{"-9,650", "3"} << ""
                                << ",|d.M.yyyy|H:mm:ss";
    QTest::newRow("two-digit year") << "c"
                                    << "08.12.26"
                                    << "0:00:01" << QStringList{"1,5"} << ""
                                    << ",|dd.MM.yy|H:mm:ss";
    QTest::newRow("own forms stay") << "cz"
                                    << "18.12.2026"
                                    << "14:05:01" << QStringList{"2,25"} << ""
                                    << ",|d.M.yyyy|H:mm:ss";
    QTest::newRow("us under cz") << "cz"
                                 << "12/8/2026"
                                 << "1:05:01 PM" << QStringList{"9.780"} << "2026-12-08"
                                 << ".|M/d/yyyy|h:mm:ss tt";
    QTest::newRow("month first by the day written") << "cz"
                                                    << "05/06/2026"
                                                    << "23:59:59" << QStringList{} << "2026-05-07"
                                                    << ",|MM/dd/yyyy|H:mm:ss";
    QTest::newRow("day first by the day written") << "cz"
                                                  << "05/06/2026"
                                                  << "23:59:59" << QStringList{} << "2026-06-05"
                                                  << ",|dd/MM/yyyy|H:mm:ss";
    QTest::newRow("either way")
        << "cz"
        << "05/06/2026"
        << "" << QStringList{} << ""
        << "!datum „05/06/2026“ lze číst se dnem i s měsícem na prvním místě";
    QTest::newRow("iso, no fraction") << "us"
                                      << "2026-12-08"
                                      << "07.05.01" << QStringList{"12"} << ""
                                      << ".|yyyy-MM-dd|HH.mm.ss";
    QTest::newRow("point and comma") << "cz"
                                     << ""
                                     << "" << QStringList{"1.5", "2,5"} << ""
                                     << "!hodnoty mají desetinnou tečku i čárku";
    QTest::newRow("no date") << "cz"
                             << "úterý"
                             << "" << QStringList{} << ""
                             << "!datum „úterý“ nemá tvar data";
    QTest::newRow("no time") << "cz"
                             << ""
                             << "25:61:00" << QStringList{} << ""
                             << "!čas „25:61:00“ nemá tvar času";
  }
  void mistniZeZaznamu() {
    QFETCH(QString, vychozi);
    QFETCH(QString, datum);
    QFETCH(QString, cas);
    QFETCH(QStringList, hodnoty);
    QFETCH(QString, zapsano);
    QFETCH(QString, ocekavano);
    const TMistniNastaveni v = vychozi == "cz"   ? MistniCeske()
                               : vychozi == "us" ? MistniAnglicke()
                                                 : MistniZLocale(QLocale::c());
    std::vector<std::string> h;
    for (const QString& x : hodnoty) h.push_back(x.toStdString());
    std::optional<TDatumCas> kdy;
    if (!zapsano.isEmpty()) {
      const QDate d = QDate::fromString(zapsano, Qt::ISODate);
      kdy = TDatumCas{d.year(), d.month(), d.day(), 12, 0, 0};
    }
    const TMistniZeZaznamu z =
        MistniZeZaznamu(v, Cp1250(datum.toStdString()), cas.toStdString(), h, kdy);
    if (ocekavano.startsWith('!')) {
      QVERIFY(!z.Mistni);
      QCOMPARE(QString::fromStdString(Utf8(z.Duvod)), ocekavano.mid(1));
      return;
    }
    QVERIFY2(z.Mistni, Utf8(z.Duvod).c_str());
    QCOMPARE(QString("%1|%2|%3")
                 .arg(QChar(z.Mistni->DesetinnyOddelovac))
                 .arg(QString::fromStdString(z.Mistni->KratkeDatum))
                 .arg(QString::fromStdString(z.Mistni->DlouhyCas)),
             ocekavano);
  }

  void mistniZeViceVlaken() {
    // The first use may come from several threads at once.
    std::vector<std::thread> vlakna;
    vlakna.reserve(4);
    std::atomic<int> shodnych{0};
    const char oddelovac = Mistni().DesetinnyOddelovac;
    for (int i = 0; i < 4; ++i)
      vlakna.emplace_back([&] {
        for (int j = 0; j < 1000; ++j)
          if (Mistni().DesetinnyOddelovac == oddelovac) ++shodnych;
      });
    for (auto& v : vlakna) v.join();
    QCOMPARE(shodnych.load(), 4000);
  }

  // --- program folder --------------------------------------------------------
  void slozkaProgramu() {
    QCOMPARE(QString::fromStdString(SlozkaProgramu().string()),
             QCoreApplication::applicationDirPath());
    const fs::path d = dir_.path().toStdString();
    NastavSlozkuProgramu(d);
    QCOMPARE(SlozkaProgramu(), d);
    QCOMPARE(CestaVeSlozceProgramu("a.zq"), d / "a.zq");
    QCOMPARE(CestaVeSlozceProgramu("sub\\b.zq"), d / "sub" / "b.zq");
    QCOMPARE(CestaVeSlozceProgramu("/etc/passwd"), d / "etc" / "passwd");
    const std::string cesky = Cp1250("Měření.zq");
    QCOMPARE(CestaVeSlozceProgramu(cesky), d / "Měření.zq");
    QCOMPARE(CestaCp1250(d / "Měření.zq"), CestaCp1250(d) + "/" + cesky);
    QCOMPARE(CestaKnihovny("WCOM407.DLL"), d / "libWCOM407.so");
    NastavSlozkuProgramu({});
    QCOMPARE(QString::fromStdString(SlozkaProgramu().string()),
             QCoreApplication::applicationDirPath());
    QCOMPARE(SlozkaKnihoven(), SlozkaProgramu());
    QVERIFY(UpozorneniSlozkyProgramu().empty());
  }

  // Which folder plays the program's folder and where the libraries are.
  void umisteni_data() {
    QTest::addColumn<bool>("zapisovatelna");
    QTest::addColumn<bool>("instalovane");
    QTest::addColumn<QString>("xdg");
    QTest::addColumn<QString>("domov");
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("knihovny");
    const QString exe = "/opt/zq/bin", lib = "/opt/zq/lib/zentrolix-datalogger";
    const QString uziv = "/home/u/.local/share/zentrolix-datalogger";
    QTest::newRow("portable") << true << false << "/x"
                              << "/home/u" << exe << exe;
    QTest::newRow("installed") << false << true << "/x/data/"
                               << "/home/u"
                               << "/x/data/zentrolix-datalogger" << lib;
    QTest::newRow("no XDG_DATA_HOME") << false << true << ""
                                      << "/home/u" << uziv << lib;
    QTest::newRow("relative XDG_DATA_HOME") << false << true << "data"
                                            << "/home/u" << uziv << lib;
    QTest::newRow("installed, writable (root)") << true << true << ""
                                                << "/root"
                                                << "/root/.local/share/zentrolix-datalogger" << lib;
    QTest::newRow("read-only portable copy") << false << false << ""
                                             << "/home/u" << uziv << exe;
    QTest::newRow("no home") << false << true << ""
                             << ""
                             << "" << lib;
  }

  void umisteni() {
    QFETCH(bool, zapisovatelna);
    QFETCH(bool, instalovane);
    QFETCH(QString, xdg);
    QFETCH(QString, domov);
    QFETCH(QString, program);
    QFETCH(QString, knihovny);
    zqumisteni::TVstup v;
    v.SlozkaExe = "/opt/zq/bin";
    v.RelKnihovny = "../lib/zentrolix-datalogger";
    v.ExeZapisovatelna = zapisovatelna;
    v.KnihovnyInstalovane = instalovane;
    v.XdgDataHome = xdg.toStdString();
    v.Domov = domov.toStdString();
    const zqumisteni::TUmisteni u = zqumisteni::Rozhodni(v);
    QCOMPARE(QString::fromStdString(u.Program.string()), program);
    QCOMPARE(QString::fromStdString(u.Knihovny.string()), knihovny);
    QCOMPARE(u.Uzivatelska, program != v.SlozkaExe.c_str());
  }

  // The per-user folder is created private; when it cannot be, a private
  // folder in the temporary folder stands in, and the text says so.
  void uzivatelskaSlozka_data() {
    QTest::addColumn<QString>("slozka");
    QTest::addColumn<bool>("ciziNahradni");
    QTest::addColumn<int>("vysledek");  // 0 the folder, 1 the stand-in, 2 the folder unusable
    QTest::newRow("created") << "a/b/zentrolix-datalogger" << false << 0;
    QTest::newRow("file in the way") << "soubor/zentrolix-datalogger" << false << 1;
    QTest::newRow("no home") << "" << false << 1;
    QTest::newRow("stand-in open to others") << "soubor/zentrolix-datalogger" << true << 2;
  }

  void uzivatelskaSlozka() {
    QFETCH(QString, slozka);
    QFETCH(bool, ciziNahradni);
    QFETCH(int, vysledek);
    QTemporaryDir t;
    const fs::path koren = t.path().toStdString();
    UlozSoubor(koren / "soubor", "x");
    fs::create_directory(koren / "tmp");
    const fs::path nahradni =
        koren / "tmp" / ("zentrolix-datalogger-" + std::to_string(::geteuid()));
    if (ciziNahradni) {
      fs::create_directory(nahradni);
      fs::permissions(nahradni, fs::perms(0755));
    }
    const fs::path chtena = slozka.isEmpty() ? fs::path() : koren / slozka.toStdString();
    std::string upozorneni;
    const fs::path p =
        zqumisteni::PripravUzivatelskou(chtena, koren / "tmp", ::geteuid(), upozorneni);
    QCOMPARE(p, vysledek == 1 ? nahradni : chtena);
    QCOMPARE(upozorneni.empty(), vysledek == 0);
    if (vysledek != 2) {
      struct stat st {};
      QCOMPARE(::stat(p.c_str(), &st), 0);
      QVERIFY(S_ISDIR(st.st_mode));
      QCOMPARE(st.st_mode & 0777, 0700u);
    }
    if (vysledek == 1) QVERIFY(upozorneni.find(nahradni.string()) != std::string::npos);
    if (vysledek == 2) QVERIFY(upozorneni.find("nelze uložit") != std::string::npos);
  }

  void hodiny() {
    const uint64_t a = TikMs();
    SpiMs(20);
    QVERIFY(TikMs() >= a + 19);
    TDatumCas pevny;
    pevny.Rok = 1999;
    NastavZdrojCasu([pevny] { return pevny; });
    QCOMPARE(TedMistni().Rok, 1999);
    NastavZdrojCasu({});
    QVERIFY(TedMistni().Rok >= 2024);
  }

  // --- profile files ---------------------------------------------------------
  void cteniPravidla() {
    const fs::path f = Soubor("pravidla.ini");
    UlozSoubor(
        f, Q(Cp1250("[PŘIPOJENÍ]\r\nROZHRANÍ = PCI-407 \r\n"
                    "k1=\"  a b  \"\r\nk2='x'\r\nk3=\"x\r\nk4=\"\"\r\nk5=a=b\r\n"
                    "  k6  \t=\t 12 \r\nk7=$10\r\nk8=abc\r\n;k9=comment\r\nk10\r\n=noname\r\n")));
    const TProfil p(f);
    QVERIFY(p.Precten());
    QCOMPARE(p.CtiText(Cp1250("připojení"), Cp1250("Rozhraní"), "-"), std::string("PCI-407"));
    QCOMPARE(p.CtiText(Cp1250("Připojení"), "k1", "-"), std::string("  a b  "));
    QCOMPARE(p.CtiText(Cp1250("Připojení"), "K2", "-"), std::string("x"));
    QCOMPARE(p.CtiText(Cp1250("Připojení"), "k3", "-"), std::string("\"x"));
    QCOMPARE(p.CtiText(Cp1250("Připojení"), "k4", "-"), std::string());
    QCOMPARE(p.CtiText(Cp1250("Připojení"), "k5", "-"), std::string("a=b"));
    QCOMPARE(p.CtiCislo(Cp1250("Připojení"), "k6", -1), 12);
    QCOMPARE(p.CtiCislo(Cp1250("Připojení"), "k7", -1), 16);
    QCOMPARE(p.CtiCislo(Cp1250("Připojení"), "k8", -1), -1);
    QCOMPARE(p.CtiCislo(Cp1250("Připojení"), "chybi", 77), 77);
    QCOMPARE(p.CtiText(Cp1250("Připojení"), ";k9", "-"), std::string("-"));
    QCOMPARE(p.CtiText(Cp1250("Připojení"), "k10", "-"), std::string("-"));
    QCOMPARE(p.CtiText(Cp1250("Připojení"), "", "-"), std::string("-"));
    QCOMPARE(p.CtiText("jina", "k1", "def"), std::string("def"));
    const TProfil zadny(Soubor("neni.ini"));
    QVERIFY(!zadny.Precten());
    QCOMPARE(zadny.CtiText("a", "b", "c"), std::string("c"));
  }

  void delkaHodnoty() {
    const fs::path f = Soubor("dlouhy.ini");
    const std::string dlouha(size_t{1024} * 1024, 'a');
    UlozSoubor(f, Q("[S]\r\nk=" + dlouha + "\r\nj=1\r\n"));
    TProfil p(f);
    QCOMPARE(p.CtiText("S", "k", ""), std::string(2047, 'a'));
    QCOMPARE(p.CtiText("S", "chybi", std::string(3000, 'b')), std::string(2047, 'b'));
    QCOMPARE(p.CtiCislo("S", "j", 0), 1);
    // The long line stays whole when another key is written.
    p.ZapisCislo("S", "j", 2);
    p.Uloz();
    QCOMPARE(ObsahSouboru(f), Q("[S]\r\nk=" + dlouha + "\r\nj=2\r\n"));
  }

  void duplicity() {
    const fs::path f = Soubor("dupl.ini");
    UlozSoubor(f, "[S]\r\nk=1\r\nK=2\r\n[s]\r\nk=3\r\nj=4\r\n");
    TProfil p(f);
    QCOMPARE(p.CtiText("S", "k", ""), std::string("1"));
    QCOMPARE(p.CtiText("S", "j", "-"), std::string("-"));  // only the first section counts
    p.ZapisText("S", "k", "9");
    p.ZapisText("S", "j", "5");
    p.Uloz();
    QCOMPARE(ObsahSouboru(f), QByteArray("[S]\r\nk=9\r\nK=2\r\nj=5\r\n[s]\r\nk=3\r\nj=4\r\n"));
  }

  void zapisPravidla() {
    const fs::path f = Soubor("zapis.ini");
    UlozSoubor(f, Q(Cp1250("; hlava\n[A]\nKLÍČ = staré\n# jiný řádek\nx=1\n\n\n[B]\ny=2\n")));
    TProfil p(f);
    p.ZapisText("a", Cp1250("klíč"),
                Cp1250("nové"));            // replaced where it stands, file's spelling kept
    p.ZapisText("A", "novy", "n");          // appended after the last non-blank line
    p.ZapisCislo("C", "z", -42);            // new section at the end
    p.ZapisText("B", "v", "a\r\nb\rc\nd");  // line ends cannot break the file
    p.ZapisText("B", "nul", std::string_view("pred\0po", 7));
    p.Uloz();
    QCOMPARE(ObsahSouboru(f),
             Q(Cp1250("; hlava\r\n[A]\r\nKLÍČ=nové\r\n# jiný řádek\r\nx=1\r\nnovy=n\r\n\r\n\r\n"
                      "[B]\r\ny=2\r\nv=a  b c d\r\nnul=pred\r\n[C]\r\nz=-42\r\n")));
    const TProfil znovu(f);
    QCOMPARE(znovu.CtiText("A", Cp1250("KLÍČ"), ""), Cp1250("nové"));
    QCOMPARE(znovu.CtiCislo("c", "Z", 0), -42);
  }

  void novySoubor() {
    const fs::path f = Soubor("novy.ini");
    TProfil p(f);
    QVERIFY(!p.Precten());
    p.ZapisText("S", "k", "v");
    p.ZapisText("T", "k", "w");
    p.Uloz();
    QCOMPARE(ObsahSouboru(f), QByteArray("[S]\r\nk=v\r\n[T]\r\nk=w\r\n"));
  }

  void bezZmenyBezZapisu() {
    // Writing the value a key already has leaves the file alone, LF line ends and all.
    const fs::path f = Soubor("beze.ini");
    UlozSoubor(f, "[S]\nk=v\n");
    const auto pred = fs::last_write_time(f);
    TProfil p(f);
    p.ZapisText("S", "k", "v");
    p.Uloz();
    QCOMPARE(ObsahSouboru(f), QByteArray("[S]\nk=v\n"));
    QCOMPARE(fs::last_write_time(f), pred);
  }

  // Our own settings files: UTF-8 (with or without a byte-order mark) and
  // Windows-1250 read alike (the arrow Windows-1250 lacks is '?' there), and
  // are written back in their own encoding, every line not changed byte
  // for byte, a line holding the arrow included.
  void vlastniKodovani_data() {
    QTest::addColumn<QByteArray>("obsah");
    QTest::addColumn<QByteArray>("zapsany");
    QTest::addColumn<bool>("utf8");
    const std::string pred =
        "# šipka → zůstane\r\n[MQTT]\r\nTéma = závod/hala č. 2\r\nUživatel=měření\r\n"
        "Klient=linka→1\r\nFormát=json\r\n";
    const std::string po =
        "# šipka → zůstane\r\n[MQTT]\r\nTéma = závod/hala č. 2\r\nUživatel=měření\r\n"
        "Klient=linka→1\r\nFormát=influx\r\nPoznámka=žluť\r\n";
    const std::string bom = "\xEF\xBB\xBF";
    QTest::newRow("UTF-8") << Q(pred) << Q(po) << true;
    QTest::newRow("UTF-8 with BOM") << Q(bom + pred) << Q(bom + po) << true;
    QTest::newRow("Windows-1250") << Q(Cp1250(pred)) << Q(Cp1250(po)) << false;
  }
  void vlastniKodovani() {
    QFETCH(QByteArray, obsah);
    QFETCH(QByteArray, zapsany);
    QFETCH(bool, utf8);
    const fs::path f = Soubor("vlastni.ini");
    UlozSoubor(f, obsah);
    TProfil p(f, TKodovani::Utf8NeboCp1250);
    QCOMPARE(p.JeUtf8(), utf8);
    QCOMPARE(p.CtiText("mqtt", Cp1250("TÉMA"), "-"), Cp1250("závod/hala č. 2"));
    QCOMPARE(p.CtiText("MQTT", Cp1250("Uživatel"), "-"), Cp1250("měření"));
    QCOMPARE(p.CtiText("MQTT", "Klient", "-"), std::string("linka?1"));
    // As a settings tab saves: every key, most of them as they were read.
    for (const char* k : {"Téma", "Uživatel", "Klient"})
      p.ZapisText("MQTT", Cp1250(k), p.CtiText("MQTT", Cp1250(k), ""));
    p.ZapisText("MQTT", Cp1250("Formát"), "influx");
    p.ZapisText("MQTT", Cp1250("Poznámka"), Cp1250("žluť"));
    p.Uloz();
    QCOMPARE(ObsahSouboru(f), zapsany);

    // A new file of ours is UTF-8; the designed files stay Windows-1250.
    for (const TKodovani k : {TKodovani::Utf8NeboCp1250, TKodovani::Cp1250}) {
      fs::remove(f);
      TProfil novy(f, k);
      novy.ZapisText(Cp1250("Úloha"), Cp1250("Šířka"), Cp1250("č"));
      novy.Uloz();
      const std::string text = "[Úloha]\r\nŠířka=č\r\n";
      QCOMPARE(ObsahSouboru(f), Q(k == TKodovani::Cp1250 ? Cp1250(text) : text));
    }
  }

  // What a file of ours holds that nobody reads is said once each, naming
  // the file, the section and the key; comments and blank lines are not.
  void nezname() {
    const fs::path f = Soubor("nezname.ini");
    UlozSoubor(f, Q("Server=a\r\n[MQTT]\r\nTema=b\r\nTéma=c\r\n# Formát=x\r\n  ; Heslo=y\r\n\r\n"
                    "téma=d\r\nServer mqtt\r\n[Publikace]\r\nTéma=e\r\n[mqtt]\r\nPort=1\r\n"));
    const TProfil p(f, TKodovani::Utf8NeboCp1250);
    const std::vector<std::string> mqtt = {
        Cp1250("nezname.ini: klíč Server před první sekcí se nečte"),
        Cp1250("nezname.ini: neznámý klíč [MQTT] Tema (překlep?)"),
        Cp1250("nezname.ini: opakovaný klíč [MQTT] téma se nečte"),
        Cp1250("nezname.ini: řádek 9 není klíč, sekce ani komentář (chybí =?)")};
    std::vector<std::string> jenMqtt = mqtt;
    jenMqtt.push_back(Cp1250("nezname.ini: neznámá sekce [Publikace] (překlep?)"));
    jenMqtt.push_back(Cp1250("nezname.ini: opakovaná sekce [mqtt] se nečte"));
    QCOMPARE(p.Nezname({{"MQTT", {"Server", Cp1250("TÉMA")}}}), jenMqtt);
    // Every other section (a section per task) has keys of its own; a
    // section named outright keeps its keys wherever the entry stands.
    std::vector<std::string> kazda = mqtt;
    kazda.push_back(Cp1250("nezname.ini: neznámý klíč [Publikace] Téma (překlep?)"));
    kazda.push_back(Cp1250("nezname.ini: opakovaná sekce [mqtt] se nečte"));
    QCOMPARE(p.Nezname({{"", {"Port"}}, {"MQTT", {"Server", Cp1250("TÉMA")}}}), kazda);
  }

  void vadneSoubory_data() {
    QTest::addColumn<QByteArray>("obsah");
    QTest::addColumn<QString>("k");  // expected value of [S] k; "-" when none
    QByteArray nahodne(qsizetype{64} * 1024, '\0');
    QRandomGenerator gen(12345);
    for (auto& c : nahodne) c = static_cast<char>(gen.bounded(256));
    QTest::newRow("binary junk") << nahodne << "-";
    QTest::newRow("junk around") << (nahodne + "\r\n[S]\r\nk=1\r\n" + nahodne.left(100)) << "1";
    QTest::newRow("NUL bytes") << Bajty("[S]\r\n\0\0\0\r\nk=1\0zbytek\r\n") << "1";
    QTest::newRow("NUL in a name") << Bajty("[S\0]\r\nk=1\r\n") << "-";
    QTest::newRow("no line ends") << QByteArray("[S]k=1") << "-";
    QTest::newRow("no final line end") << QByteArray("[S]\r\nk=1") << "1";
    QTest::newRow("LF only") << QByteArray("[S]\nk=1\n") << "1";
    QTest::newRow("CR only") << QByteArray("[S]\rk=1\r") << "1";
    QTest::newRow("mixed") << QByteArray("[X]\r\n\n[S]\rk=1\n\r") << "1";
    QTest::newRow("BOM") << QByteArray("\xEF\xBB\xBF[S]\r\nk=1\r\n") << "1";
    QTest::newRow("BOM alone") << QByteArray("\xEF\xBB\xBF") << "-";
    QTest::newRow("header without bracket") << QByteArray("[S\r\nk=1\r\n") << "-";
    QTest::newRow("empty header") << QByteArray("[]\r\nk=1\r\n[S]\r\nk=2\r\n") << "2";
    QTest::newRow("long line") << (QByteArray("[S]\r\nk=1\r\n") +
                                   QByteArray(qsizetype{1024} * 1024, 'x'))
                               << "1";
    QTest::newRow("long header") << (QByteArray("[") + QByteArray(qsizetype{1024} * 1024, 'S') +
                                     "]\r\nk=1\r\n")
                                 << "-";
    QTest::newRow("empty file") << QByteArray() << "-";
  }
  void vadneSoubory() {
    QFETCH(QByteArray, obsah);
    QFETCH(QString, k);
    const fs::path f = Soubor("vadny.ini");
    UlozSoubor(f, obsah);
    {
      TProfil p(f);
      QCOMPARE(QString::fromStdString(p.CtiText("S", "k", "-")), k);
      // The file can still be written, and what was there stays.
      p.ZapisText("S", "novy", "ano");
      p.Uloz();
    }
    const QByteArray po = ObsahSouboru(f);
    const TProfil znovu(f);
    QCOMPARE(znovu.CtiText("S", "novy", "-"), std::string("ano"));
    QCOMPARE(QString::fromStdString(znovu.CtiText("S", "k", "-")), k);
    if (obsah.startsWith("\xEF\xBB\xBF")) QVERIFY(po.startsWith("\xEF\xBB\xBF"));
    QVERIFY(po.size() >= obsah.size());
  }

  void odmitnutyZapis() {
    QTemporaryDir ro;
    const fs::path slozka = ro.path().toStdString();
    const fs::path f = slozka / "u.ini";
    const QByteArray puvodni("[S]\nk=1\n");
    UlozSoubor(f, puvodni);
    {
      TJenCteni zamek(slozka);
      const auto v = SpustBezPrav([&] {
        TProfil p(f);
        p.ZapisText("S", "k", "2");
        p.Uloz();
      });
      QVERIFY(!v.JinaChyba);
      QVERIFY(v.Vyhozeno);
      QCOMPARE(v.Zprava, "Unable to write to " + CestaCp1250(f));
    }
    QCOMPARE(ObsahSouboru(f), puvodni);
    QCOMPARE(std::distance(fs::directory_iterator(slozka), fs::directory_iterator{}),
             1);  // no temporary left

    // A read-only file in a writable folder is not replaced either.
    ::chmod(f.c_str(), 0444);
    const auto v = SpustBezPrav([&] {
      TProfil p(f);
      p.ZapisText("S", "k", "3");
      p.Uloz();
    });
    QVERIFY(v.Vyhozeno);
    QCOMPARE(ObsahSouboru(f), puvodni);
    ::chmod(f.c_str(), 0644);

    // A file that cannot be read is not replaced by the few keys written.
    const fs::path jenZapis = slozka / "wo.ini";
    UlozSoubor(jenZapis, puvodni);
    ::chmod(slozka.c_str(), 0777);
    ::chmod(jenZapis.c_str(), 0200);
    if (::geteuid() == 0) QCOMPARE(::chown(jenZapis.c_str(), 65534, 65534), 0);
    const auto w = SpustBezPrav([&] {
      TProfil p(jenZapis);
      if (p.Precten()) return;
      p.ZapisText("S", "k", "4");
      p.Uloz();
    });
    QVERIFY(w.Vyhozeno);
    ::chmod(jenZapis.c_str(), 0644);
    QCOMPARE(ObsahSouboru(jenZapis), puvodni);

    // A FIFO in place of the file neither hangs the reader nor is replaced.
    const fs::path fifo = slozka / "fifo.ini";
    QCOMPARE(::mkfifo(fifo.c_str(), 0644), 0);
    TProfil zFifo(fifo);
    QVERIFY(!zFifo.Precten());
    QCOMPARE(zFifo.CtiText("S", "k", "-"), std::string("-"));
    zFifo.ZapisText("S", "k", "1");
    QVERIFY_THROWS_EXCEPTION(TChybaZapisu, zFifo.Uloz());
    QVERIFY(fs::is_fifo(fifo));

    // A folder that does not exist, and a name that is a folder.
    for (const fs::path& spatna : {slozka / "neni" / "u.ini", slozka}) {
      TProfil p(spatna);
      p.ZapisText("S", "k", "1");
      try {
        p.Uloz();
        QFAIL("no error");
      } catch (const TChybaZapisu& e) {
        QCOMPARE(std::string(e.what()), "Unable to write to " + CestaCp1250(spatna));
      }
    }
  }

  void zachovaPravaAOdkaz() {
    const fs::path f = Soubor("prava.ini");
    UlozSoubor(f, "[S]\r\nk=1\r\n");
    ::chmod(f.c_str(), 0640);
    const fs::path odkaz = Soubor("odkaz.ini");
    fs::create_symlink(f, odkaz);
    TProfil p(odkaz);
    p.ZapisText("S", "k", "2");
    p.Uloz();
    QVERIFY(fs::is_symlink(odkaz));
    QCOMPARE(ObsahSouboru(f), QByteArray("[S]\r\nk=2\r\n"));
    QCOMPARE(fs::status(f).permissions() & fs::perms::mask,
             fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "test_platform.moc"
