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
