#include "Hodiny.h"

#include <chrono>
#include <ctime>
#include <thread>

namespace {
std::function<TDatumCas()>& ZdrojCasu() {
  static std::function<TDatumCas()> zdroj;
  return zdroj;
}
}  // namespace

uint64_t TikMs() {
  using namespace std::chrono;
  return static_cast<uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void SpiMs(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

TDatumCas TedMistni() {
  if (const auto& zdroj = ZdrojCasu()) return zdroj();
  const std::time_t ted = std::time(nullptr);
  std::tm tm{};
  localtime_r(&ted, &tm);
  TDatumCas t;
  t.Rok = tm.tm_year + 1900;
  t.Mesic = tm.tm_mon + 1;
  t.Den = tm.tm_mday;
  t.Hodina = tm.tm_hour;
  t.Minuta = tm.tm_min;
  t.Sekunda = tm.tm_sec;
  return t;
}

void NastavZdrojCasu(std::function<TDatumCas()> zdroj) { ZdrojCasu() = std::move(zdroj); }

int DniVMesici(int rok, int mesic) {
  static constexpr int dni[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (mesic < 1 || mesic > 12) return 0;
  const bool prestupny = (rok % 4 == 0 && rok % 100 != 0) || rok % 400 == 0;
  return mesic == 2 && prestupny ? 29 : dni[mesic - 1];
}

int64_t PoradiDne(const TDatumCas& t) {
  const int64_t r = t.Mesic <= 2 ? t.Rok - 1 : t.Rok;
  const int64_t era = (r >= 0 ? r : r - 399) / 400;
  const int64_t roku = r - era * 400;
  const int64_t mesic = t.Mesic > 2 ? t.Mesic - 3 : t.Mesic + 9;
  const int64_t dneVRoce = (153 * mesic + 2) / 5 + t.Den - 1;
  const int64_t dneVEre = roku * 365 + roku / 4 - roku / 100 + dneVRoce;
  return era * 146097 + dneVEre - 719468;
}
