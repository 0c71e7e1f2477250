#include "Rozlozeni.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "Cisla.h"
#include "Cp1250.h"

namespace {

constexpr int SirkaBunky = 14;    // a text cell, a DBF field
constexpr int SirkaPopisku = 12;  // Index, Datum, Čas in the text header
constexpr size_t KrokBunky = SirkaBunky + 1;

const std::string& TextCas() {
  static const std::string text = Cp1250("Čas");
  return text;
}

// The bytes of `slovo` equal to `znak`, each marked by its high bit.
uint64_t Bajty(uint64_t slovo, char znak) {
  constexpr uint64_t Nizke = 0x7F7F7F7F7F7F7F7FULL;
  const uint64_t x = slovo ^ (0x0101010101010101ULL * static_cast<uint8_t>(znak));
  return ~(((x & Nizke) + Nizke) | x | Nizke);
}

// Which byte of the word (in memory order) the lowest mark of Bajty is.
size_t PrvniBajt(uint64_t znacky) {
  if constexpr (std::endian::native == std::endian::little)
    return static_cast<size_t>(std::countr_zero(znacky)) / 8;
  else
    return static_cast<size_t>(std::countl_zero(znacky & -znacky)) / 8;
}

std::string_view Orez(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// The fields of a CSV line, each out of its quotes.
std::vector<std::string> PoleCsv(std::string_view radek) {
  std::vector<std::string> pole(1);
  bool uvnitr = false, zacatek = true;
  for (size_t i = 0; i < radek.size(); ++i) {
    const char c = radek[i];
    if (c == '"' && !uvnitr && zacatek) {
      uvnitr = true;
    } else if (c == '"' && uvnitr) {
      if (i + 1 < radek.size() && radek[i + 1] == '"') {
        pole.back() += '"';
        ++i;
      } else {
        uvnitr = false;
      }
    } else if (c == ';' && !uvnitr) {
      pole.emplace_back();
      zacatek = true;
      continue;
    } else {
      pole.back() += c;
    }
    zacatek = false;
  }
  return pole;
}

// The cells of a text header line: Index, Datum and Čas 12 characters wide,
// every other cell 14, one TAB between; empty when the line is not made so.
std::optional<std::vector<std::string>> BunkyZahlavi(std::string_view radek) {
  std::vector<std::string> bunky;
  size_t p = 0;
  for (const std::string& popisek : {std::string("Index"), std::string("Datum"), TextCas()}) {
    std::string s = popisek;
    s.resize(SirkaPopisku, ' ');
    if (radek.substr(p, SirkaPopisku) == s &&
        (p + SirkaPopisku == radek.size() || radek[p + SirkaPopisku] == '\t')) {
      bunky.push_back(popisek);
      p += SirkaPopisku + 1;
    }
  }
  while (p < radek.size()) {
    if (radek.size() - p < static_cast<size_t>(SirkaBunky)) return std::nullopt;
    if (p + SirkaBunky < radek.size() && radek[p + SirkaBunky] != '\t') return std::nullopt;
    std::string_view b = radek.substr(p, SirkaBunky);
    while (!b.empty() && b.back() == ' ') b.remove_suffix(1);
    bunky.emplace_back(b);
    p += KrokBunky;
  }
  if (p == radek.size() + 1 || p == radek.size()) return bunky;
  return std::nullopt;
}

// The fields of a header-less text line of cells of 14 characters.
std::optional<std::vector<std::string>> BunkyZaznamu(std::string_view radek) {
  if ((radek.size() + 1) % KrokBunky != 0) return std::nullopt;
  std::vector<std::string> bunky;
  for (size_t p = 0; p < radek.size(); p += KrokBunky) {
    if (p + SirkaBunky < radek.size() && radek[p + SirkaBunky] != '\t') return std::nullopt;
    bunky.emplace_back(Orez(radek.substr(p, SirkaBunky)));
  }
  return bunky;
}

// A field a record could hold: a number, a date, a time, an index.
bool PodobaZaznamu(std::string_view pole) {
  pole = Orez(pole);
  if (pole.empty()) return false;
  if (pole == "NAN" || pole == "INF" || pole == "-INF") return true;
  for (size_t i = 0; i < pole.size(); ++i) {
    const char c = pole[i];
    if ((c >= '0' && c <= '9') || std::strchr(" .,:/-+", c) != nullptr) continue;
    if ((c == 'E' || c == 'e') && i > 0) continue;
    if ((pole.substr(i, 2) == "AM" || pole.substr(i, 2) == "PM")) {
      ++i;
      continue;
    }
    return false;
  }
  return true;
}

std::string Cislo(uint64_t n) { return CeleNaText(static_cast<int64_t>(n)); }

std::string Pole(int64_t n) {
  return PocetSlovem(n, Cp1250("pole"), Cp1250("pole"), Cp1250("polí"));
}

// A header of names in another encoding is read all the same (its names
// look odd); said, so that nobody takes them for the task's.
void PoznamkyKodovani(std::string_view radek, std::vector<std::string>& poznamky) {
  const bool jenAscii = std::all_of(radek.begin(), radek.end(),
                                    [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  for (const unsigned char b : {0x81, 0x83, 0x88, 0x90, 0x98})
    if (radek.find(static_cast<char>(b)) != std::string_view::npos) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "0x%02X", b);
      poznamky.push_back(Cp1250("záhlaví obsahuje bajt ") + hex +
                         Cp1250(", který ve Windows-1250 není znakem"));
      return;
    }
  if (!jenAscii && JePlatneUtf8(radek))
    poznamky.push_back(
        Cp1250("záhlaví vypadá jako text v UTF-8; soubor se čte ve Windows-1250, "
               "jak jej zapisuje tento program"));
}

std::string Uvozene(std::string_view t) { return Cp1250("„") + std::string(t) + Cp1250("“"); }

// The columns a header's names make: Index, Datum and Čas in that order,
// each optional, then the error groups (as many as the channels need: one
// for each 32), then the channels.  `pismenoSkupiny`: the groups' names as
// the format cuts them (DBF: 10 characters).
std::optional<TRozlozeni> ZNazvu(const std::vector<std::string>& nazvy, size_t delkaNazvu,
                                 std::string& duvod) {
  TRozlozeni r;
  size_t i = 0;
  const std::pair<std::string, int32_t> popisky[] = {
      {"Index", VolbaIndex}, {"Datum", VolbaDatum}, {TextCas(), VolbaCas}};
  for (const auto& [popisek, volba] : popisky)
    if (i < nazvy.size() && nazvy[i] == popisek) {
      r.Volby |= volba;
      ++i;
    }
  size_t skupin = 0;
  while (i + skupin < nazvy.size() &&
         nazvy[i + skupin] == NazevSkupinyChyb(static_cast<int>(32 * skupin)).substr(0, delkaNazvu))
    ++skupin;
  // A channel may be named like a group: the groups are as many as the
  // channels after them need, or none.
  for (;; --skupin) {
    const size_t kanalu = nazvy.size() - i - skupin;
    if (skupin == 0 || static_cast<int>(skupin) == PocetSkupinChyb(static_cast<int>(kanalu))) break;
  }
  if (skupin > 0) r.Volby |= VolbaChyba;
  const size_t kanalu = nazvy.size() - i - skupin;
  if (kanalu < 1 || kanalu > static_cast<size_t>(MaxKanalu)) {
    duvod = kanalu < 1 ? Cp1250("nemá žádný sloupec kanálu")
                       : Cp1250("má kanálů ") + Cislo(kanalu) + Cp1250(", nejvýše jich je ") +
                             Cislo(MaxKanalu);
    return std::nullopt;
  }
  r.PocetKanalu = static_cast<int>(kanalu);
  r.NazvyKanalu.assign(nazvy.begin() + static_cast<long>(i + skupin), nazvy.end());
  return r;
}

TRozpoznani Cizi(std::string duvod) {
  TRozpoznani v;
  v.Stav = TRozpoznani::Cizi;
  v.Duvod = std::move(duvod);
  return v;
}

uint32_t U16(std::string_view s, size_t p) {
  return static_cast<uint8_t>(s[p]) | (static_cast<uint32_t>(static_cast<uint8_t>(s[p + 1])) << 8);
}

TRozpoznani RozpoznejDbf(std::string_view z, uint64_t velikost) {
  if (z.size() < static_cast<size_t>(DBF_DelkaHlavicky))
    return Cizi(Cp1250("tabulka DBF je kratší než její hlavička (") + Cislo(z.size()) + " B)");
  if (static_cast<uint8_t>(z[0]) != DBF_Verze) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", static_cast<uint8_t>(z[0]));
    return Cizi(Cp1250("není tabulka dBASE III, jak ji zapisuje tento program (první bajt ") + hex +
                Cp1250(", čekán 0x03)"));
  }
  const uint32_t hlavicka = U16(z, 8), zaznam = U16(z, 10);
  const uint32_t poli = hlavicka >= 33 ? (hlavicka - 33) / DBF_DelkaPolozky : 0;
  if (poli < 1 || hlavicka != DBF_DelkaPolozky * poli + 33 || zaznam != DBF_SirkaPole * poli + 1 ||
      poli > static_cast<uint32_t>(DBF_MaxPolozek))
    return Cizi(Cp1250("hlavička tabulky udává délku ") + Cislo(hlavicka) + Cp1250(" B a záznam ") +
                Cislo(zaznam) + Cp1250(" B; tento program zapisuje pole po 14 znacích"));
  if (z.size() < hlavicka)
    return Cizi(Cp1250("tabulka DBF je kratší než její hlavička (") + Cislo(velikost) + " B)");
  if (static_cast<uint8_t>(z[hlavicka - 1]) != DBF_KonecHlavicky)
    return Cizi(Cp1250("hlavičku tabulky neukončuje bajt 0x0D"));
  std::vector<std::string> nazvy;
  std::vector<char> typy;
  std::vector<int> mista;
  for (uint32_t f = 0; f < poli; ++f) {
    const std::string_view d = z.substr(DBF_DelkaHlavicky + DBF_DelkaPolozky * f, DBF_DelkaPolozky);
    std::string_view n = d.substr(0, DBF_DelkaNazvu + 1);
    n = n.substr(0, n.find('\0'));
    while (!n.empty() && n.back() == ' ') n.remove_suffix(1);
    if (static_cast<uint8_t>(d[16]) != DBF_SirkaPole || (d[11] != 'N' && d[11] != 'C'))
      return Cizi(Cp1250("pole ") + Cislo(f + 1) + " " + Uvozene(n) + Cp1250(" má typ ") +
                  std::string(1, d[11]) + Cp1250(" a délku ") + Cislo(static_cast<uint8_t>(d[16])) +
                  Cp1250("; tento program zapisuje pole N nebo C o 14 znacích"));
    nazvy.emplace_back(n);
    typy.push_back(d[11]);
    mista.push_back(static_cast<uint8_t>(d[17]));
  }
  std::string duvod;
  std::optional<TRozlozeni> r = ZNazvu(nazvy, DBF_DelkaNazvu, duvod);
  if (!r) return Cizi(Cp1250("tabulka ") + duvod);
  // Only the date and the time are texts.
  for (int s = 0; s < r->PocetSloupcu(); ++s) {
    const bool text = s == r->SloupecDatumu() || s == r->SloupecCasu();
    if ((typy[static_cast<size_t>(s)] == 'C') != text)
      return Cizi(Cp1250("pole ") + Uvozene(nazvy[static_cast<size_t>(s)]) + Cp1250(" má typ ") +
                  std::string(1, typy[static_cast<size_t>(s)]) +
                  Cp1250("; tento program zapisuje jako text (C) jen Datum a Čas"));
  }
  r->Format = TFormatSouboru::DBF;
  r->ZacatekDat = hlavicka;
  r->DelkaZaznamu = zaznam;
  r->ZaznamuVHlavicce = U16(z, 4) | (static_cast<uint64_t>(U16(z, 6)) << 16);
  r->DesetinnaMista.assign(mista.end() - r->PocetKanalu, mista.end());
  TRozpoznani v;
  v.Stav = TRozpoznani::Ok;
  v.Rozlozeni = std::move(*r);
  const uint64_t vSouboru = velikost > hlavicka ? (velikost - hlavicka) / zaznam : 0;
  if (vSouboru != v.Rozlozeni.ZaznamuVHlavicce)
    v.Poznamky.push_back(Cp1250("počet záznamů v hlavičce tabulky je ") +
                         Cislo(v.Rozlozeni.ZaznamuVHlavicce) +
                         Cp1250(", podle velikosti souboru jich je ") + Cislo(vSouboru) +
                         Cp1250("; čte se podle velikosti"));
  return v;
}

// The header line of a task's file (as HlavickaRadku writes it), for a
// header-less file's first line to be told from a header.
TRozlozeni ZUlohy(const TUlohaSouboru& u, TFormatSouboru format) {
  TRozlozeni r;
  r.Format = format;
  r.Volby = u.Volby & (VolbaIndex | VolbaDatum | VolbaCas | VolbaChyba);
  r.PocetKanalu = u.PocetKanalu;
  r.NazvyKanalu = u.NazvyKanalu;
  r.NazvyKanalu.resize(static_cast<size_t>(u.PocetKanalu));
  for (std::string& n : r.NazvyKanalu) {
    if (format == TFormatSouboru::Text && n.size() > static_cast<size_t>(SirkaBunky))
      n.resize(SirkaBunky);
    if (format == TFormatSouboru::Text)
      while (!n.empty() && n.back() == ' ') n.pop_back();
  }
  return r;
}

}  // namespace

bool TRozlozeni::StejneSloupce(const TRozlozeni& j) const {
  return Format == j.Format && (Volby & ~VolbaZahlavi) == (j.Volby & ~VolbaZahlavi) &&
         PocetKanalu == j.PocetKanalu && NazvyKanalu == j.NazvyKanalu;
}

// ---- a record's fields --------------------------------------------------------

bool TPoleZaznamu::Vezmi(const char* data, size_t delka, int posledni) {
  data_ = data;
  delka_ = delka;
  const int sloupcu = r_.PocetSloupcu();
  if (posledni < 0 || posledni >= sloupcu) posledni = sloupcu - 1;
  uvozene_.clear();
  if (r_.Format == TFormatSouboru::DBF) {
    pevne_ = true;
    return delka == r_.DelkaZaznamu && data[0] == static_cast<char>(DBF_ZaznamPlatny);
  }
  if (r_.Format == TFormatSouboru::Text) {
    // Every line the writer makes has its cells at fixed places; each cell
    // read must still lie between TABs, or the line is split at its TABs.
    pevne_ = delka + 2 == r_.DelkaZaznamu;
    if (pevne_) return true;
    meze_.clear();
    size_t z = 0;
    for (size_t i = 0; i <= delka; ++i)
      if (i == delka || data[i] == '\t') {
        meze_.emplace_back(static_cast<uint32_t>(z), static_cast<uint32_t>(i));
        z = i + 1;
      }
    return static_cast<int>(meze_.size()) == sloupcu;
  }
  pevne_ = false;
  meze_.clear();
  // One pass: the fields up to `posledni` placed, the separators after them
  // only counted, and whether a quote anywhere asks for the careful way.
  // The first part eight bytes at a time: a long line has its columns
  // asked for near its beginning, and a byte loop there branches on every
  // byte.
  size_t z = 0, i = 0;
  bool uvozovky = false;
  int zbyva = 0;
  for (; i + 8 <= delka && static_cast<int>(meze_.size()) < posledni; i += 8) {
    uint64_t slovo;
    std::memcpy(&slovo, data + i, 8);
    uint64_t stredniky = Bajty(slovo, ';');
    uvozovky = uvozovky || Bajty(slovo, '"') != 0;
    for (; stredniky != 0 && static_cast<int>(meze_.size()) < posledni;
         stredniky &= stredniky - 1) {
      const size_t k = i + PrvniBajt(stredniky);
      meze_.emplace_back(static_cast<uint32_t>(z), static_cast<uint32_t>(k));
      z = k + 1;
    }
    for (; stredniky != 0; stredniky &= stredniky - 1) ++zbyva;
  }
  for (; i < delka && static_cast<int>(meze_.size()) < posledni; ++i) {
    const char c = data[i];
    if (c == ';') {
      meze_.emplace_back(static_cast<uint32_t>(z), static_cast<uint32_t>(i));
      z = i + 1;
    }
    uvozovky = uvozovky || c == '"';
  }
  // Counted in runs of at most 255 into bytes, which the compiler keeps in
  // byte lanes of its vector registers.
  for (size_t j = i; j < delka;) {
    const size_t konec = std::min(delka, j + 255);
    uint8_t strednik = 0, uvozovka = 0;
    for (; j < konec; ++j) {
      strednik += data[j] == ';';
      uvozovka |= data[j] == '"';
    }
    zbyva += strednik;
    uvozovky = uvozovky || uvozovka;
  }
  if (uvozovky) {
    odUvozovek_ = PoleCsv(std::string_view(data, delka));
    if (static_cast<int>(odUvozovek_.size()) != sloupcu) return false;
    uvozene_.resize(static_cast<size_t>(sloupcu));
    for (int k = 0; k < sloupcu; ++k) uvozene_[static_cast<size_t>(k)] = k;
    return true;
  }
  if (static_cast<int>(meze_.size()) < posledni) return false;
  const void* s = std::memchr(data + z, ';', delka - z);
  meze_.emplace_back(
      static_cast<uint32_t>(z),
      s ? static_cast<uint32_t>(static_cast<const char*>(s) - data) : static_cast<uint32_t>(delka));
  return posledni + 1 + zbyva == sloupcu;
}

std::string_view TPoleZaznamu::Pole(int s) const {
  if (!uvozene_.empty()) return odUvozovek_[static_cast<size_t>(uvozene_[static_cast<size_t>(s)])];
  if (pevne_ && r_.Format == TFormatSouboru::DBF)
    return Orez(std::string_view(data_ + 1 + static_cast<size_t>(s) * SirkaBunky, SirkaBunky));
  if (pevne_) {
    const size_t z = static_cast<size_t>(s) * KrokBunky;
    // A cell not bounded by TABs is not where the line's length says.
    if ((z > 0 && data_[z - 1] != '\t') ||
        (z + SirkaBunky < delka_ && data_[z + SirkaBunky] != '\t'))
      return {};
    return Orez(std::string_view(data_ + z, SirkaBunky));
  }
  const auto [z, k] = meze_[static_cast<size_t>(s)];
  const std::string_view p(data_ + z, k - z);
  return r_.Format == TFormatSouboru::Text ? Orez(p) : p;
}

// ---- numbers ----------------------------------------------------------------------

std::optional<double> CtiHodnotu(std::string_view t) {
  t = Orez(t);
  if (t == "NAN") return std::numeric_limits<double>::quiet_NaN();
  if (t == "INF") return std::numeric_limits<double>::infinity();
  if (t == "-INF") return -std::numeric_limits<double>::infinity();
  // from_chars wants '.', no '+' and a length it can hold here.
  char buf[64];
  if (t.empty() || t.size() >= sizeof buf) return std::nullopt;
  size_t n = 0, i = 0;
  if (t[0] == '+' || t[0] == '-') {
    if (t[0] == '-') buf[n++] = '-';
    ++i;
  }
  bool oddelovac = false, cislice = false;
  // The digits as an integer and the count after the separator, while they
  // fit a double exactly.
  uint64_t mantisa = 0;
  int platnych = 0, desetinnych = 0;
  for (; i < t.size(); ++i) {
    const char c = t[i];
    if (c >= '0' && c <= '9') {
      cislice = true;
      buf[n++] = c;
      if (mantisa != 0 || c != '0') ++platnych;
      mantisa = mantisa * 10 + static_cast<uint64_t>(c - '0');
      desetinnych += oddelovac;
    } else if ((c == '.' || c == ',') && !oddelovac) {
      oddelovac = true;
      buf[n++] = '.';
    } else {
      break;
    }
  }
  if (!cislice) return std::nullopt;
  // Up to 15 digits over a power of ten up to 10^22: both exact doubles, so
  // the one division rounds as from_chars does, at a fraction of its cost.
  static constexpr double Mocniny[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                       1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  if (i == t.size() && platnych <= 15 && desetinnych <= 22) {
    const double v = static_cast<double>(mantisa) / Mocniny[desetinnych];
    return buf[0] == '-' ? -v : v;
  }
  if (i < t.size() && (t[i] == 'E' || t[i] == 'e')) {
    buf[n++] = 'e';
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) buf[n++] = t[i++];
    const size_t exp = i;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') buf[n++] = t[i++];
    if (i == exp) return std::nullopt;
  }
  if (i != t.size()) return std::nullopt;
  double v = 0;
  const auto [konec, ec] = std::from_chars(buf, buf + n, v);
  if (ec != std::errc() || konec != buf + n) {
    if (ec == std::errc::result_out_of_range) return buf[0] == '-' ? -HUGE_VAL : HUGE_VAL;
    return std::nullopt;
  }
  return v;
}

std::optional<uint32_t> CtiSkupinu(std::string_view t) {
  t = Orez(t);
  uint32_t v = 0;
  const auto [konec, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
  if (t.empty() || ec != std::errc() || konec != t.data() + t.size()) return std::nullopt;
  return v;
}

// ---- recognition ------------------------------------------------------------------

TRozpoznani RozpoznejZacatek(std::string_view z, uint64_t velikost, TFormatSouboru format,
                             const TUlohaSouboru* uloha) {
  const std::string_view z0 = z;
  if (velikost == 0) return Cizi(Cp1250("soubor je prázdný"));
  if (format == TFormatSouboru::DBF) return RozpoznejDbf(z, velikost);

  const size_t lf = z.find('\n');
  if (lf == std::string_view::npos)
    return Cizi(z.size() < velikost ? Cp1250("řádek 1 je delší než ") + Cislo(z.size()) + " B"
                                    : Cp1250("řádek 1 není ukončen (CR LF)"));
  if (lf == 0 || z[lf - 1] != '\r')
    return Cizi(Cp1250("řádek 1 končí LF bez CR; tento program ukončuje řádky CR LF"));
  const std::string_view prvni = z.substr(0, lf - 1);
  for (char c : prvni) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 && b != '\t') return Cizi(Cp1250("řádek 1 obsahuje řídicí znak, není to text"));
  }

  const bool text = format == TFormatSouboru::Text;
  std::optional<std::vector<std::string>> nazvy =
      text ? BunkyZahlavi(prvni) : std::optional(PoleCsv(prvni));
  const bool jakoZaznam =
      !nazvy || std::all_of(nazvy->begin(), nazvy->end(),
                            [](const std::string& n) { return PodobaZaznamu(n); });
  std::string duvod;
  // Names that all look like values are a header only when the task says
  // the file has one with just these names.
  const bool zahlaviUlohy = nazvy && uloha && (uloha->Volby & VolbaZahlavi) && [&] {
    std::string d;
    std::optional<TRozlozeni> r = ZNazvu(*nazvy, std::string::npos, d);
    if (r) r->Format = format;
    return r && r->StejneSloupce(ZUlohy(*uloha, format));
  }();
  if (nazvy && (!jakoZaznam || zahlaviUlohy)) {
    if (std::optional<TRozlozeni> r = ZNazvu(*nazvy, std::string::npos, duvod)) {
      r->Format = format;
      r->Volby |= VolbaZahlavi;
      r->ZacatekDat = lf + 1;
      r->DelkaZaznamu = text ? static_cast<uint32_t>(KrokBunky * r->PocetSloupcu() + 1) : 0;
      // A line of names is a header of ours only when records of its
      // columns follow (one of the first, since a crash may have cut one).
      int radku = 0;
      bool zaznam = false;
      TPoleZaznamu pole(*r);
      for (size_t z = lf + 1, k; !zaznam && radku < 16 &&
                                 (k = z < z0.size() ? z0.find('\n', z) : std::string_view::npos) !=
                                     std::string_view::npos;
           z = k + 1, ++radku) {
        const size_t delka = k > z && z0[k - 1] == '\r' ? k - 1 - z : k - z;
        zaznam = pole.Vezmi(z0.data() + z, delka);
        for (int s = 0; zaznam && s < r->PocetSloupcu(); ++s) zaznam = PodobaZaznamu(pole.Pole(s));
      }
      if (radku > 0 && !zaznam)
        return Cizi(Cp1250("řádek 2 není záznamem sloupců záhlaví na řádku 1 (") +
                    Pole(r->PocetSloupcu()) + Cp1250(": čísla, datum a čas)"));
      TRozpoznani v;
      v.Stav = TRozpoznani::Ok;
      v.Rozlozeni = std::move(*r);
      PoznamkyKodovani(prvni, v.Poznamky);
      return v;
    }
    if (!uloha) return Cizi(Cp1250("záhlaví (řádek 1) ") + duvod);
  }

  // Not a header line: a record of a file written without one, or someone
  // else's file.
  const std::optional<std::vector<std::string>> pole =
      text ? BunkyZaznamu(prvni) : std::optional(PoleCsv(prvni));
  const bool zaznam = pole && std::all_of(pole->begin(), pole->end(),
                                          [](const std::string& p) { return PodobaZaznamu(p); });
  if (!zaznam)
    return Cizi(
        Cp1250("řádek 1 není záhlaví datového souboru (Index, Datum, Čas, Chyba…, "
               "kanály) ani jeho záznam"));
  if (!uloha) {
    TRozpoznani v;
    v.Stav = TRozpoznani::BezZahlavi;
    v.Duvod = Cp1250("soubor nemá řádek záhlaví; jeho sloupce určuje až jeho úloha");
    return v;
  }
  TRozlozeni r = ZUlohy(*uloha, format);
  if (static_cast<int>(pole->size()) != r.PocetSloupcu())
    return Cizi(Cp1250("řádek 1 má ") + Pole(static_cast<int64_t>(pole->size())) +
                Cp1250(", úloha ") + Uvozene(uloha->Jmeno) + Cp1250(" čeká ") +
                Pole(r.PocetSloupcu()));
  r.ZacatekDat = 0;
  r.DelkaZaznamu = text ? static_cast<uint32_t>(KrokBunky * r.PocetSloupcu() + 1) : 0;
  TRozpoznani v;
  v.Stav = TRozpoznani::Ok;
  v.Rozlozeni = std::move(r);
  return v;
}
