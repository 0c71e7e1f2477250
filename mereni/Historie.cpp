#include "Historie.h"

#include <algorithm>
#include <climits>

namespace {
// A pass starts at least 1000 ms after the one before: an hour holds at most
// 3601 of them.
constexpr size_t MaxBodu = THistorie::PlnaDelkaMs / 1000 + 2;

// Bytes of a deque of `pocet` elements of `T` (libstdc++: blocks of 512
// bytes, or of one element when larger, at least one; and a map of pointers
// to them, at least 8, grown by doubling: counted as two per block).
template <class T>
size_t PametDeque(size_t pocet) {
  constexpr size_t blok = sizeof(T) < 512 ? 512 / sizeof(T) : 1;
  const size_t bloku = pocet / blok + 1;
  return bloku * blok * sizeof(T) + std::max<size_t>(8, 2 * bloku + 2) * sizeof(void*);
}
}  // namespace

std::string TStatistikaKanalu::TextPodleKodu() const {
  std::string s;
  for (const auto& [kod, pocet] : PodleKodu)
    s += (s.empty() ? "" : ", ") + std::to_string(kod) + ": " + std::to_string(pocet);
  return s;
}

void TStatistikaKanalu::Pricti(const TStatistikaKanalu& s) {
  Cteni += s.Cteni;
  Chyby += s.Chyby;
  Vyprselo += s.Vyprselo;
  VyprseloPrevodniku += s.VyprseloPrevodniku;
  for (const auto& [kod, pocet] : s.PodleKodu) PodleKodu[kod] += pocet;
  SoucetOdezvyMs += s.SoucetOdezvyMs;
  MaxOdezvyMs = std::max(MaxOdezvyMs, s.MaxOdezvyMs);
  // The latest failure of the two (local times of one day compare as text;
  // across midnight the later one added wins, which is the usual order).
  if (s.PosledniKod != 0 && (PosledniKod == 0 || s.PosledniCas >= PosledniCas)) {
    PosledniKod = s.PosledniKod;
    PosledniText = s.PosledniText;
    PosledniCas = s.PosledniCas;
  }
}

void THistorie::Zacni(uint64_t generace, const std::vector<uint8_t>& adresy, int32_t periodaSek,
                      const TPodminkyCteni& podminky) {
  std::lock_guard<std::mutex> z(zamek_);
  generace_ = generace;
  podminky_ = podminky;
  kanaly_.clear();
  kanaly_.shrink_to_fit();
  kanaly_.resize(adresy.size());
  for (size_t i = 0; i < adresy.size(); ++i) kanaly_[i].Statistika.Adresa = adresy[i];
  sirkaUsekuMs_ = PrvniSirkaUsekuMs;
  prubehy_ = TPrubehy{};
  prubehy_.PeriodaSek = periodaSek;
}

void THistorie::Pridej(uint64_t generace, size_t kanal, uint64_t casMs, double hodnota,
                       double odezvaMs, int kod, const std::string& text, const std::string& cas) {
  std::lock_guard<std::mutex> z(zamek_);
  if (generace != generace_ || kanal >= kanaly_.size()) return;
  TKanal& k = kanaly_[kanal];
  const float h = kod != 0 ? NAN : static_cast<float>(hodnota);

  // The last hour at full rate.  A point keeps 32 bits of its time from the
  // channel's base; the base moves up to the oldest point before a point
  // would not fit (once in some 24 days of a run), the points with it.
  if (k.Body.size() == MaxBodu) k.Body.pop_front();
  while (!k.Body.empty() && k.Zaklad + k.Body.front().Posun + PlnaDelkaMs < casMs)
    k.Body.pop_front();
  if (k.Body.empty()) k.Zaklad = casMs;
  // The clock is monotonic; a time before the base is taken as the base.
  const uint64_t t = std::max(casMs, k.Zaklad);
  if (t - k.Zaklad > INT32_MAX) {
    const uint32_t o = k.Body.front().Posun;
    for (TBod& b : k.Body) b.Posun -= o;
    k.Zaklad += o;
  }
  k.Body.push_back({static_cast<uint32_t>(t - k.Zaklad), h});

  // The whole run, thinned.
  uint64_t od = casMs / sirkaUsekuMs_ * sirkaUsekuMs_;
  if (k.Useky.empty() || k.Useky.back().OdMs != od) {
    if (k.Useky.size() >= MaxUseku) {
      Zredukuj();
      od = casMs / sirkaUsekuMs_ * sirkaUsekuMs_;
    }
    if (k.Useky.empty() || k.Useky.back().OdMs != od) k.Useky.push_back({od, NAN, NAN, 0, 0});
  }
  TUsekHistorie& u = k.Useky.back();
  if (u.Pocet < UINT16_MAX) ++u.Pocet;
  if (std::isnan(h)) {
    if (u.Chyb < UINT16_MAX) ++u.Chyb;
  } else {
    u.Min = std::isnan(u.Min) ? h : std::min(u.Min, h);
    u.Max = std::isnan(u.Max) ? h : std::max(u.Max, h);
  }

  Zapocitej(k.Statistika, odezvaMs, kod, text, cas);
}

void THistorie::PridejCteni(uint64_t generace, size_t kanal, double odezvaMs, int kod,
                            const std::string& text, const std::string& cas) {
  std::lock_guard<std::mutex> z(zamek_);
  if (generace == generace_ && kanal < kanaly_.size())
    Zapocitej(kanaly_[kanal].Statistika, odezvaMs, kod, text, cas);
}

// A failed read counts as having waited out a limit from 80 % of it on: the
// clocks of the program and of a converter do not agree to the millisecond,
// and an answer that came in the last fifth of the limit is as good as none.
constexpr double PodilLimitu = 0.8;

void THistorie::Zapocitej(TStatistikaKanalu& s, double odezvaMs, int kod, const std::string& text,
                          const std::string& cas) const {
  ++s.Cteni;
  s.SoucetOdezvyMs += odezvaMs;
  s.MaxOdezvyMs = std::max(s.MaxOdezvyMs, odezvaMs);
  if (kod != 0) {
    if (podminky_.LimitLinkyMs > 0 && odezvaMs >= PodilLimitu * podminky_.LimitLinkyMs)
      ++s.Vyprselo;
    // Only a converter that waits longer than the line can be told from it.
    if (podminky_.LimitPrevodnikuMs > podminky_.LimitLinkyMs &&
        odezvaMs >= PodilLimitu * podminky_.LimitPrevodnikuMs)
      ++s.VyprseloPrevodniku;
    ++s.Chyby;
    ++s.PodleKodu[kod];
    s.PosledniKod = kod;
    s.PosledniText = text;
    s.PosledniCas = cas;
  }
}

void THistorie::Zredukuj() {
  const uint32_t sirka = sirkaUsekuMs_ * 2;
  for (TKanal& k : kanaly_) {
    std::deque<TUsekHistorie> nove;
    for (const TUsekHistorie& u : k.Useky) {
      const uint64_t od = u.OdMs / sirka * sirka;
      if (nove.empty() || nove.back().OdMs != od) {
        nove.push_back(u);
        nove.back().OdMs = od;
        continue;
      }
      TUsekHistorie& n = nove.back();
      n.Pocet = static_cast<uint16_t>(std::min<int>(n.Pocet + u.Pocet, UINT16_MAX));
      n.Chyb = static_cast<uint16_t>(std::min<int>(n.Chyb + u.Chyb, UINT16_MAX));
      if (!std::isnan(u.Min)) n.Min = std::isnan(n.Min) ? u.Min : std::min(n.Min, u.Min);
      if (!std::isnan(u.Max)) n.Max = std::isnan(n.Max) ? u.Max : std::max(n.Max, u.Max);
    }
    k.Useky = std::move(nove);
  }
  sirkaUsekuMs_ = sirka;
}

void THistorie::PridejPrubeh(uint64_t generace, double ms) {
  std::lock_guard<std::mutex> z(zamek_);
  if (generace != generace_) return;
  ++prubehy_.Pocet;
  prubehy_.PosledniMs = ms;
  prubehy_.SoucetMs += ms;
  prubehy_.MaxMs = std::max(prubehy_.MaxMs, ms);
}

int32_t THistorie::PocetKanalu() const {
  std::lock_guard<std::mutex> z(zamek_);
  return static_cast<int32_t>(kanaly_.size());
}

TPodminkyCteni THistorie::Podminky() const {
  std::lock_guard<std::mutex> z(zamek_);
  return podminky_;
}

std::vector<TBodHistorie> THistorie::Body(size_t kanal, uint64_t odMs) const {
  std::lock_guard<std::mutex> z(zamek_);
  std::vector<TBodHistorie> body;
  if (kanal >= kanaly_.size()) return body;
  const TKanal& k = kanaly_[kanal];
  body.reserve(k.Body.size());
  for (const TBod& b : k.Body)
    if (k.Zaklad + b.Posun >= odMs) body.push_back({k.Zaklad + b.Posun, b.Hodnota});
  return body;
}

std::vector<TUsekHistorie> THistorie::Useky(size_t kanal) const {
  std::lock_guard<std::mutex> z(zamek_);
  if (kanal >= kanaly_.size()) return {};
  return {kanaly_[kanal].Useky.begin(), kanaly_[kanal].Useky.end()};
}

uint32_t THistorie::SirkaUsekuMs() const {
  std::lock_guard<std::mutex> z(zamek_);
  return sirkaUsekuMs_;
}

TStatistikaKanalu THistorie::Statistika(size_t kanal) const {
  std::lock_guard<std::mutex> z(zamek_);
  return kanal < kanaly_.size() ? kanaly_[kanal].Statistika : TStatistikaKanalu{};
}

std::map<uint8_t, TStatistikaKanalu> THistorie::PodleModulu() const {
  std::lock_guard<std::mutex> z(zamek_);
  std::map<uint8_t, TStatistikaKanalu> moduly;
  for (const TKanal& k : kanaly_) {
    TStatistikaKanalu& m = moduly[k.Statistika.Adresa];
    m.Adresa = k.Statistika.Adresa;
    m.Pricti(k.Statistika);
  }
  return moduly;
}

TStatistikaKanalu THistorie::Celkem() const {
  std::lock_guard<std::mutex> z(zamek_);
  TStatistikaKanalu c;
  for (const TKanal& k : kanaly_) c.Pricti(k.Statistika);
  return c;
}

TPrubehy THistorie::Prubehy() const {
  std::lock_guard<std::mutex> z(zamek_);
  return prubehy_;
}

size_t THistorie::Pamet() const {
  std::lock_guard<std::mutex> z(zamek_);
  size_t bajty = sizeof(*this) + kanaly_.capacity() * sizeof(TKanal);
  for (const TKanal& k : kanaly_) {
    bajty += PametDeque<TBod>(k.Body.size()) + PametDeque<TUsekHistorie>(k.Useky.size());
    // A map node: the pair and the tree's three pointers and colour.
    bajty += k.Statistika.PodleKodu.size() * (sizeof(std::pair<const int, uint64_t>) + 32);
    bajty += k.Statistika.PosledniText.capacity() + k.Statistika.PosledniCas.capacity();
  }
  return bajty;
}
