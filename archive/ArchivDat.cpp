#include "ArchivDat.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <functional>
#include <set>
#include <system_error>

#include "Cp1250.h"
#include "Dekl.h"
#include "Hodiny.h"
#include "Mistni.h"
#include "Slozka.h"

namespace fs = std::filesystem;

TArchivDat Archiv;

namespace {

constexpr int KanaluVeSkupine = 32;
constexpr int SirkaBunky = 14;    // text format cell
constexpr int SirkaPopisku = 12;  // Index, Datum, Čas in the text header

const std::string& TextCas() {
  static const std::string text = Cp1250("Čas");
  return text;
}

std::string Cislo(uint32_t hodnota) {
  char buf[16];
  auto [konec, ec] = std::to_chars(buf, buf + sizeof buf, hodnota);
  (void)ec;  // 16 characters always hold a 32-bit number
  return std::string(buf, konec);
}

// The text followed by spaces, cut to `sirka` characters.
std::string Vlevo(const std::string& text, size_t sirka) {
  std::string bunka = text.substr(0, sirka);
  bunka.resize(sirka, ' ');
  return bunka;
}

// Spaces followed by the text, of which the last `sirka` characters.
std::string Vpravo(const std::string& text, size_t sirka) {
  if (text.size() >= sirka) return text.substr(text.size() - sirka);
  return std::string(sirka - text.size(), ' ') + text;
}

// ---- columns ----------------------------------------------------------------

enum class TDruhSloupce { Index, Datum, Cas, Chyby, Kanal };

struct TSloupec {
  TDruhSloupce Druh;
  int Cislo;  // first channel of an error group, or the channel
};

// The columns of a record in file order: Index, Datum, Čas, the error groups,
// then the channels.
std::vector<TSloupec> Sloupce(int32_t volby, int n) {
  std::vector<TSloupec> sloupce;
  if (volby & VolbaIndex) sloupce.push_back({TDruhSloupce::Index, 0});
  if (volby & VolbaDatum) sloupce.push_back({TDruhSloupce::Datum, 0});
  if (volby & VolbaCas) sloupce.push_back({TDruhSloupce::Cas, 0});
  if (volby & VolbaChyba)
    for (int i = 0; i < n; i += KanaluVeSkupine) sloupce.push_back({TDruhSloupce::Chyby, i});
  for (int k = 0; k < n; ++k) sloupce.push_back({TDruhSloupce::Kanal, k});
  return sloupce;
}

std::string NazevSloupce(const TSloupec& s, const TArchivDat& a) {
  switch (s.Druh) {
    case TDruhSloupce::Index: return "Index";
    case TDruhSloupce::Datum: return "Datum";
    case TDruhSloupce::Cas: return TextCas();
    case TDruhSloupce::Chyby: return NazevSkupinyChyb(s.Cislo);
    case TDruhSloupce::Kanal: return a.Vzorek.Nazev[s.Cislo];
  }
  return {};
}

std::string HodnotaSloupce(const TSloupec& s, const TArchivDat& a, const std::string& datum,
                           const std::string& cas) {
  switch (s.Druh) {
    case TDruhSloupce::Index: return Cislo(a.IndexVzorku);
    case TDruhSloupce::Datum: return datum;
    case TDruhSloupce::Cas: return cas;
    case TDruhSloupce::Chyby: return Cislo(SkupinaChyb(a.Vzorek, s.Cislo, a.PocetKanalu));
    case TDruhSloupce::Kanal: return a.Vzorek.Hodnota[s.Cislo];
  }
  return {};
}

// The pieces joined by `oddelovac`, ended by CR LF.
std::string Radek(const std::vector<std::string>& kusy, char oddelovac) {
  std::string radek;
  for (size_t i = 0; i < kusy.size(); ++i) {
    if (i) radek += oddelovac;
    radek += kusy[i];
  }
  radek += "\r\n";
  return radek;
}

bool PlatnyArchiv(const TArchivDat& a) { return a.PocetKanalu >= 1 && a.PocetKanalu <= MaxKanalu; }

// ---- file access --------------------------------------------------------------

// A descriptor closed when it goes out of scope; Zavri() reports the result.
class TSoubor {
 public:
  explicit TSoubor(int fd) : fd_(fd) {}
  TSoubor(const TSoubor&) = delete;
  TSoubor& operator=(const TSoubor&) = delete;
  ~TSoubor() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool Otevren() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  bool Zavri() {
    int fd = fd_;
    fd_ = -1;
    return fd >= 0 && ::close(fd) == 0;
  }

 private:
  int fd_;
};

// Writes all of `data` at `pozice`, or at the end when pozice < 0.
bool Zapis(int fd, std::string_view data, off_t pozice = -1) {
  const char* p = data.data();
  size_t zbyva = data.size();
  while (zbyva > 0) {
    ssize_t n = pozice < 0 ? ::write(fd, p, zbyva) : ::pwrite(fd, p, zbyva, pozice);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    zbyva -= static_cast<size_t>(n);
    if (pozice >= 0) pozice += n;
  }
  return true;
}

bool Cti(int fd, char* buf, size_t delka, off_t pozice) {
  while (delka > 0) {
    ssize_t n = ::pread(fd, buf, delka, pozice);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    buf += n;
    delka -= static_cast<size_t>(n);
    pozice += n;
  }
  return true;
}

// Size of a regular file open at `fd`; -1 for anything else.
off_t Velikost(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return st.st_size;
}

enum class TStav { Neni, Je, Chyba };

TStav Existuje(const fs::path& cesta) {
  std::error_code ec;
  bool je = fs::exists(cesta, ec);
  if (ec) return TStav::Chyba;  // cannot tell: never risk truncating a file
  return je ? TStav::Je : TStav::Neni;
}

// Creates a new file holding `obsah`.  A file that could not be completed is
// removed again, so the next sample starts it afresh.
bool Vytvor(const fs::path& cesta, std::string_view obsah) {
  TSoubor f(::open(cesta.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (!f.Otevren()) return false;
  bool ok = Zapis(f.fd(), obsah);
  ok = f.Zavri() && ok;
  if (!ok) ::unlink(cesta.c_str());
  return ok;
}

// ---- text and CSV ---------------------------------------------------------------

// Creates the file with its header line when it does not exist (or is empty),
// then appends `radek`.  A last line left without its CR LF (a crash, a full disk) is
// ended first, so the new record starts a line of its own.
bool PripojRadek(const TArchivDat& a, const std::function<std::string()>& hlavicka,
                 const std::string& radek) {
  const fs::path cesta = SystemovaCesta(a.JmenoSouboru);
  switch (Existuje(cesta)) {
    case TStav::Chyba: return false;
    case TStav::Neni:
      if (!Vytvor(cesta, (a.Volby & VolbaZahlavi) ? hlavicka() : std::string())) return false;
      break;
    case TStav::Je: break;
  }

  TSoubor f(::open(cesta.c_str(), O_RDWR | O_APPEND | O_CLOEXEC));
  if (!f.Otevren()) return false;
  const off_t velikost = Velikost(f.fd());
  if (velikost < 0) return false;
  std::string data;
  if (velikost == 0 && (a.Volby & VolbaZahlavi)) {
    // An empty file left in place (not made here) still gets its header.
    data = hlavicka();
  } else if (velikost > 0) {
    char posledni = 0;
    if (!Cti(f.fd(), &posledni, 1, velikost - 1)) return false;
    if (posledni == '\r')
      data = "\n";
    else if (posledni != '\n')
      data = "\r\n";
  }
  data += radek;
  bool ok = Zapis(f.fd(), data);
  return f.Zavri() && ok;
}

// Runs one writer: `chyba` is "" when it succeeded, the error text when it
// failed or threw (a failure never leaves this unit as an exception).
template <class F>
void Proved(std::string& chyba, F&& zapis) {
  bool ok = false;
  try {
    ok = zapis();
  } catch (...) {
    ok = false;
  }
  if (ok)
    chyba.clear();
  else
    chyba = ChybaZapisu();
}

// The text and CSV formats differ in the separator, in the text format's
// fixed-width cells, whose date and time come from the clock, and in the
// quoting of CSV fields.
struct TRadkovyFormat {
  char Oddelovac;
  bool Bunky;  // text format: 14-character cells, date and time of the clock
};

std::string Pole(const TRadkovyFormat& f, const std::string& text, size_t sirkaBunky) {
  return f.Bunky ? Vlevo(text, sirkaBunky) : PoleCSV(text);
}

bool ZapisRadek(const TArchivDat& a, const TRadkovyFormat& f) {
  if (!PlatnyArchiv(a)) return false;
  const std::vector<TSloupec> sloupce = Sloupce(a.Volby, a.PocetKanalu);
  auto hlavicka = [&] {
    std::vector<std::string> kusy;
    for (const TSloupec& s : sloupce) {
      const bool popisek = s.Druh == TDruhSloupce::Index || s.Druh == TDruhSloupce::Datum ||
                           s.Druh == TDruhSloupce::Cas;
      const std::string nazev = NazevSloupce(s, a);
      kusy.push_back(Pole(f, nazev, popisek ? SirkaPopisku : SirkaBunky));
    }
    return Radek(kusy, f.Oddelovac);
  };
  std::string datum = a.Vzorek.Datum, cas = a.Vzorek.Cas;
  if (f.Bunky) {
    const TDatumCas ted = TedMistni();  // read once, so date and time agree
    datum = FormatujDatum(ted);
    cas = FormatujCas(ted);
  }
  std::vector<std::string> kusy;
  for (const TSloupec& s : sloupce) {
    const std::string text = HodnotaSloupce(s, a, datum, cas);
    kusy.push_back(Pole(f, text, SirkaBunky));
  }
  return PripojRadek(a, hlavicka, Radek(kusy, f.Oddelovac));
}

// ---- DBF ------------------------------------------------------------------------

void UlozU16(std::string& s, size_t pozice, uint32_t v) {
  s[pozice] = static_cast<char>(v & 0xFF);
  s[pozice + 1] = static_cast<char>((v >> 8) & 0xFF);
}

void UlozU32(std::string& s, size_t pozice, uint32_t v) {
  UlozU16(s, pozice, v & 0xFFFF);
  UlozU16(s, pozice + 2, v >> 16);
}

uint32_t CtiU16(const char* p) {
  return static_cast<uint8_t>(p[0]) | (static_cast<uint32_t>(static_cast<uint8_t>(p[1])) << 8);
}

struct TRozmeryDBF {
  uint32_t Hlavicka;  // main header, descriptors and 0x0D
  uint32_t Zaznam;    // one record with its deletion flag
};

TRozmeryDBF Rozmery(const TArchivDat& a) {
  const uint32_t f = static_cast<uint32_t>(PocetPoliDBF(a.Volby, a.PocetKanalu));
  return {DBF_DelkaHlavicky + DBF_DelkaPolozky * f + 1, DBF_SirkaPole * f + 1};
}

// Bytes 1..7 of the main header: date of the last write and record count.
// The year byte counts years since 1900 (126 is 2026): readers add 1900 to
// it, so a two-digit year would show as 19xx.
std::string DatumAPocet(const TDatumCas& dnes, uint32_t pocet) {
  std::string s(7, '\0');
  s[0] = static_cast<char>(std::clamp(dnes.Rok - 1900, 0, 255));
  s[1] = static_cast<char>(dnes.Mesic);
  s[2] = static_cast<char>(dnes.Den);
  UlozU32(s, 3, pocet);
  return s;
}

// Main header and descriptors of a new, empty table, ended by 0x0D.
std::string HlavickaDBF(const TArchivDat& a, const TDatumCas& dnes) {
  const TRozmeryDBF r = Rozmery(a);
  std::string s(DBF_DelkaHlavicky, '\0');
  s[0] = static_cast<char>(DBF_Verze);
  s.replace(1, 7, DatumAPocet(dnes, 0));
  UlozU16(s, 8, r.Hlavicka);
  UlozU16(s, 10, r.Zaznam);
  // Names and texts are Windows-1250; saying so lets readers decode the
  // Czech letters without being told.
  s[DBF_PoziceJazyka] = static_cast<char>(DBF_JazykCp1250);
  for (const TDBF_HlavickaPolozka& p : PolozkyDBF(a)) {
    std::string d(DBF_DelkaPolozky, '\0');
    d.replace(0, std::min<size_t>(p.Nazev.size(), DBF_DelkaNazvu), p.Nazev, 0, DBF_DelkaNazvu);
    d[11] = p.Typ;
    d[16] = static_cast<char>(p.Delka);
    d[17] = static_cast<char>(p.DesetinnaMista);
    for (size_t i = 0; i < p.Rezerva.size(); ++i) d[18 + i] = static_cast<char>(p.Rezerva[i]);
    s += d;
  }
  s += static_cast<char>(DBF_KonecHlavicky);
  return s;
}

// One record (deletion flag and fields) followed by the end-of-file marker.
std::string ZaznamDBF(const TArchivDat& a) {
  std::string z(1, static_cast<char>(DBF_ZaznamPlatny));
  for (const TSloupec& s : Sloupce(a.Volby, a.PocetKanalu)) {
    std::string text = HodnotaSloupce(s, a, a.Vzorek.Datum, a.Vzorek.Cas);
    if (s.Druh != TDruhSloupce::Kanal) {
      z += Vpravo(text, DBF_SirkaPole);
      continue;
    }
    std::string pole = text.size() >= static_cast<size_t>(DBF_SirkaPole)
                           ? text.substr(0, DBF_SirkaPole)
                           : Vpravo(text, DBF_SirkaPole);
    for (char& c : pole)
      if (c == ',') c = '.';
    z += pole;
  }
  z += static_cast<char>(DBF_KonecSouboru);
  return z;
}

// ---- DBF field names ----------------------------------------------------------

// Blanks a reader may strip from a name: space, TAB to CR, and the no-break
// space of Windows-1250.
bool Prazdny(char c) {
  const auto b = static_cast<unsigned char>(c);
  return b == ' ' || (b >= 0x09 && b <= 0x0D) || b == 0xA0;
}

// The name as a reader shows it: up to the first NUL, trailing blanks gone.
std::string_view Viditelny(std::string_view nazev) {
  nazev = nazev.substr(0, nazev.find('\0'));
  while (!nazev.empty() && Prazdny(nazev.back())) nazev.remove_suffix(1);
  return nazev;
}

// What a reader sees of a field name when telling two fields apart: the
// visible name without leading blanks either, letters folded to lower case.
// Two names with the same key collide.
std::string KlicNazvu(std::string_view nazev) {
  std::string_view v = Viditelny(nazev);
  while (!v.empty() && Prazdny(v.front())) v.remove_prefix(1);
  std::string klic;
  for (char c : v) klic += static_cast<char>(MalePismeno1250(static_cast<unsigned char>(c)));
  return klic;
}

// Candidate j for channel k whose own name is taken: the visible name with its
// end replaced by "_<k>" (j = 0) or "_<k>_<j>", padded with spaces to 10 like
// any channel name.  The channel number ties the column to the channel list.
std::string NahradniNazev(std::string_view nazev, int k, int j) {
  std::string pripona = "_" + Cislo(static_cast<uint32_t>(k));
  if (j > 0) pripona += "_" + Cislo(static_cast<uint32_t>(j));
  std::string n(Viditelny(nazev).substr(0, DBF_DelkaNazvu - pripona.size()));
  n += pripona;
  return Vlevo(n, DBF_DelkaNazvu);
}

// Creates the table when it does not exist, then appends one record.
//
// The record goes right after the last complete record, which is where the
// 0x1A marker stands in a sound file; a partial record left by a crash or a
// full disk is thereby overwritten.  The record is written before the header
// is patched, so the count in the header never names a record that is not
// there.  The count is the number of records in the file.
bool ZapisTabulku(const TArchivDat& a) {
  const fs::path cesta = SystemovaCesta(a.JmenoSouboru);
  const TStav stav = Existuje(cesta);
  if (stav == TStav::Chyba) return false;
  if (stav == TStav::Neni) {
    std::string obsah = HlavickaDBF(a, TedMistni());
    obsah += static_cast<char>(DBF_KonecSouboru);
    if (!Vytvor(cesta, obsah)) return false;
  }

  TSoubor f(::open(cesta.c_str(), O_RDWR | O_CLOEXEC));
  if (!f.Otevren()) return false;
  const off_t velikost = Velikost(f.fd());
  if (velikost < 0) return false;

  const TRozmeryDBF r = Rozmery(a);
  const TDatumCas dnes = TedMistni();
  bool hlavickaCela = velikost >= static_cast<off_t>(r.Hlavicka);
  if (velikost >= 12) {
    char h[12];
    if (!Cti(f.fd(), h, sizeof h, 0)) return false;
    // Another layout (not a table of this measurement): never write into it.
    if (static_cast<uint8_t>(h[0]) != DBF_Verze || CtiU16(h + 8) != r.Hlavicka ||
        CtiU16(h + 10) != r.Zaznam)
      return false;
  }
  if (!hlavickaCela) {
    // Creation was cut short: the file holds no record yet.
    if (!Zapis(f.fd(), HlavickaDBF(a, dnes), 0)) return false;
  }

  const uint32_t zaznamu =
      hlavickaCela ? static_cast<uint32_t>((velikost - r.Hlavicka) / r.Zaznam) : 0;
  const off_t pozice = static_cast<off_t>(r.Hlavicka) + static_cast<off_t>(zaznamu) * r.Zaznam;
  bool ok = Zapis(f.fd(), ZaznamDBF(a), pozice) && Zapis(f.fd(), DatumAPocet(dnes, zaznamu + 1), 1);
  return f.Zavri() && ok;
}

}  // namespace

// ---- public -------------------------------------------------------------------

// A CSV field as written: as it is, unless a separator, a quote or a line
// break inside would split the line; such a field is enclosed in quotes with
// every inner quote doubled, so spreadsheet readers take it whole.
std::string PoleCSV(const std::string& text) {
  if (text.find_first_of(";\"\r\n") == std::string::npos) return text;
  std::string pole = "\"";
  for (char c : text) {
    if (c == '"') pole += '"';
    pole += c;
  }
  pole += '"';
  return pole;
}

const std::string& ChybaZapisu() {
  static const std::string text = Cp1250("Chyba zápisu do souboru");
  return text;
}

TFormatSouboru FormatSouboru(std::string_view jmeno) {
  const size_t lomitko = jmeno.find_last_of("/\\");
  const std::string_view posledni =
      lomitko == std::string_view::npos ? jmeno : jmeno.substr(lomitko + 1);
  const size_t tecka = posledni.rfind('.');
  const std::string_view pripona =
      tecka == std::string_view::npos ? std::string_view() : posledni.substr(tecka);
  // The extension compared in upper case (ASCII letters only matter here).
  auto je = [&](std::string_view vzor) {
    if (pripona.size() != vzor.size()) return false;
    for (size_t i = 0; i < vzor.size(); ++i) {
      const char c = pripona[i];
      if (((c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c) != vzor[i]) return false;
    }
    return true;
  };
  if (je(".CSV")) return TFormatSouboru::CSV;
  if (je(".DBF")) return TFormatSouboru::DBF;
  return TFormatSouboru::Text;
}

int PocetSkupinChyb(int pocetKanalu) {
  return pocetKanalu > 0 ? (pocetKanalu + KanaluVeSkupine - 1) / KanaluVeSkupine : 0;
}

std::string NazevSkupinyChyb(int zacatek) {
  return "Chyba" + Cislo(static_cast<uint32_t>(zacatek)) + "-" +
         Cislo(static_cast<uint32_t>(zacatek + KanaluVeSkupine - 1));
}

uint32_t SkupinaChyb(const TVzorek& vzorek, int zacatek, int pocetKanalu) {
  uint32_t hodnota = 0;
  const int konec = std::min<int>(pocetKanalu, static_cast<int>(vzorek.Chyba.size()));
  for (int j = 0; j < KanaluVeSkupine; ++j) {
    const int k = zacatek + j;
    if (k >= 0 && k < konec && vzorek.Chyba[k] != 0) hodnota |= uint32_t{1} << j;
  }
  return hodnota;
}

int PocetPoliDBF(int32_t volby, int32_t pocetKanalu) {
  return static_cast<int>(Sloupce(volby, pocetKanalu).size());
}

std::vector<TDBF_HlavickaPolozka> PolozkyDBF(const TArchivDat& a) {
  const std::vector<TSloupec> sloupce = Sloupce(a.Volby, a.PocetKanalu);
  std::vector<TDBF_HlavickaPolozka> polozky;
  std::set<std::string> obsazene;  // keys of the names given so far
  std::vector<size_t> kolize;      // fields whose own name is taken
  for (size_t i = 0; i < sloupce.size(); ++i) {
    const TSloupec& s = sloupce[i];
    TDBF_HlavickaPolozka p;
    const std::string nazev = NazevSloupce(s, a);
    p.Nazev = s.Druh == TDruhSloupce::Kanal ? Vlevo(nazev, DBF_DelkaNazvu)
                                            : nazev.substr(0, DBF_DelkaNazvu);
    p.Typ = (s.Druh == TDruhSloupce::Datum || s.Druh == TDruhSloupce::Cas) ? 'C' : 'N';
    p.DesetinnaMista = s.Druh == TDruhSloupce::Kanal ? a.Vzorek.DesetinnaMista[s.Cislo] : 0;
    p.Rezerva[2] = 1;
    // Index, Datum, Čas and the error groups differ from each other and come
    // first, so only channels can find their name taken.
    if (!obsazene.insert(KlicNazvu(p.Nazev)).second) kolize.push_back(i);
    polozky.push_back(std::move(p));
  }
  // Renamed only once every name that stays is known, so a new name never
  // takes the name of a later channel.  The loop ends: at most 267 keys are
  // taken and the candidates for j > 0 all differ (each ends in "_<k>_<j>").
  for (size_t i : kolize) {
    for (int j = 0;; ++j) {
      std::string n = NahradniNazev(polozky[i].Nazev, sloupce[i].Cislo, j);
      if (obsazene.insert(KlicNazvu(n)).second) {
        polozky[i].Nazev = std::move(n);
        break;
      }
    }
  }
  return polozky;
}

void PripravArchiv(TArchivDat& archiv, const std::string& jmeno, int32_t volby,
                   int32_t pocetKanalu) {
  archiv.JmenoSouboru = jmeno;
  archiv.Volby = volby;
  archiv.PocetKanalu = pocetKanalu;
  archiv.IndexVzorku = 0;
  archiv.Vzorek = TVzorek{};
}

void ZapisTXT(TArchivDat& a, std::string& chyba) {
  Proved(chyba, [&] { return ZapisRadek(a, {'\t', true}); });
}

void ZapisCSV(TArchivDat& a, std::string& chyba) {
  Proved(chyba, [&] { return ZapisRadek(a, {';', false}); });
}

void ZapisDBF(TArchivDat& a, std::string& chyba) {
  Proved(chyba, [&] { return PlatnyArchiv(a) && ZapisTabulku(a); });
}

void ZapisVzorek(TArchivDat& archiv, std::string& chyba) {
  ++archiv.IndexVzorku;
  switch (FormatSouboru(archiv.JmenoSouboru)) {
    case TFormatSouboru::CSV: ZapisCSV(archiv, chyba); break;
    case TFormatSouboru::DBF: ZapisDBF(archiv, chyba); break;
    case TFormatSouboru::Text: ZapisTXT(archiv, chyba); break;
  }
}
