#include "Mezipamet.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>

#include "Umisteni.h"

namespace fs = std::filesystem;

namespace {

constexpr char Znacka[8] = {'Z', 'Q', 'I', 'D', 'X', '\0', '\0', '1'};
constexpr uint32_t Verze = 1;
// A cache file larger than this is no index of ours.
constexpr uint64_t NejvetsiSoubor = 512ULL << 20;

uint64_t Fnv(const char* p, size_t n) {
  uint64_t h = 1469598103934665603ULL;
  for (size_t i = 0; i < n; ++i) {
    h ^= static_cast<uint8_t>(p[i]);
    h *= 1099511628211ULL;
  }
  return h;
}

class TZapis {
 public:
  template <class T>
  void operator()(const T& v) {
    static_assert(std::is_arithmetic_v<T>);
    data_.append(reinterpret_cast<const char*>(&v), sizeof v);
  }
  std::string& Data() { return data_; }

 private:
  std::string data_;
};

class TCteni {
 public:
  TCteni(const char* p, size_t n) : p_(p), n_(n) {}
  template <class T>
  bool operator()(T& v) {
    static_assert(std::is_arithmetic_v<T>);
    if (n_ - i_ < sizeof v) return false;
    std::memcpy(&v, p_ + i_, sizeof v);
    i_ += sizeof v;
    return true;
  }
  size_t Zbyva() const { return n_ - i_; }

 private:
  const char* p_;
  size_t n_, i_ = 0;
};

std::string JmenoSouboru(const TSouborDat::TKlic& k) {
  char jmeno[64];
  std::snprintf(jmeno, sizeof jmeno, "%llx-%llx.zqi", static_cast<unsigned long long>(k.Zarizeni),
                static_cast<unsigned long long>(k.Inode));
  return jmeno;
}

template <class F>
bool Pocty(F& f, TPocty& p) {
  return f(p.VadneRadky) && f(p.PrvniVadny) && f(p.SpatnyCas) && f(p.PrvniSpatnyCas) &&
         f(p.NecitelneHodnoty);
}

template <class F>
bool Blok(F& f, TBlok& b) {
  return f(b.Od) && f(b.Do) && f(b.PrvniRadek) && f(b.Radku) && f(b.PolohaPrvni) &&
         f(b.PolohaPosledni) && f(b.PolohaMin) && f(b.PolohaMax) && f(b.PrvniMezera) &&
         f(b.PosledniMezera);
}

template <class F>
bool Souhrn(F& f, TSouhrn& s) {
  return f(s.Min) && f(s.Max) && f(s.Prvni) && f(s.Posledni) && f(s.IPrvni) && f(s.IPosledni) &&
         f(s.Znamy);
}

// What a damaged file could still hold that the checksum let through:
// blocks in order within the data, their records counted right.
bool Soudrzny(const TIndex& ix, const TSouborDat::TKlic& k) {
  if (ix.RadkuVBloku == 0 || ix.Perioda < 1 || ix.Konec > k.Velikost) return false;
  uint64_t radek = 0, konec = 0;
  for (const TBlok& b : ix.Bloky) {
    if (b.Od < konec || b.Do < b.Od || b.Do > ix.Konec || b.PrvniRadek != radek || b.Radku == 0 ||
        b.Radku > ix.RadkuVBloku)
      return false;
    radek += b.Radku;
    konec = b.Do;
  }
  if (radek != ix.Radku) return false;
  for (const auto& [kanal, s] : ix.Souhrny)
    if (kanal < 0 || kanal >= MaxKanalu || s.size() != ix.Bloky.size()) return false;
  return true;
}

}  // namespace

fs::path SlozkaMezipameti() {
  const char* xdg = std::getenv("XDG_CACHE_HOME");  // NOLINT(concurrency-mt-unsafe)
  if (xdg != nullptr && fs::path(xdg).is_absolute()) return fs::path(xdg) / zqumisteni::JmenoSlozky;
  const char* domov = std::getenv("HOME");  // NOLINT(concurrency-mt-unsafe)
  if (domov != nullptr && *domov != '\0')
    return fs::path(domov) / ".cache" / zqumisteni::JmenoSlozky;
  return {};
}

std::optional<TIndex> NactiIndex(const fs::path& slozka, const TSouborDat::TKlic& klic) {
  if (slozka.empty()) return std::nullopt;
  const fs::path cesta = slozka / JmenoSouboru(klic);
  const int fd = ::open(cesta.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  // Read whole at once: its size is known, and growing a buffer costs more
  // than the reading.
  struct stat st {};
  std::string data;
  if (::fstat(fd, &st) == 0 && st.st_size > 0 &&
      static_cast<uint64_t>(st.st_size) <= NejvetsiSoubor) {
    data.resize(static_cast<size_t>(st.st_size));
    size_t hotovo = 0;
    while (hotovo < data.size()) {
      const ssize_t n = ::read(fd, data.data() + hotovo, data.size() - hotovo);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      hotovo += static_cast<size_t>(n);
    }
    data.resize(hotovo);
  }
  ::close(fd);
  if (data.size() < sizeof Znacka + sizeof(uint64_t)) return std::nullopt;
  uint64_t soucet = 0;
  std::memcpy(&soucet, data.data() + data.size() - sizeof soucet, sizeof soucet);
  if (Fnv(data.data(), data.size() - sizeof soucet) != soucet ||
      std::memcmp(data.data(), Znacka, sizeof Znacka) != 0)
    return std::nullopt;
  TCteni f(data.data() + sizeof Znacka, data.size() - sizeof Znacka - sizeof soucet);
  uint32_t verze = 0;
  TSouborDat::TKlic k;
  TIndex ix;
  uint64_t bloku = 0;
  uint32_t kanalu = 0;
  if (!f(verze) || verze != Verze || !f(k.Zarizeni) || !f(k.Inode) || !f(k.Velikost) ||
      !f(k.Zmeneno) || !f(k.Podpis))
    return std::nullopt;
  if (k.Zarizeni != klic.Zarizeni || k.Inode != klic.Inode || k.Velikost != klic.Velikost ||
      k.Zmeneno != klic.Zmeneno || k.Podpis != klic.Podpis)
    return std::nullopt;
  if (!f(ix.RadkuVBloku) || !f(ix.Perioda) || !f(ix.Radku) || !f(ix.Konec) || !f(ix.Radek) ||
      !Pocty(f, ix.Pocty) || !f(bloku) || bloku > f.Zbyva() / 8)
    return std::nullopt;
  ix.Bloky.resize(bloku);
  for (TBlok& b : ix.Bloky)
    if (!Blok(f, b)) return std::nullopt;
  if (!f(kanalu) || kanalu > static_cast<uint32_t>(MaxKanalu)) return std::nullopt;
  for (uint32_t i = 0; i < kanalu; ++i) {
    int32_t kanal = 0;
    if (!f(kanal) || ix.Souhrny.count(kanal)) return std::nullopt;
    std::vector<TSouhrn>& s = ix.Souhrny[kanal];
    s.resize(bloku);
    for (TSouhrn& x : s)
      if (!Souhrn(f, x)) return std::nullopt;
  }
  if (f.Zbyva() != 0 || !Soudrzny(ix, klic)) return std::nullopt;
  return ix;
}

bool UlozIndex(const fs::path& slozka, const TSouborDat::TKlic& klic, const TIndex& index) {
  if (slozka.empty()) return false;
  std::error_code ec;
  fs::create_directories(slozka, ec);
  if (ec) return false;
  TZapis f;
  f.Data().append(Znacka, sizeof Znacka);
  TSouborDat::TKlic k = klic;
  TIndex ix = index;  // the helpers take references
  f(Verze);
  f(k.Zarizeni);
  f(k.Inode);
  f(k.Velikost);
  f(k.Zmeneno);
  f(k.Podpis);
  f(ix.RadkuVBloku);
  f(ix.Perioda);
  f(ix.Radku);
  f(ix.Konec);
  f(ix.Radek);
  auto zapis = [&](auto& v) {
    f(v);
    return true;
  };
  Pocty(zapis, ix.Pocty);
  f(static_cast<uint64_t>(ix.Bloky.size()));
  for (TBlok& b : ix.Bloky) Blok(zapis, b);
  uint32_t kanalu = 0;
  for (const auto& [kanal, s] : ix.Souhrny) kanalu += s.size() == ix.Bloky.size();
  f(kanalu);
  for (auto& [kanal, s] : ix.Souhrny) {
    if (s.size() != ix.Bloky.size()) continue;
    f(static_cast<int32_t>(kanal));
    for (TSouhrn& x : s) Souhrn(zapis, x);
  }
  f(Fnv(f.Data().data(), f.Data().size()));

  const fs::path cesta = slozka / JmenoSouboru(klic);
  fs::path docasna = cesta;
  docasna += "." + std::to_string(::getpid()) + ".tmp";
  const int fd = ::open(docasna.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const std::string& d = f.Data();
  size_t hotovo = 0;
  while (hotovo < d.size()) {
    const ssize_t n = ::write(fd, d.data() + hotovo, d.size() - hotovo);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    hotovo += static_cast<size_t>(n);
  }
  const bool ok = ::close(fd) == 0 && hotovo == d.size();
  if (!ok || ::rename(docasna.c_str(), cesta.c_str()) != 0) {
    ::unlink(docasna.c_str());
    return false;
  }
  // The oldest go when there are too many: indexes of files long deleted.
  std::vector<std::pair<fs::file_time_type, fs::path>> soubory;
  for (fs::directory_iterator i(slozka, ec), konec; !ec && i != konec; i.increment(ec))
    if (i->path().extension() == ".zqi") soubory.emplace_back(i->last_write_time(ec), i->path());
  if (soubory.size() > static_cast<size_t>(NejvicIndexu)) {
    std::sort(soubory.begin(), soubory.end());
    for (size_t i = 0; i + NejvicIndexu < soubory.size(); ++i) fs::remove(soubory[i].second, ec);
  }
  return true;
}
