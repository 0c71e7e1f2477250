#include "Profil.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <initializer_list>

#include "Cisla.h"
#include "Cp1250.h"
#include "Slozka.h"

namespace {

std::atomic<uint64_t> pocetOtevreni{0};

constexpr size_t MaxDelkaHodnoty = 2047;
constexpr std::string_view Bom = "\xEF\xBB\xBF";

bool JeMezera(char c) { return c == ' ' || c == '\t'; }

std::string_view Orizni(std::string_view s) {
  while (!s.empty() && JeMezera(s.front())) s.remove_prefix(1);
  while (!s.empty() && JeMezera(s.back())) s.remove_suffix(1);
  return s;
}

std::string Male(std::string_view s) {
  std::string vysledek(s);
  for (char& c : vysledek) c = static_cast<char>(MalePismeno1250(static_cast<unsigned char>(c)));
  return vysledek;
}

// The name of a section header line ("[name]", blanks allowed around), or
// nothing when the line is not a header.
std::optional<std::string_view> JmenoSekce(std::string_view radek) {
  const std::string_view s = Orizni(radek);
  if (s.empty() || s.front() != '[') return std::nullopt;
  const size_t konec = s.rfind(']');
  if (konec == std::string_view::npos || konec == 0) return std::nullopt;
  return Orizni(s.substr(1, konec - 1));
}

// Blank, or a comment: ';' as the first non-blank character, or '#' where
// `mrizka` (our own files, where people write the comments of other
// programs' files).  A ';' or '#' later in a line is part of its value: a
// password may hold one.
bool PrazdnyNeboKomentar(std::string_view radek, bool mrizka) {
  const std::string_view s = Orizni(radek);
  return s.empty() || s.front() == ';' || (mrizka && s.front() == '#');
}

// The name of a key line ("name=value"), or nothing for blank lines,
// comments and lines without '=' or without a name.
std::optional<std::string_view> JmenoKlice(std::string_view radek, bool mrizka) {
  if (PrazdnyNeboKomentar(radek, mrizka)) return std::nullopt;
  const size_t rovnitko = radek.find('=');
  if (rovnitko == std::string_view::npos) return std::nullopt;
  const std::string_view jmeno = Orizni(radek.substr(0, rovnitko));
  if (jmeno.empty()) return std::nullopt;
  return jmeno;
}

// Joins the parts into one string.  Built by appending to a reserved string
// rather than as "text" + std::string(...): GCC 12 at -O3 wrongly reports the
// insert at the front that the latter inlines as an overlapping copy
// (-Wrestrict).
std::string Spoj(std::initializer_list<std::string_view> casti) {
  size_t delka = 0;
  for (std::string_view c : casti) delka += c.size();
  std::string vysledek;
  vysledek.reserve(delka);
  for (std::string_view c : casti) vysledek.append(c);
  return vysledek;
}

std::string Zkrat(std::string_view s) { return std::string(s.substr(0, MaxDelkaHodnoty)); }

// The value of a key line: after the first '=', up to a NUL byte, blanks at
// both ends removed, one pair of enclosing quotation marks removed.
std::string HodnotaRadku(std::string_view radek) {
  std::string_view h = radek.substr(radek.find('=') + 1);
  h = h.substr(0, h.find('\0'));
  h = Orizni(h);
  if (h.size() >= 2 && (h.front() == '"' || h.front() == '\'') && h.back() == h.front())
    h = h.substr(1, h.size() - 2);
  return Zkrat(h);
}

// A value as it can stand on one line: cut at a NUL byte, line ends turned
// into blanks.
std::string HodnotaNaRadek(std::string_view hodnota) {
  std::string h(hodnota.substr(0, hodnota.find('\0')));
  for (char& c : h)
    if (c == '\r' || c == '\n') c = ' ';
  return h;
}

[[noreturn]] void ChybaZapisu(const std::filesystem::path& cesta) {
  throw TChybaZapisu("Unable to write to " + CestaCp1250(cesta));
}

bool ZapisVse(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

}  // namespace

uint64_t PocetOtevreniProfilu() { return pocetOtevreni.load(); }

TProfil::TProfil(std::filesystem::path cesta, TKodovani kodovani)
    : cesta_(std::move(cesta)), kodovani_(kodovani), utf8_(kodovani == TKodovani::Utf8NeboCp1250) {
  sekce_.push_back({});
  // Non-blocking, so that a FIFO in place of the file cannot hang the program.
  const int fd = ::open(cesta_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    nelzeCist_ = errno != ENOENT;
    if (nelzeCist_) chybaCteni_ = errno;
    return;
  }
  ++pocetOtevreni;
  struct stat st {};
  std::string obsah;
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (!ok) chybaCteni_ = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  if (ok) {
    obsah.reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    for (;;) {
      const ssize_t n = ::read(fd, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        ok = false;
        chybaCteni_ = errno;
      }
      if (n <= 0) break;
      obsah.append(buf, static_cast<size_t>(n));
    }
  }
  ::close(fd);
  if (!ok) {
    nelzeCist_ = true;
    return;
  }
  precten_ = true;
  prazdny_ = obsah.empty();
  Nacti(obsah);
}

void TProfil::Nacti(std::string_view obsah) {
  if (obsah.substr(0, Bom.size()) == Bom) {
    bom_ = true;
    obsah.remove_prefix(Bom.size());
  }
  // A file that is not valid UTF-8 as a whole was written in Windows-1250.
  // Czech text in Windows-1250 is valid UTF-8 only by accident: most of
  // its letters are bytes that can neither begin nor continue a UTF-8
  // sequence where they stand.
  if (kodovani_ == TKodovani::Utf8NeboCp1250) utf8_ = JePlatneUtf8(obsah);
  size_t i = 0;
  while (i < obsah.size()) {
    size_t konec = obsah.find_first_of("\r\n", i);
    if (konec == std::string_view::npos) konec = obsah.size();
    const std::string_view radek = obsah.substr(i, konec - i);
    i = konec;
    if (i < obsah.size())
      i += (obsah[i] == '\r' && i + 1 < obsah.size() && obsah[i + 1] == '\n') ? 2 : 1;

    if (auto jmeno = JmenoSekce(radek)) {
      indexSekci_.try_emplace(Slozene(*jmeno), sekce_.size());
      sekce_.push_back({std::string(radek), {}, {}});
      continue;
    }
    TSekce& s = sekce_.back();
    if (auto klic = Klic(radek)) s.Klice.try_emplace(Slozene(*klic), s.Radky.size());
    s.Radky.emplace_back(radek);
  }
}

std::string TProfil::ZeSouboru(std::string_view text) const {
  return utf8_ ? Cp1250(text) : std::string(text);
}

std::string TProfil::DoSouboru(std::string_view cp1250) const {
  return utf8_ ? Utf8(cp1250) : std::string(cp1250);
}

std::optional<std::string_view> TProfil::Klic(std::string_view radek) const {
  return JmenoKlice(radek, kodovani_ == TKodovani::Utf8NeboCp1250);
}

// A name of the file as it is looked up: Windows-1250, folded.
std::string TProfil::Slozene(std::string_view jmeno) const { return Male(ZeSouboru(jmeno)); }

const std::string* TProfil::NajdiRadek(std::string_view sekce, std::string_view klic) const {
  const auto s = indexSekci_.find(Male(sekce));
  if (s == indexSekci_.end()) return nullptr;
  const TSekce& sek = sekce_[s->second];
  const auto k = sek.Klice.find(Male(klic));
  if (k == sek.Klice.end()) return nullptr;
  return &sek.Radky[k->second];
}

bool TProfil::MaSekci(std::string_view sekce) const {
  return indexSekci_.find(Male(sekce)) != indexSekci_.end();
}

bool TProfil::MaKlic(std::string_view sekce, std::string_view klic) const {
  return NajdiRadek(sekce, klic) != nullptr;
}

std::string TProfil::CtiText(std::string_view sekce, std::string_view klic,
                             std::string_view vychozi) const {
  const std::string* radek = NajdiRadek(sekce, klic);
  return radek ? HodnotaRadku(ZeSouboru(*radek)) : Zkrat(vychozi);
}

int32_t TProfil::CtiCislo(std::string_view sekce, std::string_view klic, int32_t vychozi) const {
  const std::string* radek = NajdiRadek(sekce, klic);
  if (!radek) return vychozi;
  return TextNaCele(HodnotaRadku(ZeSouboru(*radek))).value_or(vychozi);
}

void TProfil::ZapisText(std::string_view sekce, std::string_view klic, std::string_view hodnota) {
  const std::string h = HodnotaNaRadek(hodnota);
  auto [s, nova] = indexSekci_.try_emplace(Male(sekce), sekce_.size());
  if (nova) sekce_.push_back({DoSouboru(Spoj({"[", sekce, "]"})), {}, {}});
  TSekce& sek = sekce_[s->second];
  const auto k = sek.Klice.find(Male(klic));
  if (k != sek.Klice.end()) {
    // The key keeps the spelling the file gave it.
    std::string& radek = sek.Radky[k->second];
    // In our own files a line that already says it stays as typed, with
    // its quotes, blanks and characters Windows-1250 lacks.
    if (kodovani_ == TKodovani::Utf8NeboCp1250 && HodnotaRadku(ZeSouboru(radek)) == h) return;
    std::string novy = std::string(*Klic(radek)) + "=" + DoSouboru(h);
    if (novy != radek) {
      radek = std::move(novy);
      zmeneno_ = true;
    }
    return;
  }
  // A new key goes after the last line of the section that is not blank.
  size_t pozice = sek.Radky.size();
  while (pozice > 0 && Orizni(sek.Radky[pozice - 1]).empty()) --pozice;
  sek.Radky.insert(sek.Radky.begin() + static_cast<std::ptrdiff_t>(pozice),
                   DoSouboru(std::string(klic) + "=" + h));
  sek.Klice.emplace(Male(klic), pozice);
  zmeneno_ = true;
}

std::vector<std::string> TProfil::Nezname(const std::vector<TZnameKlice>& zname) const {
  const std::string soubor = CestaCp1250(cesta_.filename()) + ": ";
  const bool mrizka = kodovani_ == TKodovani::Utf8NeboCp1250;
  std::vector<std::string> zpravy;
  size_t cisloRadku = 0;
  for (size_t i = 0; i < sekce_.size(); ++i) {
    const TSekce& s = sekce_[i];
    std::string jmeno;  // of the section, Windows-1250
    const TZnameKlice* znama = nullptr;
    if (i > 0) {
      ++cisloRadku;
      jmeno = ZeSouboru(*JmenoSekce(s.Hlavicka));
      const std::string slozene = Male(jmeno);
      // A section named outright before the entry for every other one.
      for (const TZnameKlice& z : zname)
        if (!z.Sekce.empty() && Male(z.Sekce) == slozene) znama = &z;
      for (const TZnameKlice& z : zname)
        if (z.Sekce.empty() && !znama) znama = &z;
      const bool opakovana = indexSekci_.at(slozene) != i;
      if (opakovana || !znama) {
        zpravy.push_back(soubor +
                         (opakovana ? Cp1250("opakovaná sekce [") + jmeno + Cp1250("] se nečte")
                                    : Cp1250("neznámá sekce [") + jmeno + Cp1250("] (překlep?)")));
        cisloRadku += s.Radky.size();
        continue;
      }
    }
    for (size_t r = 0; r < s.Radky.size(); ++r) {
      ++cisloRadku;
      const std::optional<std::string_view> klic = Klic(s.Radky[r]);
      if (!klic) {
        if (!PrazdnyNeboKomentar(s.Radky[r], mrizka))
          zpravy.push_back(soubor + Cp1250("řádek ") +
                           CeleNaText(static_cast<int64_t>(cisloRadku)) +
                           Cp1250(" není klíč, sekce ani komentář (chybí =?)"));
        continue;
      }
      const std::string k = ZeSouboru(*klic);
      const std::string slozeny = Male(k);
      if (i == 0)
        zpravy.push_back(soubor + Cp1250("klíč ") + k + Cp1250(" před první sekcí se nečte"));
      else if (s.Klice.at(slozeny) != r)
        zpravy.push_back(soubor + Cp1250("opakovaný klíč [") + jmeno + "] " + k +
                         Cp1250(" se nečte"));
      else if (std::none_of(znama->Klice.begin(), znama->Klice.end(),
                            [&](const std::string& z) { return Male(z) == slozeny; }))
        zpravy.push_back(soubor + Cp1250("neznámý klíč [") + jmeno + "] " + k +
                         Cp1250(" (překlep?)"));
    }
  }
  return zpravy;
}

void TProfil::ZapisCislo(std::string_view sekce, std::string_view klic, int32_t hodnota) {
  ZapisText(sekce, klic, CeleNaText(hodnota));
}

std::string TProfil::Obsah() const {
  std::string obsah;
  if (bom_) obsah += Bom;
  for (const TSekce& s : sekce_) {
    if (&s != &sekce_.front()) obsah.append(s.Hlavicka).append("\r\n");
    for (const std::string& r : s.Radky) obsah.append(r).append("\r\n");
  }
  return obsah;
}

void TProfil::Uloz() {
  if (!zmeneno_) return;
  // Saving only the keys written here would destroy what the file held.
  if (nelzeCist_) ChybaZapisu(cesta_);
  // Through a symbolic link to the file it names; the link stays.
  std::filesystem::path cil = cesta_;
  std::error_code chyba;
  if (std::filesystem::is_symlink(cil, chyba)) {
    auto skutecna = std::filesystem::canonical(cil, chyba);
    if (!chyba) cil = skutecna;
  }
  struct stat st {};
  const bool existuje = ::stat(cil.c_str(), &st) == 0;
  // A read-only file stays as it is even though its folder would allow
  // replacing it.
  if (existuje && (!S_ISREG(st.st_mode) || ::access(cil.c_str(), W_OK) != 0)) ChybaZapisu(cesta_);

  const std::filesystem::path slozka =
      cil.has_parent_path() ? cil.parent_path() : std::filesystem::path(".");
  static std::atomic<unsigned> poradi{0};
  std::filesystem::path docasna;
  int fd = -1;
  for (int pokus = 0; pokus < 100 && fd < 0; ++pokus) {
    docasna = slozka / Spoj({".", cil.filename().native(), ".", CeleNaText(::getpid()), "-",
                             CeleNaText(poradi++), ".tmp"});
    fd = ::open(docasna.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, soukromy_ ? 0600 : 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) ChybaZapisu(cesta_);
  ++pocetOtevreni;
  bool ok = true;
  if (soukromy_)
    ok = ::fchmod(fd, 0600) == 0;
  else if (existuje)
    ok = ::fchmod(fd, st.st_mode & 07777) == 0;
  ok = ok && ZapisVse(fd, Obsah()) && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(docasna.c_str(), cil.c_str()) == 0;
  if (!ok) {
    ::unlink(docasna.c_str());
    ChybaZapisu(cesta_);
  }
  // The rename itself reaches the disk with the folder.
  const int fdSlozky = ::open(slozka.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fdSlozky >= 0) {
    ::fsync(fdSlozky);
    ::close(fdSlozky);
  }
  zmeneno_ = false;
}
