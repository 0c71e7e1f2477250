#include "Oznamovatel.h"

#include <atomic>

#include "Cp1250.h"

namespace {

// Numbers over all publishers of the program: a reader that keeps the last
// number it said never repeats a text of another publisher.
std::atomic<uint64_t> dalsiCislo{1};

// Distinct failures remembered; an older one is forgotten first.
constexpr size_t MaxSelhani = 32;

}  // namespace

void TOznamovatel::Rekni(const std::string& text) {
  TOznameniPublikace o;
  o.Cislo = dalsiCislo++;
  o.CasMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::system_clock::now().time_since_epoch())
                .count();
  o.Text = text;
  posledni_.push_back(std::move(o));
  while (posledni_.size() > Uchovano) posledni_.pop_front();
}

void TOznamovatel::Selhani(const std::string& text, THodiny::time_point kdy) {
  auto i = selhani_.find(text);
  if (i == selhani_.end()) {
    if (selhani_.size() >= MaxSelhani) {
      auto nejstarsi = selhani_.begin();
      for (auto j = selhani_.begin(); j != selhani_.end(); ++j)
        if (j->second.Kdy < nejstarsi->second.Kdy) nejstarsi = j;
      selhani_.erase(nejstarsi);
    }
    selhani_.emplace(text, TRecene{kdy, 0});
    Rekni(text);
    return;
  }
  TRecene& r = i->second;
  ++r.Pocet;
  if (kdy - r.Kdy < OpakovaniSelhani) return;
  Rekni(text + Cp1250(" (znovu ") + std::to_string(r.Pocet) + Cp1250("× od minulého hlášení)"));
  r = {kdy, 0};
}

void TOznamovatel::Spojeno() { selhani_.clear(); }

void TOznamovatel::ZahozenoDalsich(const std::string& duvod, TRecene& r, THodiny::time_point kdy) {
  Rekni(Cp1250("zahozeno dalších vzorků: ") + std::to_string(r.Pocet) + " (" + duvod + ")");
  r = {kdy, 0};
}

void TOznamovatel::Zahozeno(const std::string& duvod, uint64_t pocet, const std::string& ihned,
                            THodiny::time_point kdy) {
  if (pocet == 0) return;
  auto i = zahozeni_.find(duvod);
  if (i == zahozeni_.end() || (i->second.Pocet == 0 && kdy - i->second.Kdy >= OpakovaniZahozeni)) {
    zahozeni_[duvod] = {kdy, 0};
    Rekni(ihned);
    return;
  }
  TRecene& r = i->second;
  r.Pocet += pocet;
  if (kdy - r.Kdy >= OpakovaniZahozeni) ZahozenoDalsich(duvod, r, kdy);
}

void TOznamovatel::Tik(THodiny::time_point kdy) {
  for (auto& [duvod, r] : zahozeni_)
    if (r.Pocet > 0 && kdy - r.Kdy >= OpakovaniZahozeni) ZahozenoDalsich(duvod, r, kdy);
}

std::vector<TOznameniPublikace> TOznamovatel::Posledni() const {
  return {posledni_.begin(), posledni_.end()};
}
