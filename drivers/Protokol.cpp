#include "Protokol.h"

#include "Linka.h"

namespace zqdrv {

namespace {
void Zapis16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v & 0xFF);
  p[1] = static_cast<uint8_t>(v >> 8);
}
uint16_t Cti16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
void PridejCrc(uint8_t* buf, size_t n) { Zapis16(buf + n, Crc16(buf, n)); }
bool CrcSedi(const uint8_t* buf, size_t n) { return Crc16(buf, n) == Cti16(buf + n); }
}  // namespace

uint16_t Crc16(const uint8_t* data, size_t n) {
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < n; ++i) {
    crc ^= data[i];
    for (int b = 0; b < 8; ++b)
      crc =
          (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
  }
  return crc;
}

size_t SestavDotaz(const TDotaz& d, uint8_t* buf) {
  if (d.Delka > MaxDataDotazu) return 0;
  buf[0] = ZnakDotazu;
  buf[1] = d.Cislo;
  buf[2] = d.Adresa;
  buf[3] = d.Funkce;
  buf[4] = d.Periferie;
  buf[5] = d.Delka;
  for (size_t i = 0; i < d.Delka; ++i) buf[6 + i] = d.Data[i];
  const size_t n = 6 + d.Delka;
  PridejCrc(buf, n);
  return n + 2;
}

size_t SestavOdpoved(const TOdpoved& o, uint8_t* buf) {
  buf[0] = ZnakOdpovedi;
  buf[1] = o.Cislo;
  buf[2] = o.Adresa;
  buf[3] = o.Funkce;
  buf[4] = o.Periferie;
  buf[5] = o.Status;
  for (size_t i = 0; i < 4; ++i) buf[6 + i] = o.Data[i];
  PridejCrc(buf, 10);
  return DelkaOdpovedi;
}

TRozbor RozeberOdpoved(const uint8_t* buf, size_t n, TOdpoved& o) {
  if (n == 0) return TRozbor::Kratky;
  if (buf[0] != ZnakOdpovedi) return TRozbor::Znak;
  if (n < DelkaOdpovedi) return TRozbor::Kratky;
  if (!CrcSedi(buf, 10)) return TRozbor::Crc;
  o.Cislo = buf[1];
  o.Adresa = buf[2];
  o.Funkce = buf[3];
  o.Periferie = buf[4];
  o.Status = buf[5];
  for (size_t i = 0; i < 4; ++i) o.Data[i] = buf[6 + i];
  return TRozbor::Ok;
}

TRozbor RozeberDotaz(const uint8_t* buf, size_t n, TDotaz& d, size_t& delka) {
  if (n == 0) return TRozbor::Kratky;
  if (buf[0] != ZnakDotazu) return TRozbor::Znak;
  if (n < 6) return TRozbor::Kratky;
  if (buf[5] > MaxDataDotazu) return TRozbor::Znak;
  delka = 8 + buf[5];
  if (n < delka) return TRozbor::Kratky;
  if (!CrcSedi(buf, delka - 2)) return TRozbor::Crc;
  d.Cislo = buf[1];
  d.Adresa = buf[2];
  d.Funkce = buf[3];
  d.Periferie = buf[4];
  d.Delka = buf[5];
  d.Data = {};
  for (size_t i = 0; i < d.Delka; ++i) d.Data[i] = buf[6 + i];
  return TRozbor::Ok;
}

size_t SestavLanDotaz(const TLanDotaz& d, uint8_t* buf) {
  buf[0] = 'Z';
  buf[1] = 'Q';
  buf[2] = LanDotaz;
  buf[3] = 0;
  Zapis16(buf + 4, d.Poradi);
  Zapis16(buf + 6, static_cast<uint16_t>(d.Rychlost & 0xFFFF));
  Zapis16(buf + 8, static_cast<uint16_t>(d.Rychlost >> 16));
  Zapis16(buf + 10, d.Timeout);
  const size_t n = SestavDotaz(d.Dotaz, buf + LanHlavickaDotazu);
  return n == 0 ? 0 : LanHlavickaDotazu + n;
}

size_t SestavLanOdpoved(const TLanOdpoved& o, uint8_t* buf) {
  buf[0] = 'Z';
  buf[1] = 'Q';
  buf[2] = LanOdpoved;
  buf[3] = o.Stav;
  Zapis16(buf + 4, o.Poradi);
  if (o.Stav != PrevodnikOk) return LanHlavickaOdpovedi;
  return LanHlavickaOdpovedi + SestavOdpoved(o.Odpoved, buf + LanHlavickaOdpovedi);
}

bool RozeberLanDotaz(const uint8_t* buf, size_t n, TLanDotaz& d) {
  if (n < LanHlavickaDotazu || buf[0] != 'Z' || buf[1] != 'Q' || buf[2] != LanDotaz || buf[3] != 0)
    return false;
  d.Poradi = Cti16(buf + 4);
  d.Rychlost =
      static_cast<uint32_t>(Cti16(buf + 6)) | (static_cast<uint32_t>(Cti16(buf + 8)) << 16);
  d.Timeout = Cti16(buf + 10);
  size_t delka = 0;
  return RozeberDotaz(buf + LanHlavickaDotazu, n - LanHlavickaDotazu, d.Dotaz, delka) ==
             TRozbor::Ok &&
         delka == n - LanHlavickaDotazu;
}

TLanRozbor RozeberLanOdpoved(const uint8_t* buf, size_t n, TLanOdpoved& o) {
  if (n < LanHlavickaOdpovedi) return TLanRozbor::Delka;
  if (buf[0] != 'Z' || buf[1] != 'Q' || buf[2] != LanOdpoved) return TLanRozbor::Hlavicka;
  o.Stav = buf[3];
  o.Poradi = Cti16(buf + 4);
  const size_t ocekavano = LanHlavickaOdpovedi + (o.Stav == PrevodnikOk ? DelkaOdpovedi : 0);
  if (n != ocekavano) return TLanRozbor::Delka;
  if (o.Stav != PrevodnikOk) return TLanRozbor::Ok;
  switch (RozeberOdpoved(buf + LanHlavickaOdpovedi, n - LanHlavickaOdpovedi, o.Odpoved)) {
    case TRozbor::Ok: return TLanRozbor::Ok;
    case TRozbor::Crc: return TLanRozbor::Crc;
    default: return TLanRozbor::Hlavicka;
  }
}

int DobaRamce(int32_t rychlost) { return linka::DobaRamce(rychlost); }

bool PodporovanaRychlost(int32_t rychlost) { return linka::PodporovanaRychlost(rychlost); }

int64_t DobaNaLince(size_t bajty, int32_t rychlost) {
  if (rychlost <= 0) return 0;
  return static_cast<int64_t>(bajty) * 10 * 1000000 / rychlost;
}

}  // namespace zqdrv
