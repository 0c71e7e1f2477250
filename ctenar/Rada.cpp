#include "Rada.h"

#include <algorithm>
#include <system_error>

#include "Hodiny.h"

namespace fs = std::filesystem;

namespace {

// Reads exactly `n` digits at `p`, moving it on.
bool Cislice(std::string_view s, size_t& p, size_t n, int& hodnota) {
  if (p + n > s.size()) return false;
  hodnota = 0;
  for (size_t i = 0; i < n; ++i) {
    const char c = s[p + i];
    if (c < '0' || c > '9') return false;
    hodnota = hodnota * 10 + (c - '0');
  }
  p += n;
  return true;
}

// "-<n>" or "_<n>" with n of 2 or more, no leading zero.
bool Poradi(std::string_view s, size_t& p, char znak, int& n) {
  if (p + 1 >= s.size() || s[p] != znak || s[p + 1] < '1' || s[p + 1] > '9') return false;
  size_t q = p + 1;
  int v = 0;
  while (q < s.size() && s[q] >= '0' && s[q] <= '9' && v < 1000000) v = v * 10 + (s[q++] - '0');
  if (v < 2) return false;
  n = v;
  p = q;
  return true;
}

int64_t Den(int rok, int mesic, int den) {
  TDatumCas t;
  t.Rok = rok;
  t.Mesic = mesic;
  t.Den = den;
  return PoradiDne(t);
}

// The part between the stem and the extension: "_2026-12-08" and the rest;
// only a table (`dbf`) has further parts.
std::optional<TPoradiVRade> Pripona(std::string_view s, bool dbf) {
  TPoradiVRade p;
  size_t i = 0;
  int rok = 0, mesic = 0, den = 0;
  if (i < s.size() && s[i] == '_' && Cislice(s, ++i, 4, rok) && i < s.size() && s[i] == '-') {
    ++i;
    if (i < s.size() && s[i] == 'W') {
      int tyden = 0;
      if (!Cislice(s, ++i, 2, tyden) || tyden < 1 || tyden > 53) return std::nullopt;
      // Monday of ISO week 1 is the Monday of the week holding 4 January.
      const int64_t ctvrty = Den(rok, 1, 4);
      const int64_t denTydne = ((ctvrty % 7) + 7 + 3) % 7;  // 0 Monday
      p.Zacatek = (ctvrty - denTydne + int64_t{7} * (tyden - 1)) * 86400;
    } else {
      if (!Cislice(s, i, 2, mesic) || mesic < 1 || mesic > 12) return std::nullopt;
      den = 1;
      if (i < s.size() && s[i] == '-') {
        if (!Cislice(s, ++i, 2, den) || den < 1 || den > DniVMesici(rok, mesic))
          return std::nullopt;
      }
      p.Zacatek = Den(rok, mesic, den) * 86400;
      int hms = 0;
      size_t j = i;
      if (i == 11 && j < s.size() && s[j] == '_' && Cislice(s, ++j, 6, hms)) {
        const int h = hms / 10000, m = hms / 100 % 100, sek = hms % 100;
        if (h > 23 || m > 59 || sek > 59) return std::nullopt;
        p.Zacatek += h * 3600 + m * 60 + sek;
        i = j;
        Poradi(s, i, '-', p.Kolize);
      }
    }
  } else {
    i = 0;
  }
  if (dbf) Poradi(s, i, '_', p.Dil);
  if (i != s.size()) return std::nullopt;
  return p;
}

std::pair<std::string_view, std::string_view> KmenAPripona(std::string_view jmeno) {
  const size_t tecka = jmeno.rfind('.');
  if (tecka == std::string_view::npos || tecka == 0) return {jmeno, {}};
  return {jmeno.substr(0, tecka), jmeno.substr(tecka)};
}

bool JeDbf(std::string_view pripona) {
  return pripona.size() == 4 && pripona[0] == '.' && (pripona[1] | 0x20) == 'd' &&
         (pripona[2] | 0x20) == 'b' && (pripona[3] | 0x20) == 'f';
}

}  // namespace

std::optional<TPoradiVRade> PoradiVRade(std::string_view jmeno, std::string_view zaklad) {
  const auto [kmen, pripona] = KmenAPripona(zaklad);
  if (jmeno.size() < kmen.size() + pripona.size() || !jmeno.starts_with(kmen) ||
      !jmeno.ends_with(pripona))
    return std::nullopt;
  return Pripona(jmeno.substr(kmen.size(), jmeno.size() - kmen.size() - pripona.size()),
                 JeDbf(pripona));
}

std::string ZakladRady(std::string_view jmeno) {
  const auto [kmen, pripona] = KmenAPripona(jmeno);
  // The shortest stem whose rest is a period or a part.
  for (size_t i = 1; i < kmen.size(); ++i)
    if (kmen[i] == '_' && Pripona(kmen.substr(i), JeDbf(pripona)))
      return std::string(kmen.substr(0, i)) + std::string(pripona);
  return std::string(jmeno);
}

std::vector<fs::path> NajdiRadu(const fs::path& soubor) {
  const std::string zaklad = ZakladRady(soubor.filename().string());
  const fs::path slozka = soubor.parent_path().empty() ? fs::path(".") : soubor.parent_path();
  std::vector<std::pair<TPoradiVRade, fs::path>> clenove;
  std::error_code ec;
  for (fs::directory_iterator d(slozka, ec), konec; !ec && d != konec; d.increment(ec)) {
    const std::string jmeno = d->path().filename().string();
    if (const auto p = PoradiVRade(jmeno, zaklad); p && d->is_regular_file(ec))
      clenove.emplace_back(*p, soubor.parent_path() / jmeno);
  }
  std::sort(clenove.begin(), clenove.end());
  std::vector<fs::path> cesty;
  cesty.reserve(clenove.size());
  for (auto& c : clenove) cesty.push_back(std::move(c.second));
  return cesty;
}
