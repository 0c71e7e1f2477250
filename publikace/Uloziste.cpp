#include "Uloziste.h"

#include <fcntl.h>
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

uint32_t Crc32(std::string_view a, std::string_view b) {
  static const std::array<uint32_t, 256> tabulka = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  uint32_t c = 0xFFFFFFFFu;
  for (std::string_view d : {a, b})
    for (unsigned char x : d) c = tabulka[(c ^ x) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
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

std::string JmenoSegmentu(uint32_t cislo) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%08u%s", cislo, Pripona);
  return buf;
}

}  // namespace

TUloziste::TUloziste(fs::path slozka, uint64_t limitBajtu)
    : slozka_(std::move(slozka)), limit_(std::max<uint64_t>(limitBajtu, uint64_t{64} << 10)) {
  // Sixteen segments to the limit: dropping the oldest gives back a
  // sixteenth, and an acknowledged segment goes as a whole.
  velikostSegmentu_ = std::clamp<uint64_t>(limit_ / 16, uint64_t{16} << 10, uint64_t{16} << 20);
  std::lock_guard<std::mutex> z(m_);
  Otevri();
}

TUloziste::~TUloziste() {
  Zajisti();
  for (auto& [cislo, s] : segmenty_)
    if (s.Fd >= 0) ::close(s.Fd);
}

std::string TUloziste::Chyba() const {
  std::lock_guard<std::mutex> z(m_);
  return chyba_;
}

void TUloziste::Otevri() {
  std::error_code ec;
  fs::create_directories(slozka_, ec);
  if (ec) {
    chyba_ = Cp1250("složku fronty \"") + CestaCp1250(slozka_) +
             "\" nelze vytvořit: " + PricinaChyby(ec.value());
    return;
  }
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
  for (uint32_t cislo : cisla) {
    const fs::path cesta = slozka_ / JmenoSegmentu(cislo);
    if (cislo < pozice_.Segment) {  // acknowledged as a whole
      fs::remove(cesta, ec);
      continue;
    }
    TSegment s;
    s.Cesta = cesta;
    s.Fd = ::open(cesta.c_str(), O_RDWR | O_APPEND | O_CLOEXEC);
    if (s.Fd < 0) continue;
    struct stat st {};
    const uint64_t velikost = ::fstat(s.Fd, &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
    // Every record that reads back whole; a torn one ends the segment.
    uint64_t p = 0;
    std::string data;
    while (p + Hlavicka <= velikost) {
      char h[Hlavicka];
      if (!CtiVse(s.Fd, h, Hlavicka, p) || U32(h) != Znacka) break;
      const uint32_t delka = U32(h + 4);
      if (delka > MaxZaznam || p + Hlavicka + delka > velikost) break;
      data.resize(delka);
      if (!CtiVse(s.Fd, data.data(), delka, p + Hlavicka) ||
          Crc32(std::string_view(h + 12, 4), data) != U32(h + 8))
        break;
      s.Zaznamy.push_back(p);
      p += Hlavicka + delka;
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
  // The position at the first record kept at or after it.
  auto seg = segmenty_.find(pozice_.Segment);
  if (seg == segmenty_.end()) {
    seg = segmenty_.lower_bound(pozice_.Segment);
    pozice_ = {seg == segmenty_.end() ? pozice_.Segment : seg->first, 0};
  }
  for (const auto& [cislo, s] : segmenty_)
    if (cislo >= pozice_.Segment)
      cekajicich_ += ZaznamuOd(s, cislo == pozice_.Segment ? pozice_.Posun : 0);
  if (segmenty_.empty() || segmenty_.rbegin()->second.Velikost >= velikostSegmentu_) NovySegment();
}

uint64_t TUloziste::ZaznamuOd(const TSegment& s, uint64_t posun) const {
  return static_cast<uint64_t>(s.Zaznamy.end() -
                               std::lower_bound(s.Zaznamy.begin(), s.Zaznamy.end(), posun));
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
  if (segmenty_.empty()) pozice_ = {cislo, 0};
  segmenty_.emplace(cislo, std::move(s));
  return true;
}

bool TUloziste::Pridej(std::string_view data, uint32_t priznaky) {
  std::lock_guard<std::mutex> z(m_);
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
  if (m < pozice_) m = pozice_;
  for (auto seg = segmenty_.lower_bound(m.Segment); seg != segmenty_.end(); ++seg) {
    if (seg->first != m.Segment) m = {seg->first, 0};
    const TSegment& s = seg->second;
    if (m.Posun >= s.Velikost) continue;
    char h[Hlavicka];
    if (!CtiVse(s.Fd, h, Hlavicka, m.Posun)) return false;
    const uint32_t delka = U32(h + 4);
    data.resize(delka);
    if (!CtiVse(s.Fd, data.data(), delka, m.Posun + Hlavicka)) return false;
    priznaky = U32(h + 12);
    dalsi = {m.Segment, m.Posun + Hlavicka + delka};
    return true;
  }
  return false;
}

TMisto TUloziste::Potvrzeno() const {
  std::lock_guard<std::mutex> z(m_);
  return pozice_;
}

void TUloziste::Potvrd(TMisto zacatek, TMisto dalsi) {
  std::lock_guard<std::mutex> z(m_);
  // The position may stand at the end of a segment: it is the start of the
  // next one then.
  TMisto p = pozice_;
  const auto seg = segmenty_.find(p.Segment);
  if (seg != segmenty_.end() && p.Posun >= seg->second.Velikost &&
      std::next(seg) != segmenty_.end())
    p = {std::next(seg)->first, 0};
  if (!(zacatek == p) && !(zacatek == pozice_)) return;
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
  if (neulozeno_) {
    for (auto& [cislo, s] : segmenty_)
      if (s.Fd >= 0) ::fdatasync(s.Fd);
    neulozeno_ = false;
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
  if (ok && ::rename(docasna.c_str(), (slozka_ / "pozice").c_str()) == 0) poziceZmenena_ = false;
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
