#include "Cisla.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

namespace {

bool JeMezera(char c) { return c == ' ' || c == '\t'; }

int HexCislice(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A finite non-zero magnitude as 0.d1d2d3... x 10^Exponent, rounded to
// `platnych` significant digits, trailing zeros dropped.
struct TRozklad {
  std::string Cislice;
  int Exponent = 0;
};

TRozklad Rozloz(double absolutni, int platnych) {
  char buf[64];
  auto [konec, chyba] =
      std::to_chars(buf, buf + sizeof buf, absolutni, std::chars_format::scientific, platnych - 1);
  (void)chyba;  // 64 characters always suffice for this form
  std::string_view text(buf, static_cast<size_t>(konec - buf));
  const size_t e = text.find('e');
  TRozklad r;
  for (char c : text.substr(0, e))
    if (c != '.') r.Cislice += c;
  int exp10 = 0;
  std::string_view exp = text.substr(e + 1);
  if (!exp.empty() && exp.front() == '+') exp.remove_prefix(1);
  std::from_chars(exp.data(), exp.data() + exp.size(), exp10);
  r.Exponent = exp10 + 1;
  while (r.Cislice.size() > 1 && r.Cislice.back() == '0') r.Cislice.pop_back();
  return r;
}

std::optional<std::string> NekonecnyText(double hodnota) {
  if (std::isnan(hodnota)) return std::string("NAN");
  if (std::isinf(hodnota)) return std::string(hodnota < 0 ? "-INF" : "INF");
  return std::nullopt;
}

std::string ObecnyText(double hodnota, char oddelovac, int platnych) {
  if (auto t = NekonecnyText(hodnota)) return *t;
  if (hodnota == 0.0) return "0";
  const TRozklad r = Rozloz(std::fabs(hodnota), platnych);
  const std::string& d = r.Cislice;
  const int E = r.Exponent;
  std::string vysledek = hodnota < 0 ? "-" : "";
  if (E >= 1 && E <= platnych) {
    if (static_cast<int>(d.size()) <= E) {
      vysledek += d;
      vysledek.append(static_cast<size_t>(E) - d.size(), '0');
    } else {
      vysledek.append(d, 0, static_cast<size_t>(E));
      vysledek += oddelovac;
      vysledek.append(d, static_cast<size_t>(E));
    }
  } else if (E >= -3 && E <= 0) {
    vysledek += '0';
    vysledek += oddelovac;
    vysledek.append(static_cast<size_t>(-E), '0');
    vysledek += d;
  } else {
    vysledek += d[0];
    if (d.size() > 1) {
      vysledek += oddelovac;
      vysledek.append(d, 1);
    }
    vysledek += 'E';
    vysledek += CeleNaText(E - 1);
  }
  return vysledek;
}

}  // namespace

std::optional<int32_t> TextNaCele(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && JeMezera(text[i])) ++i;
  bool zaporne = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    zaporne = text[i] == '-';
    ++i;
  }
  bool hex = false;
  if (i < text.size() && text[i] == '$') {
    hex = true;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= text.size()) return std::nullopt;
  uint64_t hodnota = 0;
  const uint64_t mez = hex ? 0xFFFFFFFFull : (zaporne ? 0x80000000ull : 0x7FFFFFFFull);
  for (; i < text.size(); ++i) {
    const int c =
        hex ? HexCislice(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
    if (c < 0) return std::nullopt;
    hodnota = hodnota * (hex ? 16 : 10) + static_cast<uint64_t>(c);
    if (hodnota > mez) return std::nullopt;
  }
  uint32_t bity = static_cast<uint32_t>(hodnota);
  if (zaporne) bity = 0u - bity;
  return static_cast<int32_t>(bity);
}

std::string CeleNaText(int64_t hodnota) {
  char buf[24];
  auto [konec, chyba] = std::to_chars(buf, buf + sizeof buf, hodnota);
  (void)chyba;  // 24 characters hold every 64-bit number
  return std::string(buf, konec);
}

std::string DoubleNaText(double hodnota, char oddelovac) {
  return ObecnyText(hodnota, oddelovac, 15);
}

std::string FixniText(double hodnota, int mista, char oddelovac) {
  if (auto t = NekonecnyText(hodnota)) return *t;
  mista = std::clamp(mista, 0, 18);
  std::string cela = "0";
  std::string zlomek;
  if (hodnota != 0.0) {
    const TRozklad r = Rozloz(std::fabs(hodnota), 16);
    if (r.Exponent > 16) return ObecnyText(hodnota, oddelovac, 16);
    if (r.Exponent > 0) {
      cela = r.Cislice.substr(0, static_cast<size_t>(r.Exponent));
      cela.append(static_cast<size_t>(r.Exponent) - cela.size(), '0');
      if (r.Cislice.size() > static_cast<size_t>(r.Exponent))
        zlomek = r.Cislice.substr(static_cast<size_t>(r.Exponent));
    } else {
      zlomek.assign(static_cast<size_t>(-r.Exponent), '0');
      zlomek += r.Cislice;
    }
  }
  // Round half away from zero at the last shown place, on the decimal digits.
  bool nahoru = false;
  if (zlomek.size() > static_cast<size_t>(mista)) {
    nahoru = zlomek[static_cast<size_t>(mista)] >= '5';
    zlomek.resize(static_cast<size_t>(mista));
  }
  zlomek.append(static_cast<size_t>(mista) - zlomek.size(), '0');
  std::string cislice = cela + zlomek;
  if (nahoru) {
    size_t j = cislice.size();
    while (j > 0 && cislice[j - 1] == '9') cislice[--j] = '0';
    if (j == 0)
      cislice.insert(cislice.begin(), '1');
    else
      ++cislice[j - 1];
  }
  const size_t delkaCele = cislice.size() - static_cast<size_t>(mista);
  const bool nula = cislice.find_first_not_of('0') == std::string::npos;
  std::string vysledek = (hodnota < 0 && !nula) ? "-" : "";
  vysledek.append(cislice, 0, delkaCele);
  if (mista > 0) {
    vysledek += oddelovac;
    vysledek.append(cislice, delkaCele);
  }
  return vysledek;
}

std::optional<double> TextNaDouble(std::string_view text, char oddelovac) {
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && JeMezera(text[i])) ++i;
  bool zaporne = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    zaporne = text[i] == '-';
    ++i;
  }
  std::string prevod;  // the number in the form from_chars reads
  int cislic = 0;
  bool oddelovacByl = false;
  for (; i < n; ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      prevod += c;
      ++cislic;
    } else if (c == oddelovac && !oddelovacByl) {
      prevod += '.';
      oddelovacByl = true;
    } else {
      break;
    }
  }
  if (cislic == 0) return std::nullopt;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    prevod += 'e';
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) prevod += text[i++];
    int cislicExp = 0;
    while (i < n && text[i] >= '0' && text[i] <= '9') {
      prevod += text[i++];
      ++cislicExp;
    }
    if (cislicExp == 0) return std::nullopt;
  }
  while (i < n && JeMezera(text[i])) ++i;
  if (i != n) return std::nullopt;
  double hodnota = 0.0;
  auto [konec, chyba] = std::from_chars(prevod.data(), prevod.data() + prevod.size(), hodnota);
  if (chyba != std::errc() || konec != prevod.data() + prevod.size()) return std::nullopt;
  return zaporne ? -hodnota : hodnota;
}

std::string PocetSlovem(int64_t n, std::string_view jeden, std::string_view dva,
                        std::string_view pet) {
  // Czech: 1 kanál, 2 to 4 kanály, 0 and 5 on kanálů (21 and 22 too).
  const int64_t a = n < 0 ? -n : n;
  const std::string_view slovo = a == 1 ? jeden : (a >= 2 && a <= 4 ? dva : pet);
  return CeleNaText(n) + " " + std::string(slovo);
}
