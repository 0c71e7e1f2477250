#include "Uloziste.h"

#include <zlib.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <system_error>

#include "ChybySouboru.h"
#include "Cp1250.h"
#include "Slozka.h"

namespace fs = std::filesystem;

namespace {

// A record: "ZQP1", payload length, CRC-32 of flags and payload, flags;
// then the payload.  Little-endian.
constexpr uint32_t Znacka = 0x3150515A;  // "ZQP1"
constexpr size_t Hlavicka = 16;
constexpr uint32_t MaxZaznam = 16u << 20;
constexpr const char* Pripona = ".zqs";

// zlib's CRC-32 (the IEEE polynomial, as the records written before it was
// used have): the same values, computed many bytes at a time.
uint32_t Crc32(std::string_view a, std::string_view b) {
  uLong c = crc32(0L, Z_NULL, 0);
  for (std::string_view d : {a, b})
    c = crc32_z(c, reinterpret_cast<const Bytef*>(d.data()), d.size());
  return static_cast<uint32_t>(c);
}

void U32(char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
uint32_t U32(const char* p) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i)
    v |= static_cast<uint32_t>(static_cast<unsigned char>(p[i])) << (8 * i);
  return v;
}

bool CtiVse(int fd, char* buf, size_t n, uint64_t posun) {
  while (n > 0) {
    const ssize_t r = ::pread(fd, buf, n, static_cast<off_t>(posun));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    buf += r;
    n -= static_cast<size_t>(r);
    posun += static_cast<uint64_t>(r);
  }
  return true;
}

// The length (header and payload) of the record at `p` of `b` when it is
// whole and its checksum holds; 0 when it is not a record.
uint64_t CelyZaznam(std::string_view b, uint64_t p) {
  if (p > b.size() || b.size() - p < Hlavicka || U32(b.data() + p) != Znacka) return 0;
  const uint32_t delka = U32(b.data() + p + 4);
  if (delka > MaxZaznam || b.size() - p - Hlavicka < delka) return 0;
  if (Crc32(b.substr(p + 12, 4), b.substr(p + Hlavicka, delka)) != U32(b.data() + p + 8)) return 0;
  return Hlavicka + delka;
}

std::string JmenoSegmentu(uint32_t cislo) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%08u%s", cislo, Pripona);
  return buf;
}

// A folder's entries (a file made, a rename) reach the disk with it.
void Synchronizuj(int fdSlozky) {
  if (fdSlozky >= 0) ::fsync(fdSlozky);
}
void Synchronizuj(const fs::path& slozka) {
  const int fd = ::open(slozka.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  Synchronizuj(fd);
  ::close(fd);
}

}  // namespace

TUloziste::TUloziste(fs::path slozka, uint64_t limitBajtu)
    : slozka_(std::move(slozka)), limit_(std::max<uint64_t>(limitBajtu, uint64_t{64} << 10)) {
  // Sixteen segments to the limit: dropping the oldest gives back a
  // sixteenth, and an acknowledged segment goes as a whole.
  velikostSegmentu_ = std::clamp<uint64_t>(limit_ / 16, uint64_t{16} << 10, uint64_t{16} << 20);
  std::lock_guard<std::mutex> z(m_);
  Nacti();
}

TUloziste::~TUloziste() { Zavri(); }

bool TUloziste::Otevreno() const {
  std::lock_guard<std::mutex> z(m_);
  return fdZamku_ >= 0;
}

bool TUloziste::Otevri() {
  std::lock_guard<std::mutex> z(m_);
  return fdZamku_ >= 0 || Nacti();
}

void TUloziste::Zavri() {
  Zajisti();
  std::lock_guard<std::mutex> z(m_);
  for (auto& [cislo, s] : segmenty_)
    if (s.Fd >= 0) ::close(s.Fd);
  segmenty_.clear();
  for (int* fd : {&fdSlozky_, &fdZamku_}) {
    if (*fd >= 0) ::close(*fd);  // the lock goes with the last descriptor
    *fd = -1;
  }
}

std::string TUloziste::Chyba() const {
  std::lock_guard<std::mutex> z(m_);
  return chyba_;
}

bool TUloziste::Nacti() {
  // Folders made now reach the disk with their parents' entries.
  std::vector<fs::path> nove;
  std::error_code ec;
  for (fs::path p = slozka_; p.has_relative_path() && !fs::exists(p, ec) && nove.size() < 32;
       p = p.parent_path())
    nove.push_back(p);
  fs::create_directories(slozka_, ec);
  if (ec) {
    chyba_ = Cp1250("složku fronty \"") + CestaCp1250(slozka_) +
             "\" nelze vytvořit: " + PricinaChyby(ec.value());
    return false;
  }
  for (const fs::path& p : nove) Synchronizuj(p.parent_path().empty() ? "." : p.parent_path());

  // The lock is taken before anything is read: the records and the
  // position of a store another one holds change under its hands.
  const fs::path zamek = slozka_ / "zamek";
  const int fd = ::open(zamek.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    chyba_ =
        Cp1250("zámek fronty \"") + CestaCp1250(zamek) + "\" nelze otevřít: " + PricinaChyby(errno);
    return false;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int e = errno;
    ::close(fd);
    chyba_ =
        e == EWOULDBLOCK
            ? Cp1250("frontu \"") + CestaCp1250(slozka_) +
                  Cp1250(
                      "\" používá jiný program, který publikuje se stejným ID klienta; "
                      "tento program nepublikuje, dokud ji neuvolní")
            : Cp1250("frontu \"") + CestaCp1250(slozka_) + "\" nelze zamknout: " + PricinaChyby(e);
    return false;
  }
  fdZamku_ = fd;
  fdSlozky_ = ::open(slozka_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  chyba_.clear();
  cekajicich_ = 0;
  bajtu_ = 0;

  {
    std::ifstream f(slozka_ / "pozice");
    f >> pozice_.Segment >> pozice_.Posun;
    if (!f) pozice_ = {};
  }
  std::vector<uint32_t> cisla;
  for (const auto& e : fs::directory_iterator(slozka_, ec)) {
    const std::string jmeno = e.path().filename().string();
    unsigned long cislo = 0;
    if (e.path().extension() == Pripona && std::sscanf(jmeno.c_str(), "%lu", &cislo) == 1)
      cisla.push_back(static_cast<uint32_t>(cislo));
  }
  std::sort(cisla.begin(), cisla.end());
  // A position past the newest segment is none this store wrote (segments
  // are made durable before any position in them is): everything is sent
  // again rather than lost.
  if (!cisla.empty() && pozice_.Segment > cisla.back()) pozice_ = {};
  for (uint32_t cislo : cisla) {
    if (cislo < pozice_.Segment) {  // acknowledged as a whole
      fs::remove(slozka_ / JmenoSegmentu(cislo), ec);
      continue;
    }
    NactiSegment(cislo);
  }
  // The position at the first record kept at or after it.
  const TMisto pozice = Zacatek(pozice_);
  if (!(pozice == pozice_)) {
    pozice_ = pozice;
    poziceZmenena_ = true;
  }
  for (const auto& [cislo, s] : segmenty_)
    if (cislo >= pozice_.Segment)
      cekajicich_ += ZaznamuOd(s, cislo == pozice_.Segment ? pozice_.Posun : 0);
  if (segmenty_.empty() || segmenty_.rbegin()->second.Velikost >= velikostSegmentu_) NovySegment();
  nalezeno_ = segmenty_.empty()
                  ? pozice_
                  : TMisto{segmenty_.rbegin()->first, segmenty_.rbegin()->second.Velikost};
  return true;
}

void TUloziste::NactiSegment(uint32_t cislo) {
  TSegment s;
  s.Cesta = slozka_ / JmenoSegmentu(cislo);
  s.Fd = ::open(s.Cesta.c_str(), O_RDWR | O_APPEND | O_CLOEXEC);
  if (s.Fd < 0) return;
  struct stat st {};
  const uint64_t velikost = ::fstat(s.Fd, &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
  std::string b(velikost, '\0');
  if (!CtiVse(s.Fd, b.data(), b.size(), 0)) {
    // Unreadable now: kept as it is, nothing handed out of it; appends go
    // after it.
    s.Velikost = velikost;
    bajtu_ += velikost;
    segmenty_.emplace(cislo, std::move(s));
    return;
  }
  // Every record that checks.  A damaged one with records after it is
  // skipped (the next marker whose record checks); one with none after it
  // is a torn tail and is cut off.
  const std::string_view znacka("ZQP1", 4);
  uint64_t p = 0;
  while (p < velikost) {
    if (const uint64_t n = CelyZaznam(b, p)) {
      s.Zaznamy.push_back(p);
      p += n;
      continue;
    }
    size_t q = b.find(znacka, p + 1);
    while (q != std::string::npos && CelyZaznam(b, q) == 0) q = b.find(znacka, q + 1);
    if (q == std::string::npos) break;
    ++preskoceno_;
    p = q;
  }
  if (p < velikost) {
    odriznuto_ += velikost - p;
    if (::ftruncate(s.Fd, static_cast<off_t>(p)) != 0) {
      // Left as it is: the next open cuts it again; appends go to a new segment.
    }
  }
  s.Velikost = p;
  bajtu_ += p;
  segmenty_.emplace(cislo, std::move(s));
}

uint64_t TUloziste::ZaznamuOd(const TSegment& s, uint64_t posun) const {
  return static_cast<uint64_t>(s.Zaznamy.end() -
                               std::lower_bound(s.Zaznamy.begin(), s.Zaznamy.end(), posun));
}

TMisto TUloziste::Zacatek(TMisto m) const {
  for (auto seg = segmenty_.lower_bound(m.Segment); seg != segmenty_.end(); ++seg) {
    const std::vector<uint64_t>& z = seg->second.Zaznamy;
    const auto i = std::lower_bound(z.begin(), z.end(), seg->first == m.Segment ? m.Posun : 0);
    if (i != z.end()) return {seg->first, *i};
  }
  // None: where the next record is appended.
  if (segmenty_.empty() || m.Segment > segmenty_.rbegin()->first) return m;
  return {segmenty_.rbegin()->first, segmenty_.rbegin()->second.Velikost};
}

bool TUloziste::NovySegment() {
  const uint32_t cislo =
      segmenty_.empty() ? std::max<uint32_t>(pozice_.Segment, 1) : segmenty_.rbegin()->first + 1;
  TSegment s;
  s.Cesta = slozka_ / JmenoSegmentu(cislo);
  s.Fd = ::open(s.Cesta.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (s.Fd < 0) {
    chyba_ = Cp1250("soubor fronty \"") + CestaCp1250(s.Cesta) +
             "\" nelze vytvořit: " + PricinaChyby(errno);
    return false;
  }
  // The new file's entry is made durable with its first records
  // (Zajisti), before any of them is promised.
  slozkaZmenena_ = true;
  if (segmenty_.empty()) pozice_ = {cislo, 0};
  segmenty_.emplace(cislo, std::move(s));
  return true;
}

bool TUloziste::Pridej(std::string_view data, uint32_t priznaky) {
  std::lock_guard<std::mutex> z(m_);
  if (fdZamku_ < 0) return false;
  if (segmenty_.empty() || segmenty_.rbegin()->second.Velikost >= velikostSegmentu_)
    if (!NovySegment()) return false;
  TSegment& s = segmenty_.rbegin()->second;
  std::string zaznam(Hlavicka, '\0');
  U32(zaznam.data(), Znacka);
  U32(zaznam.data() + 4, static_cast<uint32_t>(data.size()));
  U32(zaznam.data() + 12, priznaky);
  U32(zaznam.data() + 8, Crc32(std::string_view(zaznam.data() + 12, 4), data));
  zaznam.append(data);
  // One write, so that a process killed now leaves the record whole in the
  // system's cache or not at all; a short write is taken back.
  const ssize_t n = ::write(s.Fd, zaznam.data(), zaznam.size());
  if (n != static_cast<ssize_t>(zaznam.size())) {
    chyba_ = Cp1250("do fronty nelze zapsat: ") + PricinaChyby(n < 0 ? errno : ENOSPC);
    if (::ftruncate(s.Fd, static_cast<off_t>(s.Velikost)) != 0) {
      // The torn record fails its checksum and is cut off at the next open.
    }
    return false;
  }
  chyba_.clear();
  s.Zaznamy.push_back(s.Velikost);
  s.Velikost += zaznam.size();
  bajtu_ += zaznam.size();
  ++cekajicich_;
  neulozeno_ = true;
  while (bajtu_ > limit_ && segmenty_.size() > 1) ZahodNejstarsi();
  return true;
}

void TUloziste::ZahodNejstarsi() {
  auto nejstarsi = segmenty_.begin();
  const uint32_t cislo = nejstarsi->first;
  TSegment& s = nejstarsi->second;
  if (cislo >= pozice_.Segment) {
    const uint64_t ztraceno = ZaznamuOd(s, cislo == pozice_.Segment ? pozice_.Posun : 0);
    zahozeno_ += ztraceno;
    cekajicich_ -= std::min(cekajicich_, ztraceno);
    pozice_ = {std::next(nejstarsi)->first, 0};
    poziceZmenena_ = true;
  }
  ::close(s.Fd);
  std::error_code ec;
  fs::remove(s.Cesta, ec);
  bajtu_ -= s.Velikost;
  segmenty_.erase(nejstarsi);
}

bool TUloziste::Cti(TMisto& m, std::string& data, uint32_t& priznaky, TMisto& dalsi) {
  std::lock_guard<std::mutex> z(m_);
  // Each round either hands a record out or takes a damaged one out of the
  // index: bounded by the records kept.
  for (;;) {
    m = Zacatek(std::max(m, pozice_));
    const auto seg = segmenty_.find(m.Segment);
    if (seg == segmenty_.end() || m.Posun >= seg->second.Velikost) return false;
    TSegment& s = seg->second;
    uint64_t n = 0;
    data.resize(Hlavicka);
    if (CtiVse(s.Fd, data.data(), Hlavicka, m.Posun)) {
      const uint64_t delka = U32(data.data() + 4);
      if (delka <= MaxZaznam && s.Velikost - m.Posun >= Hlavicka + delka) {
        data.resize(Hlavicka + delka);
        if (CtiVse(s.Fd, data.data() + Hlavicka, delka, m.Posun + Hlavicka))
          n = CelyZaznam(data, 0);
      }
    }
    if (n == 0) {
      // Damaged since it was written: never handed out as a sample.
      s.Zaznamy.erase(std::lower_bound(s.Zaznamy.begin(), s.Zaznamy.end(), m.Posun));
      ++preskoceno_;
      if (cekajicich_ > 0) --cekajicich_;
      continue;
    }
    priznaky = U32(data.data() + 12);
    data.erase(0, Hlavicka);
    dalsi = {m.Segment, m.Posun + n};
    return true;
  }
}

TMisto TUloziste::Potvrzeno() const {
  std::lock_guard<std::mutex> z(m_);
  return pozice_;
}

void TUloziste::Potvrd(TMisto zacatek, TMisto dalsi) {
  std::lock_guard<std::mutex> z(m_);
  // The position may stand between records (at the end of a segment, at a
  // damaged record): the record after it is the one it means.
  if (fdZamku_ < 0 || !(zacatek == Zacatek(pozice_))) return;
  pozice_ = dalsi;
  poziceZmenena_ = true;
  if (cekajicich_ > 0) --cekajicich_;
  // Segments acknowledged as a whole go (not the one being appended to).
  while (segmenty_.size() > 1 && segmenty_.begin()->first < pozice_.Segment) {
    TSegment& s = segmenty_.begin()->second;
    ::close(s.Fd);
    std::error_code ec;
    fs::remove(s.Cesta, ec);
    bajtu_ -= s.Velikost;
    segmenty_.erase(segmenty_.begin());
  }
}

void TUloziste::Zajisti() {
  std::lock_guard<std::mutex> z(m_);
  if (fdZamku_ < 0) return;
  if (neulozeno_) {
    for (auto& [cislo, s] : segmenty_)
      if (s.Fd >= 0) ::fdatasync(s.Fd);
    neulozeno_ = false;
  }
  if (slozkaZmenena_) {
    Synchronizuj(fdSlozky_);
    slozkaZmenena_ = false;
  }
  if (poziceZmenena_) UlozPozici();
}

void TUloziste::UlozPozici() {
  // Written aside and renamed over the old one: a power cut leaves the old
  // position or the new one, never half of one.
  const fs::path docasna = slozka_ / "pozice.tmp";
  const int fd = ::open(docasna.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return;
  const std::string text =
      std::to_string(pozice_.Segment) + " " + std::to_string(pozice_.Posun) + "\n";
  const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
                  ::fdatasync(fd) == 0;
  ::close(fd);
  if (ok && ::rename(docasna.c_str(), (slozka_ / "pozice").c_str()) == 0) {
    // The rename itself is durable only with the folder.
    Synchronizuj(fdSlozky_);
    poziceZmenena_ = false;
  }
}

TMisto TUloziste::Nalezeno() const {
  std::lock_guard<std::mutex> z(m_);
  return nalezeno_;
}
uint64_t TUloziste::Preskoceno() const {
  std::lock_guard<std::mutex> z(m_);
  return preskoceno_;
}
std::string TUloziste::TextPreskoceni() const {
  std::lock_guard<std::mutex> z(m_);
  return Cp1250("ve frontě \"") + CestaCp1250(slozka_) +
         Cp1250("\" přeskočeno poškozených záznamů: ") + std::to_string(preskoceno_);
}
uint64_t TUloziste::Cekajicich() const {
  std::lock_guard<std::mutex> z(m_);
  return cekajicich_;
}
uint64_t TUloziste::Zahozeno() const {
  std::lock_guard<std::mutex> z(m_);
  return zahozeno_;
}
uint64_t TUloziste::Odriznuto() const {
  std::lock_guard<std::mutex> z(m_);
  return odriznuto_;
}
uint64_t TUloziste::Bajtu() const {
  std::lock_guard<std::mutex> z(m_);
  return bajtu_;
}
