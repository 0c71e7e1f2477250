#pragma once
// Clock and scheduling.

#include <cstdint>
#include <functional>

// Milliseconds of a monotonic clock (never goes back; no wrap in practice).
uint64_t TikMs();

// Sleeps for about `ms` milliseconds.
void SpiMs(uint32_t ms);

struct TDatumCas {
  int Rok = 2000;  // four digits
  int Mesic = 1;   // 1..12
  int Den = 1;     // 1..31
  int Hodina = 0;  // 0..23
  int Minuta = 0;
  int Sekunda = 0;
};

// Local date and time now.
TDatumCas TedMistni();

// Replaces the source of TedMistni() (tests); an empty function restores the
// system clock.  Set it before any worker thread runs.
void NastavZdrojCasu(std::function<TDatumCas()> zdroj);

// Days of a month of the civil calendar; 0 for a month outside 1..12.
int DniVMesici(int rok, int mesic);

// Days since 1970-01-01 of the date of `t` (the civil calendar).
int64_t PoradiDne(const TDatumCas& t);
