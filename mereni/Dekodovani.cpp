#include "Dekodovani.h"

#include <cmath>

#include "Cisla.h"

uint32_t SestavU32(uint8_t r0, uint8_t r1, uint8_t r2, uint8_t r3) {
  return static_cast<uint32_t>(r0) | static_cast<uint32_t>(r1) << 8 |
         static_cast<uint32_t>(r2) << 16 | static_cast<uint32_t>(r3) << 24;
}

double SestavF32(uint8_t r0, uint8_t r1, uint8_t r2, uint8_t r3) {
  const uint32_t m = static_cast<uint32_t>(r0) | static_cast<uint32_t>(r1) << 8 |
                     static_cast<uint32_t>(r2 & 0x7F) << 16;
  double v = r2 >= 0x80 ? -static_cast<double>(m) : static_cast<double>(m);
  // Divided step by step, each quotient a double, as the modules' format is
  // defined; not one division by a power of ten.
  for (int n = r3 & 0x7F; n > 0; --n) v /= 10.0;
  return v;
}

int32_t ZaokrouhliNa32(double v) {
  if (!std::isfinite(v)) return 0;
  double r = std::nearbyint(v);  // default rounding: ties to even
  r = std::fmod(r, 4294967296.0);
  if (r < 0) r += 4294967296.0;
  return static_cast<int32_t>(static_cast<uint32_t>(r));
}

namespace {
double Prepocet(double surova, const TKanal& k) {
  const double soucin = surova * k.KonstK;  // the product is a double before the sum
  return soucin + k.KonstQ;
}
}  // namespace

double UlozPrecteno(TKanal& k, const uint8_t d[4], char oddelovac) {
  double v = std::nan("");
  if (k.Format == "uint32") {
    v = Prepocet(static_cast<double>(SestavU32(d[0], d[1], d[2], d[3])), k);
    k.HodnotaU32 = ZaokrouhliNa32(v);
    k.Hodnota = FixniText(v, k.DesetinnaMista, oddelovac);
  } else if (k.Format == "float32") {
    v = Prepocet(SestavF32(d[0], d[1], d[2], d[3]), k);
    k.HodnotaF32 = v;
    k.Hodnota = FixniText(v, k.DesetinnaMista, oddelovac);
  } else if (k.Format == "bool32") {
    k.HodnotaB32 = SestavU32(d[0], d[1], d[2], d[3]);
    k.Hodnota = std::to_string(k.HodnotaB32);
    v = k.HodnotaB32;
  }
  k.Chyba = 0;
  return v;
}

void UlozChybu(TKanal& k, uint8_t status, int32_t chybovaHodnota, char oddelovac) {
  if (chybovaHodnota == 0) {
    if (k.Format == "uint32") {
      k.HodnotaU32 = 0;
      k.Hodnota = "0";
    } else if (k.Format == "float32") {
      k.HodnotaF32 = 0.0;
      k.Hodnota = FixniText(0.0, k.DesetinnaMista, oddelovac);
    } else if (k.Format == "bool32") {
      k.HodnotaB32 = 0;
      k.Hodnota = "0";
    }
  }
  k.Chyba = status;
}
