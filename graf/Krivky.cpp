#include "Krivky.h"

#include <cmath>
#include <utility>

TSloupceKrivky::TSloupceKrivky(double odMs, double krokMs, double posunMs)
    : odMs_(odMs), krokMs_(krokMs), posunMs_(posunMs) {}

void TSloupceKrivky::Pridej(double casMs, double hodnota) {
  const int64_t s =
      krokMs_ > 0 ? static_cast<int64_t>(std::floor((casMs - odMs_) / krokMs_)) : poradi_++;
  if (s != sloupec_) {
    UzavriSloupec();
    sloupec_ = s;
  }
  if (std::isnan(hodnota)) {
    chyba_ = true;
  } else if (!platny_) {
    min_ = max_ = {casMs, hodnota};
    platny_ = true;
  } else {
    if (hodnota < min_.Hodnota) min_ = {casMs, hodnota};
    if (hodnota > max_.Hodnota) max_ = {casMs, hodnota};
  }
}

void TSloupceKrivky::Prerus() {
  UzavriSloupec();
  sloupec_ = INT64_MIN;
  if (!cast_.isEmpty()) casti_.push_back(std::exchange(cast_, {}));
}

void TSloupceKrivky::UzavriSloupec() {
  if (platny_) {
    const bool minPrvni = min_.CasMs <= max_.CasMs;
    const TBod& a = minPrvni ? min_ : max_;
    const TBod& b = minPrvni ? max_ : min_;
    cast_.append(QPointF(posunMs_ + a.CasMs, a.Hodnota));
    if (min_.Hodnota != max_.Hodnota) cast_.append(QPointF(posunMs_ + b.CasMs, b.Hodnota));
  } else if (chyba_ && !cast_.isEmpty()) {
    casti_.push_back(std::exchange(cast_, {}));
  }
  platny_ = chyba_ = false;
}

std::vector<QList<QPointF>> TSloupceKrivky::Casti() {
  UzavriSloupec();
  sloupec_ = INT64_MIN;
  std::vector<QList<QPointF>> casti = std::exchange(casti_, {});
  if (!cast_.isEmpty()) casti.push_back(std::exchange(cast_, {}));
  return casti;
}
