// Decoding a module's four data bytes into a channel's reading.

#include <QTest>

#include <cmath>

#include "Cp1250.h"
#include "Dekl.h"
#include "Dekodovani.h"

namespace {
TKanal Kanal(const char* format, int mista, double k = 1.0, double q = 0.0) {
  TKanal c;
  c.Format = format;
  c.DesetinnaMista = mista;
  c.KonstK = k;
  c.KonstQ = q;
  return c;
}
}  // namespace

class TestDekodovani : public QObject {
  Q_OBJECT
 private slots:
  void desetinnyFormatModulu() {
    QCOMPARE(SestavF32(0x39, 0x30, 0x00, 0x02), 123.45);
    QCOMPARE(SestavF32(0x01, 0x00, 0x80, 0x00), -1.0);
    // Bit 7 of the fourth byte is ignored.
    QCOMPARE(SestavF32(0x39, 0x30, 0x00, 0x82), SestavF32(0x39, 0x30, 0x00, 0x02));
    // The largest magnitude, negative, and 127 places: no overflow, no NaN.
    QCOMPARE(SestavF32(0xFF, 0xFF, 0xFF, 0x00), -8388607.0);
    QVERIFY(std::isfinite(SestavF32(0xFF, 0xFF, 0x7F, 0x7F)));
    // Divided step by step: 1 / 10 / 10 / 10, not 1 / 1000.
    double v = 1.0;
    for (int i = 0; i < 3; ++i) v /= 10.0;
    QCOMPARE(SestavF32(0x01, 0x00, 0x00, 0x03), v);
  }

  void uint32NikdyZaporne() {
    QCOMPARE(SestavU32(0xFF, 0xFF, 0xFF, 0xFF), 4294967295u);
    QCOMPARE(SestavU32(0x12, 0x34, 0x56, 0x78), 0x78563412u);
    TKanal k = Kanal("uint32", 0);
    const uint8_t d[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    UlozPrecteno(k, d, '.');
    QCOMPARE(k.Hodnota, std::string("4294967295"));
    QCOMPARE(k.HodnotaU32, -1);  // low 32 bits of 4294967295
  }

  void uint32SeZaokrouhlenimNaSudou() {
    TKanal k = Kanal("uint32", 1, 0.5, 0.0);
    const uint8_t d[4] = {5, 0, 0, 0};
    UlozPrecteno(k, d, '.');
    QCOMPARE(k.Hodnota, std::string("2.5"));
    QCOMPARE(k.HodnotaU32, 2);
    const uint8_t d7[4] = {7, 0, 0, 0};
    UlozPrecteno(k, d7, ',');
    QCOMPARE(k.Hodnota, std::string("3,5"));
    QCOMPARE(k.HodnotaU32, 4);
    QCOMPARE(ZaokrouhliNa32(-2.5), -2);
    QCOMPARE(ZaokrouhliNa32(4294967296.0 + 3.0), 3);
    QCOMPARE(ZaokrouhliNa32(NAN), 0);
  }

  void float32SeSkalovanim() {
    TKanal k = Kanal("float32", 3);
    const uint8_t d[4] = {0x39, 0x30, 0x00, 0x02};
    UlozPrecteno(k, d, '.');
    QCOMPARE(k.Hodnota, std::string("123.450"));
    QCOMPARE(k.HodnotaF32, 123.45);
    TKanal s = Kanal("float32", 2, 2.0, -1.0);
    UlozPrecteno(s, d, ',');
    QCOMPARE(s.Hodnota, std::string("245,90"));
    QCOMPARE(s.Chyba, uint8_t{0});
  }

  void bool32BezKonstant() {
    TKanal k = Kanal("bool32", 3, 10.0, 7.0);
    const uint8_t d[4] = {0x05, 0, 0, 0};
    UlozPrecteno(k, d, ',');
    QCOMPARE(k.Hodnota, std::string("5"));
    QCOMPARE(k.HodnotaB32, 5u);
  }

  void neznamyFormatMeniJenChybu() {
    TKanal k = Kanal("int16", 0);
    k.Hodnota = "42";
    k.Chyba = 7;
    const uint8_t d[4] = {1, 2, 3, 4};
    UlozPrecteno(k, d, '.');
    QCOMPARE(k.Hodnota, std::string("42"));
    QCOMPARE(k.Chyba, uint8_t{0});
  }

  void chybaNulujePodleFormatu() {
    TKanal f = Kanal("float32", 3);
    f.Hodnota = "12.000";
    f.HodnotaF32 = 12;
    UlozChybu(f, 2, 0, '.');
    QCOMPARE(f.Hodnota, std::string("0.000"));
    QCOMPARE(f.HodnotaF32, 0.0);
    QCOMPARE(f.Chyba, uint8_t{2});

    TKanal u = Kanal("uint32", 3);
    u.Hodnota = "12.000";
    u.HodnotaU32 = 12;
    UlozChybu(u, 3, 0, ',');
    QCOMPARE(u.Hodnota, std::string("0"));
    QCOMPARE(u.HodnotaU32, 0);

    TKanal b = Kanal("bool32", 0);
    b.Hodnota = "9";
    b.HodnotaB32 = 9;
    UlozChybu(b, 5, 0, ',');
    QCOMPARE(b.Hodnota, std::string("0"));
    QCOMPARE(b.HodnotaB32, 0u);
  }

  void chybaPonechavaHodnotu() {
    TKanal f = Kanal("float32", 3);
    f.Hodnota = "12.000";
    f.HodnotaF32 = 12;
    UlozChybu(f, 2, 1, '.');
    QCOMPARE(f.Hodnota, std::string("12.000"));
    QCOMPARE(f.HodnotaF32, 12.0);
    QCOMPARE(f.Chyba, uint8_t{2});
  }
};

QTEST_APPLESS_MAIN(TestDekodovani)
#include "test_dekodovani.moc"
