#include "ArchivDat.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <system_error>

#include "ChybySouboru.h"
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

// Why the append at hand failed: the first cause seen wins (an errno value
// or one of ChybySouboru.h's codes).  Every helper below that returns false
// has recorded its cause here.
struct TSelhani {
  int Kod = 0;
  bool Zapamatuj(int kod) {
    if (Kod == 0) Kod = kod != 0 ? kod : EIO;
    return false;
  }
  bool Errno() { return Zapamatuj(errno); }
};

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
  bool Zavri(TSelhani& s) {
    int fd = fd_;
    fd_ = -1;
    return (fd >= 0 && ::close(fd) == 0) || s.Errno();
  }

 private:
  int fd_;
};

// Writes all of `data` at `pozice`, or at the end when pozice < 0.
bool Zapis(int fd, std::string_view data, TSelhani& s, off_t pozice = -1) {
  const char* p = data.data();
  size_t zbyva = data.size();
  while (zbyva > 0) {
    ssize_t n = pozice < 0 ? ::write(fd, p, zbyva) : ::pwrite(fd, p, zbyva, pozice);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return s.Errno();
    if (n == 0) return s.Zapamatuj(ENOSPC);  // nothing taken and no reason given
    p += n;
    zbyva -= static_cast<size_t>(n);
    if (pozice >= 0) pozice += n;
  }
  return true;
}

bool Cti(int fd, char* buf, size_t delka, off_t pozice, TSelhani& s) {
  while (delka > 0) {
    ssize_t n = ::pread(fd, buf, delka, pozice);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return s.Errno();
    if (n == 0) return s.Zapamatuj(EIO);  // the file is shorter than it said
    buf += n;
    delka -= static_cast<size_t>(n);
    pozice += n;
  }
  return true;
}

// Size of a regular file open at `fd`; -1 for anything else.
off_t Velikost(int fd, TSelhani& s) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    s.Errno();
    return -1;
  }
  if (!S_ISREG(st.st_mode)) {
    s.Zapamatuj(ChybaNeniSoubor);
    return -1;
  }
  return st.st_size;
}

enum class TStav { Neni, Je, Chyba };

TStav Existuje(const fs::path& cesta, TSelhani& s) {
  std::error_code ec;
  bool je = fs::exists(cesta, ec);
  if (ec) {
    // Cannot tell: never risk truncating a file.
    s.Zapamatuj(ec.value());
    return TStav::Chyba;
  }
  return je ? TStav::Je : TStav::Neni;
}

// Creates a new file holding `obsah`.  A file that could not be completed is
// removed again, so the next sample starts it afresh.
bool Vytvor(const fs::path& cesta, std::string_view obsah, TSelhani& s) {
  TSoubor f(::open(cesta.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (!f.Otevren()) return s.Errno();
  bool ok = Zapis(f.fd(), obsah, s);
  ok = f.Zavri(s) && ok;
  if (!ok) ::unlink(cesta.c_str());
  return ok;
}

// An append that fails leaves the file as it was before it, byte for byte:
// a reader (a spreadsheet, the next run continuing the file) never finds a
// fragment of a record that was reported as not written.  What the append
// may overwrite is kept here before it starts; Vrat() cuts the file back to
// its old length and puts those bytes back.  A file made by this very
// append is removed instead.
class TNavrat {
 public:
  TNavrat(const fs::path& cesta, bool novy) : cesta_(cesta), novy_(novy) {}
  // Opens the file for the append and notes its length; -1 (the file put
  // back) when it cannot be opened or is not a regular file.
  int Otevri(int priznaky, TSelhani& s) {
    const int fd = ::open(cesta_.c_str(), priznaky | O_CLOEXEC);
    if (fd < 0) {
      s.Errno();
      Vrat(-1);
      return -1;
    }
    velikost_ = ::Velikost(fd, s);
    if (velikost_ < 0) {
      Vrat(fd);
      ::close(fd);
      return -1;
    }
    return fd;
  }
  off_t Velikost() const { return velikost_; }
  // Puts the file back; always false, for the failing writer to return.
  bool Selhalo(int fd) {
    Vrat(fd);
    return false;
  }
  // Keeps bytes [pozice, pozice + delka) of the old file, the part of them
  // that exists, before they are overwritten.
  bool Uschovej(int fd, off_t pozice, size_t delka, TSelhani& s) {
    if (pozice >= velikost_) return true;
    delka = std::min<size_t>(delka, static_cast<size_t>(velikost_ - pozice));
    std::string b(delka, '\0');
    if (!Cti(fd, b.data(), delka, pozice, s)) return false;
    kusy_.push_back({pozice, std::move(b)});
    return true;
  }
  // `fd` is the still open file, or -1 when it is closed already.
  void Vrat(int fd) {
    if (novy_) {
      ::unlink(cesta_.c_str());
      return;
    }
    if (velikost_ < 0) return;  // nothing was written yet
    TSelhani jedno;             // the first cause is what the operator reads
    if (fd >= 0) {
      if (::ftruncate(fd, velikost_) != 0) return;
      // Put back last-first: a later copy may overlap an earlier one.
      for (auto k = kusy_.rbegin(); k != kusy_.rend(); ++k) Zapis(fd, k->second, jedno, k->first);
      return;
    }
    TSoubor f(::open(cesta_.c_str(), O_WRONLY | O_CLOEXEC));
    if (f.Otevren()) Vrat(f.fd());
  }

 private:
  fs::path cesta_;
  bool novy_;
  off_t velikost_ = -1;
  std::vector<std::pair<off_t, std::string>> kusy_;
};

// ---- text and CSV ---------------------------------------------------------------

// Creates the file with its header line when it does not exist (or is empty),
// then appends `radek`.  A last line left without its CR LF (a crash) is
// ended first, so the new record starts a line of its own.  A failed append
// leaves the file as it was (TNavrat).
bool PripojRadek(const TArchivDat& a, const std::function<std::string()>& hlavicka,
                 const std::string& radek, TSelhani& s) {
  const fs::path cesta = SystemovaCesta(a.JmenoSouboru);
  bool novy = false;
  switch (Existuje(cesta, s)) {
    case TStav::Chyba: return false;
    case TStav::Neni:
      if (!Vytvor(cesta, (a.Volby & VolbaZahlavi) ? hlavicka() : std::string(), s)) return false;
      novy = true;
      break;
    case TStav::Je: break;
  }
  TNavrat navrat(cesta, novy);
  TSoubor f(navrat.Otevri(O_RDWR | O_APPEND, s));
  if (!f.Otevren()) return false;
  const off_t velikost = navrat.Velikost();
  std::string data;
  if (velikost == 0 && (a.Volby & VolbaZahlavi)) {
    // An empty file left in place (not made here) still gets its header.
    data = hlavicka();
  } else if (velikost > 0) {
    char posledni = 0;
    if (!Cti(f.fd(), &posledni, 1, velikost - 1, s)) return navrat.Selhalo(f.fd());
    if (posledni == '\r')
      data = "\n";
    else if (posledni != '\n')
      data = "\r\n";
  }
  data += radek;
  if (!Zapis(f.fd(), data, s)) return navrat.Selhalo(f.fd());
  if (!f.Zavri(s)) return navrat.Selhalo(-1);
  return true;
}

// Runs one writer: `chyba` is "" when it succeeded, the error text when it
// failed or threw (a failure never leaves this unit as an exception), and
// the archive's Pricina says why.
template <class F>
void Proved(TArchivDat& a, std::string& chyba, F&& zapis) {
  TSelhani s;
  bool ok = false;
  try {
    ok = zapis(s);
  } catch (...) {
    ok = false;
    s.Zapamatuj(ChybaVnitrni);
  }
  if (!ok && s.Kod == 0) s.Kod = ChybaVnitrni;
  a.Pricina = ok ? 0 : s.Kod;
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

// The header line of a text or CSV file, CR LF included.
std::string HlavickaRadku(const TArchivDat& a, const TRadkovyFormat& f) {
  std::vector<std::string> kusy;
  for (const TSloupec& s : Sloupce(a.Volby, a.PocetKanalu)) {
    const bool popisek = s.Druh == TDruhSloupce::Index || s.Druh == TDruhSloupce::Datum ||
                         s.Druh == TDruhSloupce::Cas;
    const std::string nazev = NazevSloupce(s, a);
    kusy.push_back(Pole(f, nazev, popisek ? SirkaPopisku : SirkaBunky));
  }
  return Radek(kusy, f.Oddelovac);
}

constexpr TRadkovyFormat FormatTXT{'\t', true};
constexpr TRadkovyFormat FormatCSV{';', false};

// The record line of the sample of `a`, CR LF included.
std::string RadekZaznamu(const TArchivDat& a, const TRadkovyFormat& f) {
  std::string datum = a.Vzorek.Datum, cas = a.Vzorek.Cas;
  if (f.Bunky) {
    const TDatumCas ted = TedMistni();  // read once, so date and time agree
    datum = FormatujDatum(ted);
    cas = FormatujCas(ted);
  }
  std::vector<std::string> kusy;
  for (const TSloupec& s : Sloupce(a.Volby, a.PocetKanalu)) {
    const std::string text = HodnotaSloupce(s, a, datum, cas);
    kusy.push_back(Pole(f, text, SirkaBunky));
  }
  return Radek(kusy, f.Oddelovac);
}

bool ZapisRadek(const TArchivDat& a, const TRadkovyFormat& f, TSelhani& s) {
  if (!PlatnyArchiv(a)) return s.Zapamatuj(ChybaVnitrni);
  auto hlavicka = [&] { return HlavickaRadku(a, f); };
  return PripojRadek(a, hlavicka, RadekZaznamu(a, f), s);
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
// 0x1A marker stands in a sound file; a partial record left by a crash is
// thereby overwritten.  The record is written before the header is patched,
// so the count in the header never names a record that is not there.  The
// count is the number of records in the file.  A failed append puts back
// what it overwrote (the marker, the header's date and count) and the old
// length (TNavrat).
bool ZapisTabulku(const TArchivDat& a, TSelhani& s) {
  const fs::path cesta = SystemovaCesta(a.JmenoSouboru);
  const TStav stav = Existuje(cesta, s);
  if (stav == TStav::Chyba) return false;
  if (stav == TStav::Neni) {
    std::string obsah = HlavickaDBF(a, TedMistni());
    obsah += static_cast<char>(DBF_KonecSouboru);
    if (!Vytvor(cesta, obsah, s)) return false;
  }
  TNavrat navrat(cesta, stav == TStav::Neni);
  TSoubor f(navrat.Otevri(O_RDWR, s));
  if (!f.Otevren()) return false;
  const off_t velikost = navrat.Velikost();

  const TRozmeryDBF r = Rozmery(a);
  const TDatumCas dnes = TedMistni();
  bool hlavickaCela = velikost >= static_cast<off_t>(r.Hlavicka);
  if (velikost >= 12) {
    char h[12];
    if (!Cti(f.fd(), h, sizeof h, 0, s)) return navrat.Selhalo(f.fd());
    // Another layout (not a table of this measurement): never write into it.
    if (static_cast<uint8_t>(h[0]) != DBF_Verze || CtiU16(h + 8) != r.Hlavicka ||
        CtiU16(h + 10) != r.Zaznam)
      return s.Zapamatuj(ChybaJinyObsah);
  }
  const uint32_t zaznamu =
      hlavickaCela ? static_cast<uint32_t>((velikost - r.Hlavicka) / r.Zaznam) : 0;
  const off_t pozice = static_cast<off_t>(r.Hlavicka) + static_cast<off_t>(zaznamu) * r.Zaznam;
  const std::string zaznam = ZaznamDBF(a);
  if (!navrat.Uschovej(f.fd(), 0, hlavickaCela ? 8 : r.Hlavicka, s) ||
      !navrat.Uschovej(f.fd(), pozice, zaznam.size(), s))
    return navrat.Selhalo(f.fd());
  // Creation was cut short: the file holds no record yet.
  if (!hlavickaCela && !Zapis(f.fd(), HlavickaDBF(a, dnes), s, 0)) return navrat.Selhalo(f.fd());
  if (!Zapis(f.fd(), zaznam, s, pozice) || !Zapis(f.fd(), DatumAPocet(dnes, zaznamu + 1), s, 1))
    return navrat.Selhalo(f.fd());
  if (!f.Zavri(s)) return navrat.Selhalo(-1);
  return true;
}

// ---- continuing a file ----------------------------------------------------------

// The fields of a CSV line (quoted ones may hold the separator) or of a text
// line (cells between TABs); the line without its CR LF.
std::vector<std::string> PoleRadku(std::string_view radek, const TRadkovyFormat& f) {
  std::vector<std::string> pole(1);
  bool uvozovky = false;
  for (char c : radek) {
    if (!f.Bunky && c == '"') {
      uvozovky = !uvozovky;
      pole.back() += c;
    } else if (c == f.Oddelovac && !uvozovky) {
      pole.emplace_back();
    } else {
      pole.back() += c;
    }
  }
  return pole;
}

// The sample index a record's index field holds (blanks and quotes around
// it allowed).
std::optional<uint32_t> IndexZPole(std::string_view pole) {
  while (!pole.empty() && (pole.front() == ' ' || pole.front() == '"')) pole.remove_prefix(1);
  while (!pole.empty() && (pole.back() == ' ' || pole.back() == '"')) pole.remove_suffix(1);
  uint32_t v = 0;
  const auto [konec, ec] = std::from_chars(pole.data(), pole.data() + pole.size(), v);
  if (ec != std::errc() || konec != pole.data() + pole.size() || pole.empty()) return std::nullopt;
  return v;
}

// A field's text as written: without the text format's padding and a CSV
// field's quotes.
std::string TextPole(std::string_view pole) {
  while (!pole.empty() && pole.front() == ' ') pole.remove_prefix(1);
  while (!pole.empty() && pole.back() == ' ') pole.remove_suffix(1);
  if (pole.size() < 2 || pole.front() != '"' || pole.back() != '"') return std::string(pole);
  std::string text;
  for (size_t i = 1; i + 1 < pole.size(); ++i) {
    text += pole[i];
    if (pole[i] == '"' && pole[i + 1] == '"') ++i;
  }
  return text;
}

// The date, time and values of the last record, which show the regional
// settings the file was written in.
void ZapamatujPosledni(TNavazani& n, const TArchivDat& a, const std::vector<std::string>& pole) {
  const std::vector<TSloupec> sloupce = Sloupce(a.Volby, a.PocetKanalu);
  for (size_t i = 0; i < sloupce.size() && i < pole.size(); ++i) {
    switch (sloupce[i].Druh) {
      case TDruhSloupce::Datum: n.Datum = TextPole(pole[i]); break;
      case TDruhSloupce::Cas: n.Cas = TextPole(pole[i]); break;
      case TDruhSloupce::Kanal: n.Hodnoty.push_back(TextPole(pole[i])); break;
      case TDruhSloupce::Index:
      case TDruhSloupce::Chyby: break;
    }
  }
}

// Reads bytes [od, od + delka) of the file.
bool Kus(int fd, off_t od, size_t delka, std::string& kus, TSelhani& s) {
  kus.assign(delka, '\0');
  return Cti(fd, kus.data(), delka, od, s);
}

// The longest line the check reads from each end of a text or CSV file: a
// header of 267 columns with long names fits many times.
constexpr size_t MaxRadek = 1 << 20;

TNavazani Cizi(const char* duvod) { return {TNavazani::Cizi, 0, 0, Cp1250(duvod)}; }
// Could not be read or repaired; the caller adds the cause.
TNavazani Nelze() { return {TNavazani::Chyba, 0, 0, {}}; }

// A file is continued only when its beginning is recognisably the task's:
// a complete first line (CR LF) that is the task's header line or has the
// task's column count.  Anything else (a note, LF line ends, a table under a
// text name) is someone else's and is never cut.  The one exception is a
// file holding a piece of the task's header line and nothing else: the
// writer makes a file with its header in one write, so that is a creation
// cut short, and it is made again.
TNavazani NavazRadky(const TArchivDat& a, const TRadkovyFormat& f, int fd, off_t velikost,
                     TSelhani& s) {
  TNavazani n{TNavazani::Navazano, 0, 0, {}};
  if (velikost == 0) return n;
  const bool zahlavi = a.Volby & VolbaZahlavi;
  const std::string hlavicka = HlavickaRadku(a, f);
  const size_t sloupcu = Sloupce(a.Volby, a.PocetKanalu).size();
  std::string zacatek;
  if (!Kus(fd, 0, static_cast<size_t>(std::min<off_t>(velikost, MaxRadek)), zacatek, s))
    return Nelze();
  const bool celyPrectem = static_cast<off_t>(zacatek.size()) == velikost;
  if (zahlavi && celyPrectem && zacatek.size() < hlavicka.size() && hlavicka.starts_with(zacatek)) {
    n.Odriznuto = static_cast<uint64_t>(velikost);
    if (::ftruncate(fd, 0) != 0) {
      s.Errno();
      return Nelze();
    }
    return n;
  }
  const size_t konecPrvniho = zacatek.find("\r\n");
  if (konecPrvniho == std::string::npos) return Cizi("první řádek není ukončen CR LF");
  if (zahlavi && !zacatek.starts_with(hlavicka)) return Cizi("záhlaví se liší od úlohy");
  if (!zahlavi && PoleRadku(std::string_view(zacatek).substr(0, konecPrvniho), f).size() != sloupcu)
    return Cizi("počet sloupců se liší od úlohy");

  // The tail up to the last CR LF; what follows it is a torn line.
  const off_t od = velikost > static_cast<off_t>(MaxRadek) ? velikost - MaxRadek : 0;
  std::string konec;
  if (od == 0)
    konec = std::move(zacatek);
  else if (!Kus(fd, od, MaxRadek, konec, s))
    return Nelze();
  const size_t crlf = konec.rfind("\r\n");
  if (crlf == std::string::npos) return Cizi("poslední řádek je příliš dlouhý");
  const off_t cela = od + static_cast<off_t>(crlf) + 2;  // length of the complete lines
  n.Odriznuto = static_cast<uint64_t>(velikost - cela);

  // The last complete line, which carries the index to go on from.
  const std::string_view uplne(konec.data(), crlf);
  const size_t zacatekPosledniho = uplne.rfind("\r\n");
  if (zacatekPosledniho == std::string_view::npos && od > 0)
    return Cizi("poslední řádek je příliš dlouhý");
  const std::string_view posledni =
      zacatekPosledniho == std::string_view::npos ? uplne : uplne.substr(zacatekPosledniho + 2);
  const bool jenHlavicka = zahlavi && static_cast<size_t>(cela) == hlavicka.size();
  if (!jenHlavicka) {
    const std::vector<std::string> pole = PoleRadku(posledni, f);
    if (pole.size() != sloupcu) return Cizi("počet sloupců se liší od úlohy");
    if (a.Volby & VolbaIndex) {
      const auto index = IndexZPole(pole.front());
      if (!index) return Cizi("poslední záznam nemá číslo vzorku");
      n.PosledniIndex = *index;
    }
    ZapamatujPosledni(n, a, pole);
  }
  if (cela < velikost && ::ftruncate(fd, cela) != 0) {
    s.Errno();
    return Nelze();
  }
  return n;
}

TNavazani NavazTabulku(const TArchivDat& a, int fd, off_t velikost, TSelhani& s) {
  TNavazani n{TNavazani::Navazano, 0, 0, {}};
  const TRozmeryDBF r = Rozmery(a);
  const std::string nova = HlavickaDBF(a, TDatumCas{});
  std::string h;
  // A header cut short while the file was made: it is made again.
  if (velikost < static_cast<off_t>(r.Hlavicka)) {
    if (!Kus(fd, 0, static_cast<size_t>(velikost), h, s)) return Nelze();
    for (size_t i = 0; i < h.size(); ++i)
      if ((i < 1 || i > 7) && h[i] != nova[i]) return Cizi("jiná pole tabulky než úloha");
    n.Odriznuto = static_cast<uint64_t>(velikost);
    if (::ftruncate(fd, 0) != 0) {
      s.Errno();
      return Nelze();
    }
    return n;
  }
  if (!Kus(fd, 0, r.Hlavicka, h, s)) return Nelze();
  // Version, sizes and the descriptors; the date and count are the file's.
  if (h.compare(0, 1, nova, 0, 1) != 0 || h.compare(8, 4, nova, 8, 4) != 0 ||
      h.compare(DBF_DelkaHlavicky, std::string::npos, nova, DBF_DelkaHlavicky) != 0)
    return Cizi("jiná pole tabulky než úloha");
  const uint32_t vHlavicce = CtiU16(h.data() + 4) | (CtiU16(h.data() + 6) << 16);
  const uint32_t vSouboru = static_cast<uint32_t>((velikost - r.Hlavicka) / r.Zaznam);
  // Records beyond the header's count (written just before a crash, the
  // count not patched yet) and a partial record are cut.
  const uint32_t zaznamu = std::min(vHlavicce, vSouboru);
  const off_t cela = static_cast<off_t>(r.Hlavicka) + static_cast<off_t>(zaznamu) * r.Zaznam;
  std::string zbytek;
  if (!Kus(fd, cela, static_cast<size_t>(velikost - cela), zbytek, s)) return Nelze();
  if (!zbytek.empty() && zbytek != std::string(1, static_cast<char>(DBF_KonecSouboru))) {
    // Bytes after the last complete record besides its end-of-file marker.
    const bool znacka = zbytek.find(static_cast<char>(DBF_KonecSouboru)) != std::string::npos;
    n.Odriznuto = zbytek.size() - (znacka ? 1 : 0);
    if (::ftruncate(fd, cela) != 0 ||
        !Zapis(fd, std::string(1, static_cast<char>(DBF_KonecSouboru)), s, cela)) {
      s.Errno();
      return Nelze();
    }
  }
  if (zaznamu > 0) {
    std::string zaznam;
    if (!Kus(fd, cela - r.Zaznam, r.Zaznam, zaznam, s)) return Nelze();
    std::vector<std::string> pole;
    for (size_t i = 1; i + DBF_SirkaPole <= zaznam.size(); i += DBF_SirkaPole)
      pole.push_back(zaznam.substr(i, DBF_SirkaPole));
    if (a.Volby & VolbaIndex) {
      const auto index = IndexZPole(pole.front());
      if (!index) return Cizi("poslední záznam nemá číslo vzorku");
      n.PosledniIndex = *index;
    }
    ZapamatujPosledni(n, a, pole);
  }
  return n;
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
  archiv.Pricina = 0;
  archiv.Vzorek = TVzorek{};
}

void ZapisTXT(TArchivDat& a, std::string& chyba) {
  Proved(a, chyba, [&](TSelhani& s) { return ZapisRadek(a, FormatTXT, s); });
}

void ZapisCSV(TArchivDat& a, std::string& chyba) {
  Proved(a, chyba, [&](TSelhani& s) { return ZapisRadek(a, FormatCSV, s); });
}

void ZapisDBF(TArchivDat& a, std::string& chyba) {
  Proved(a, chyba, [&](TSelhani& s) {
    return PlatnyArchiv(a) ? ZapisTabulku(a, s) : s.Zapamatuj(ChybaVnitrni);
  });
}

void ZapisVzorek(TArchivDat& archiv, std::string& chyba) {
  ++archiv.IndexVzorku;
  switch (FormatSouboru(archiv.JmenoSouboru)) {
    case TFormatSouboru::CSV: ZapisCSV(archiv, chyba); break;
    case TFormatSouboru::DBF: ZapisDBF(archiv, chyba); break;
    case TFormatSouboru::Text: ZapisTXT(archiv, chyba); break;
  }
}

uint64_t DelkaZaznamu(const TArchivDat& archiv) {
  if (!PlatnyArchiv(archiv)) return 0;
  const TFormatSouboru f = FormatSouboru(archiv.JmenoSouboru);
  if (f == TFormatSouboru::DBF) return Rozmery(archiv).Zaznam;
  // A line's length depends on its texts, the index's among them.
  TArchivDat a = archiv;
  ++a.IndexVzorku;
  return RadekZaznamu(a, f == TFormatSouboru::CSV ? FormatCSV : FormatTXT).size();
}

uint64_t DelkaNoveho(const TArchivDat& a) {
  if (!PlatnyArchiv(a)) return 0;
  switch (FormatSouboru(a.JmenoSouboru)) {
    case TFormatSouboru::CSV:
      return (a.Volby & VolbaZahlavi) ? HlavickaRadku(a, FormatCSV).size() : 0;
    case TFormatSouboru::DBF: return Rozmery(a).Hlavicka + 1;  // and the end-of-file marker
    case TFormatSouboru::Text:
      return (a.Volby & VolbaZahlavi) ? HlavickaRadku(a, FormatTXT).size() : 0;
  }
  return 0;
}

TNavazani NavazNaSoubor(const TArchivDat& a) {
  TSelhani s;
  auto chyba = [&] {
    return TNavazani{TNavazani::Chyba, 0, 0, PricinaChyby(s.Kod ? s.Kod : ChybaVnitrni)};
  };
  if (!PlatnyArchiv(a)) return chyba();
  const fs::path cesta = SystemovaCesta(a.JmenoSouboru);
  switch (Existuje(cesta, s)) {
    case TStav::Chyba: return chyba();
    case TStav::Neni: return {TNavazani::Neni, 0, 0, {}};
    case TStav::Je: break;
  }
  TSoubor f(::open(cesta.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK));
  if (!f.Otevren()) {
    s.Errno();
    return chyba();
  }
  const off_t velikost = Velikost(f.fd(), s);
  if (velikost < 0) return chyba();
  TNavazani n;
  try {
    n = FormatSouboru(a.JmenoSouboru) == TFormatSouboru::DBF
            ? NavazTabulku(a, f.fd(), velikost, s)
            : NavazRadky(
                  a, FormatSouboru(a.JmenoSouboru) == TFormatSouboru::CSV ? FormatCSV : FormatTXT,
                  f.fd(), velikost, s);
  } catch (...) {
    s.Zapamatuj(ChybaVnitrni);
    n.Stav = TNavazani::Chyba;
  }
  if (n.Stav == TNavazani::Chyba) return chyba();
  if (!f.Zavri(s)) return chyba();
  return n;
}
