#include "MistniCas.h"

#include <algorithm>
#include <ctime>

namespace {

// The zone's offset from UTC at instant `okamzik`, in seconds.
int64_t Posun(int64_t okamzik) {
  const std::time_t t = static_cast<std::time_t>(okamzik);
  std::tm tm{};
  if (localtime_r(&t, &tm) == nullptr) return 0;
  return tm.tm_gmtoff;
}

int64_t DeleniDolu(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

}  // namespace

int64_t NaivniSekundy(const TDatumCas& t) {
  return PoradiDne(t) * 86400 + int64_t{t.Hodina} * 3600 + int64_t{t.Minuta} * 60 + t.Sekunda;
}

void TMistniCas::Priprav(int64_t minuta) {
  if (minuta == minuta_) return;
  minuta_ = minuta;
  const int64_t naivni = minuta * 60;
  // A zone changes its offset at most once within a day either side: the
  // offsets a day before and a day after are the candidates, and one that
  // gives back this local time when applied is valid.
  const int64_t pred = Posun(naivni - 86400), po = Posun(naivni + 86400);
  const bool predPlati = Posun(naivni - pred) == pred;
  const bool poPlati = Posun(naivni - po) == po;
  if (predPlati && poPlati) {
    // Both: the repeated hour (or no change at all when they are equal).
    posunPrvni_ = std::max(pred, po);
    posunDruhy_ = std::min(pred, po);
  } else if (predPlati || poPlati) {
    posunPrvni_ = posunDruhy_ = predPlati ? pred : po;
  } else {
    posunPrvni_ = posunDruhy_ = pred;  // the skipped hour
  }
}

void TMistniCas::Okamziky(const TDatumCas& t, int64_t& prvni, int64_t& posledni) {
  const int64_t naivni = NaivniSekundy(t);
  Priprav(DeleniDolu(naivni, 60));
  prvni = naivni - posunPrvni_;
  posledni = naivni - posunDruhy_;
}

int64_t TMistniCas::Sekundy(const TDatumCas& t, int64_t predchozi) {
  int64_t prvni = 0, posledni = 0;
  Okamziky(t, prvni, posledni);
  return prvni >= predchozi || predchozi == ZadnyCas || posledni < predchozi ? prvni : posledni;
}
