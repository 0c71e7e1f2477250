#include "Soubor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "ChybySouboru.h"
#include "Cisla.h"
#include "Cp1250.h"
#include "Mistni.h"
#include "Slozka.h"

namespace fs = std::filesystem;

namespace {

// A walk reads pieces of VelikostKusu: large enough that the system calls
// cost little, small enough that the memory they first touch (dear on a
// virtual machine) does not outweigh the reading.  Only a longer line
// makes the buffer grow, up to NejdelsiRadek; a line longer still is not a
// record of ours (256 channels of 14 characters make 4 KB).
constexpr size_t VelikostKusu = 256 << 10;
constexpr size_t NejdelsiRadek = 4 << 20;
constexpr size_t NejmensiBuffer = 64 << 10;
// How much of the beginning the recognition reads: a header of 267 long
// names fits many times.
constexpr size_t VelikostZacatku = 1 << 20;
// Blocks: at least this many records, and about this many blocks at most
// for a file's size when it is first indexed.
constexpr uint32_t NejmeneRadkuVBloku = 32;
// Records sampled from each end for the forms of dates, times and numbers.
constexpr size_t VzorkuZKonce = 64;

std::string Cislo(uint64_t n) { return CeleNaText(static_cast<int64_t>(n)); }

std::string Uvozene(std::string_view t) { return Cp1250("„") + std::string(t) + Cp1250("“"); }

// Reads all of [pozice, pozice + delka) unless the file ends first; the
// bytes read, or -1 with errno.
ssize_t CtiVse(int fd, char* buf, size_t delka, uint64_t pozice) {
  size_t hotovo = 0;
  while (hotovo < delka) {
    const ssize_t n =
        ::pread(fd, buf + hotovo, delka - hotovo, static_cast<off_t>(pozice + hotovo));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    hotovo += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(hotovo);
}

int64_t CasSouboru(const struct stat& st) {
  return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

uint64_t Fnv(uint64_t h, std::string_view s) {
  for (const char c : s) {
    h ^= static_cast<uint8_t>(c);
    h *= 1099511628211ULL;
  }
  return h;
}

}  // namespace

void TSouhrn::Pridej(double v, uint32_t i) {
  const float f = static_cast<float>(v);
  if (IPrvni == TBlok::Zadny) {
    Min = Max = Prvni = f;
    IPrvni = i;
  }
  Min = std::min(Min, f);
  Max = std::max(Max, f);
  Posledni = f;
  IPosledni = i;
}

void TPocty::Pridej(const TPocty& p) {
  if (VadneRadky == 0) PrvniVadny = p.PrvniVadny;
  if (SpatnyCas == 0) PrvniSpatnyCas = p.PrvniSpatnyCas;
  VadneRadky += p.VadneRadky;
  SpatnyCas += p.SpatnyCas;
  NecitelneHodnoty += p.NecitelneHodnoty;
}

uint64_t PodpisRozlozeni(const TRozlozeni& r) {
  uint64_t h = 1469598103934665603ULL;
  const std::string pevne =
      Cislo(static_cast<uint64_t>(r.Format)) + "/" + Cislo(static_cast<uint64_t>(r.Volby)) + "/" +
      Cislo(static_cast<uint64_t>(r.PocetKanalu)) + "/" + Cislo(r.ZacatekDat) + "/" +
      Cislo(r.DelkaZaznamu) + "/" + r.ObrazDatumu + "/" + r.ObrazCasu;
  h = Fnv(h, pevne);
  for (const std::string& n : r.NazvyKanalu) h = Fnv(Fnv(h, n), std::string_view("\0", 1));
  // The places on the axis depend on the zone the dates are read in.
  if (r.MaCas()) {
    tzset();
    h = Fnv(
        h, std::string(tzname[0]) + "/" + tzname[1] + "/" + Cislo(static_cast<uint64_t>(timezone)));
    for (const int64_t t : {INT64_C(1735689600), INT64_C(1751328000)}) {  // a winter, a summer
      const std::time_t tt = static_cast<std::time_t>(t);
      std::tm tm{};
      if (localtime_r(&tt, &tm)) h = Fnv(h, Cislo(static_cast<uint64_t>(tm.tm_gmtoff + 86400)));
    }
  }
  return h;
}

// ---- a walk ---------------------------------------------------------------------

// One pass over a range of bytes: each line or DBF record taken apart in
// the columns needed, its place on the axis found, its values read; blocks
// of the index made or summed up along.
struct TSouborDat::TChod {
  uint64_t Od = 0, Do = 0;  // bytes
  uint64_t Radek = 0;       // the file's number of the next record
  uint64_t Linka = 0;       // lines (DBF: records) before Od
  int64_t Predchozi = ZadnyCas;
  std::vector<int> Kanaly;
  bool BezCasu = false;  // the forms are not known yet: no place, no values
  bool Indexuje = false;
  const TPrijemRadku* Prijem = nullptr;
  TPrubeh Prubeh;
  uint64_t Hotovo = 0, Celkem = 0;  // for Prubeh
  // CtiBloky: the blocks walked, for their summaries.
  size_t Blok = 0;
  uint32_t VBloku = 0;

  // Results.
  TPocty Pocty;
  uint64_t Konec = 0;  // byte after the last line or record taken
  bool Zastaven = false;
  std::vector<TSouhrn> Souhrny;  // the current block's, per channel asked for
  TBlok Aktualni;                // Indexuje: the block being made
  // BezCasu: each record's date and time texts, and whether a value shows
  // a decimal point or comma.
  std::vector<std::pair<std::string, std::string>> Vzorky;
  size_t NejvicVzorku = 0;
  bool Tecka = false, Carka = false;
};

std::unique_ptr<TSouborDat> TSouborDat::Otevri(const fs::path& cesta, const TUlohaSouboru* uloha,
                                               TRozpoznani& rozpoznani) {
  rozpoznani = TRozpoznani{};
  std::unique_ptr<TSouborDat> s(new TSouborDat());
  s->cesta_ = cesta;
  s->fd_ = ::open(cesta.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (s->fd_ < 0 || ::fstat(s->fd_, &st) != 0) {
    rozpoznani.Duvod = Cp1250("nelze otevřít: ") + PricinaChyby(errno);
    return nullptr;
  }
  if (!S_ISREG(st.st_mode)) {
    rozpoznani.Duvod = Cp1250("není obyčejný soubor");
    return nullptr;
  }
  ::posix_fadvise(s->fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
  s->velikost_ = static_cast<uint64_t>(st.st_size);
  s->zmeneno_ = CasSouboru(st);
  s->zarizeni_ = st.st_dev;
  s->inode_ = st.st_ino;
  // Enough for a header and the first records; more only for a first line
  // that does not end in it.
  std::string zacatek;
  for (const size_t kolik : {NejmensiBuffer, VelikostZacatku}) {
    zacatek.assign(std::min<uint64_t>(s->velikost_, kolik), '\0');
    const ssize_t n = CtiVse(s->fd_, zacatek.data(), zacatek.size(), 0);
    if (n < 0) {
      rozpoznani.Duvod = Cp1250("nelze číst: ") + PricinaChyby(errno);
      return nullptr;
    }
    zacatek.resize(static_cast<size_t>(n));
    if (zacatek.find('\n') != std::string::npos ||
        FormatSouboru(CestaCp1250(cesta)) == TFormatSouboru::DBF)
      break;
  }
  rozpoznani = RozpoznejZacatek(zacatek, s->velikost_, FormatSouboru(CestaCp1250(cesta)), uloha);
  if (rozpoznani.Stav != TRozpoznani::Ok) return nullptr;
  s->r_ = rozpoznani.Rozlozeni;
  s->Buffer(0);
  if (const TZmena z = s->Obnov(); z != Beze && z != Pridano) {
    rozpoznani.Stav = TRozpoznani::Cizi;
    rozpoznani.Duvod = s->chyba_;
    return nullptr;
  }
  std::string duvod;
  if (!s->UrciTvary(duvod)) {
    rozpoznani.Stav = TRozpoznani::Cizi;
    rozpoznani.Duvod = duvod;
    return nullptr;
  }
  return s;
}

TSouborDat::~TSouborDat() {
  if (fd_ >= 0) ::close(fd_);
}

TSouborDat::TKlic TSouborDat::Klic() const {
  return {static_cast<uint64_t>(zarizeni_), static_cast<uint64_t>(inode_), velikost_, zmeneno_,
          PodpisRozlozeni(r_)};
}

void TSouborDat::PrevezmiIndex(TIndex index) {
  ix_ = std::move(index);
  indexZmenen_ = false;
  ZapamatujPosledni();
}

// The end of the last record indexed, to see later that the file only grew.
void TSouborDat::ZapamatujPosledni() {
  posledni_.clear();
  if (ix_.Bloky.empty()) return;
  const TBlok& b = ix_.Bloky.back();
  posledniOd_ = b.Do - std::min<uint64_t>(b.Do - b.Od, r_.DelkaZaznamu ? r_.DelkaZaznamu : 4096);
  posledni_.assign(static_cast<size_t>(b.Do - posledniOd_), '\0');
  if (CtiVse(fd_, posledni_.data(), posledni_.size(), posledniOd_) !=
      static_cast<ssize_t>(posledni_.size()))
    posledni_.clear();
}

const TSouhrn* TSouborDat::Souhrn(int kanal, size_t blok) const {
  const auto k = ix_.Souhrny.find(kanal);
  if (k == ix_.Souhrny.end() || blok >= k->second.size() || !k->second[blok].Znamy) return nullptr;
  return &k->second[blok];
}

TSouborDat::TZmena TSouborDat::Obnov() {
  struct stat st {};
  if (::stat(cesta_.c_str(), &st) != 0) return Zmizel;
  if (st.st_dev != zarizeni_ || st.st_ino != inode_) return Znovu;
  if (::fstat(fd_, &st) != 0) {
    chyba_ = Cp1250("nelze číst: ") + PricinaChyby(errno);
    return Zmizel;
  }
  const uint64_t velikost = static_cast<uint64_t>(st.st_size);
  const bool zmena = velikost != velikost_ || CasSouboru(st) != zmeneno_;
  if (!zmena && konecDat_ > 0) return Beze;
  if (velikost < ix_.Konec || velikost < r_.ZacatekDat) {
    chyba_ = Cp1250("soubor se zkrátil");
    return Znovu;
  }
  // The last record indexed must still be there as it was; otherwise the
  // file was written anew.
  if (!posledni_.empty()) {
    std::string ted(posledni_.size(), '\0');
    if (CtiVse(fd_, ted.data(), ted.size(), posledniOd_) != static_cast<ssize_t>(ted.size()) ||
        ted != posledni_)
      return Znovu;
  }
  velikost_ = velikost;
  zmeneno_ = CasSouboru(st);
  uint64_t konec = r_.ZacatekDat;
  if (r_.Format == TFormatSouboru::DBF) {
    konec += (velikost - r_.ZacatekDat) / r_.DelkaZaznamu * r_.DelkaZaznamu;
  } else {
    // After the last LF: what follows it is a line still being written.
    uint64_t do_ = velikost;
    while (do_ > r_.ZacatekDat && do_ > konecDat_) {
      const uint64_t od =
          std::max<uint64_t>({r_.ZacatekDat, konecDat_, do_ > 65536 ? do_ - 65536 : 0});
      const ssize_t n = CtiVse(fd_, buf_.get(), static_cast<size_t>(do_ - od), od);
      if (n != static_cast<ssize_t>(do_ - od)) {
        chyba_ = Cp1250("soubor se během čtení zkrátil");
        return Znovu;
      }
      const void* lf = ::memrchr(buf_.get(), '\n', static_cast<size_t>(n));
      if (lf) {
        konec = od + static_cast<uint64_t>(static_cast<const char*>(lf) - buf_.get()) + 1;
        break;
      }
      do_ = od;
    }
    konec = std::max(konec, konecDat_);
  }
  const bool pridano = konec > konecDat_;
  konecDat_ = konec;
  neuplny_ = velikost - konec;
  // A table's end-of-file marker is no torn record.
  if (r_.Format == TFormatSouboru::DBF && neuplny_ > 0) {
    char znak = 0;
    if (CtiVse(fd_, &znak, 1, konec) == 1 && static_cast<uint8_t>(znak) == DBF_KonecSouboru)
      --neuplny_;
  }
  return pridano ? Pridano : Beze;
}

void TSouborDat::Buffer(uint64_t bajtu, size_t ponechat) {
  const size_t velikost =
      static_cast<size_t>(std::clamp<uint64_t>(bajtu, NejmensiBuffer, NejdelsiRadek));
  if (velikostBufferu_ >= velikost) return;
  std::unique_ptr<char[]> novy(new char[velikost]);
  if (ponechat > 0) std::memcpy(novy.get(), buf_.get(), ponechat);
  buf_ = std::move(novy);
  velikostBufferu_ = velikost;
}

// Walks [Od, Do) of the file.
bool TSouborDat::Projdi(TChod& ch) {
  size_t kus = VelikostKusu;
  Buffer(kus);
  TPoleZaznamu pole(r_);
  const bool dbf = r_.Format == TFormatSouboru::DBF;
  // The last column needed, and the error groups of the channels asked for.
  int posledni = std::max({r_.SloupecIndexu(), ch.BezCasu ? -1 : r_.SloupecDatumu(),
                           ch.BezCasu ? -1 : r_.SloupecCasu(), 0});
  if (ch.BezCasu) posledni = r_.PocetSloupcu() - 1;
  for (int k : ch.Kanaly) {
    posledni = std::max(posledni, r_.SloupecKanalu(k));
    if (r_.PocetSkupin() > 0) posledni = std::max(posledni, r_.SloupecSkupiny(k / 32));
  }
  std::vector<double> hodnoty(ch.Kanaly.size());
  std::vector<uint8_t> selhalo(ch.Kanaly.size());
  std::array<std::optional<uint32_t>, (MaxKanalu + 31) / 32> skupiny{};
  std::string datumText;  // the last date read, and what it read
  std::optional<TDatumCas> datum;
  const int64_t mez = 2 * std::max<int64_t>(ix_.Perioda, 1);  // a longer step is a gap
  const uint32_t radkuVBloku = std::max<uint32_t>(ix_.RadkuVBloku, 1);

  auto zaznam = [&](const char* p, size_t delka, uint64_t konecZaznamu) -> bool {
    ++ch.Linka;
    ch.Konec = konecZaznamu;
    if (!pole.Vezmi(p, delka, posledni)) {
      if (ch.Pocty.VadneRadky++ == 0) ch.Pocty.PrvniVadny = ch.Linka;
      return true;
    }
    if (ch.BezCasu) {
      if (ch.Vzorky.size() < ch.NejvicVzorku) {
        auto text = [&](int s) { return std::string(s >= 0 ? pole.Pole(s) : std::string_view()); };
        ch.Vzorky.emplace_back(text(r_.SloupecDatumu()), text(r_.SloupecCasu()));
        for (int k = 0; k < r_.PocetKanalu; ++k) {
          const std::string_view h = pole.Pole(r_.SloupecKanalu(k));
          ch.Tecka = ch.Tecka || h.find('.') != std::string_view::npos;
          ch.Carka = ch.Carka || h.find(',') != std::string_view::npos;
        }
      }
      return ch.Vzorky.size() < ch.NejvicVzorku;
    }
    int64_t poloha = static_cast<int64_t>(ch.Radek);
    if (r_.MaCas()) {
      const std::string_view d = pole.Pole(r_.SloupecDatumu());
      if (d != datumText) {
        datumText = d;
        datum = CtiDatum(d, r_.ObrazDatumu);
      }
      std::optional<TDatumCas> t =
          datum ? CtiCas(pole.Pole(r_.SloupecCasu()), r_.ObrazCasu) : std::nullopt;
      if (!t) {
        if (ch.Pocty.SpatnyCas++ == 0) ch.Pocty.PrvniSpatnyCas = ch.Linka;
        return true;
      }
      t->Rok = datum->Rok;
      t->Mesic = datum->Mesic;
      t->Den = datum->Den;
      poloha = mistni_.Sekundy(*t, ch.Predchozi);
    }
    skupiny.fill(std::nullopt);
    for (size_t i = 0; i < ch.Kanaly.size(); ++i) {
      const int k = ch.Kanaly[i];
      selhalo[i] = 0;
      if (r_.PocetSkupin() > 0) {
        auto& g = skupiny[static_cast<size_t>(k / 32)];
        if (!g) g = CtiSkupinu(pole.Pole(r_.SloupecSkupiny(k / 32))).value_or(UINT32_MAX);
        selhalo[i] = (*g >> (k % 32)) & 1;
      }
      const std::optional<double> v = CtiHodnotu(pole.Pole(r_.SloupecKanalu(k)));
      if (!v && !selhalo[i]) ++ch.Pocty.NecitelneHodnoty;
      hodnoty[i] = selhalo[i] || !v ? NAN : *v;
    }
    const bool mezera =
        ch.Predchozi != ZadnyCas && (poloha - ch.Predchozi > mez || poloha < ch.Predchozi);
    ch.Predchozi = poloha;
    if (ch.Indexuje) {
      TBlok& b = ch.Aktualni;
      if (b.Radku == 0) {
        b.PrvniRadek = ch.Radek;
        b.PolohaPrvni = b.PolohaMin = b.PolohaMax = poloha;
      } else if (mezera) {
        if (b.PrvniMezera == TBlok::Zadny) b.PrvniMezera = b.Radku;
        b.PosledniMezera = b.Radku;
      }
      b.PolohaMin = std::min(b.PolohaMin, poloha);
      b.PolohaMax = std::max(b.PolohaMax, poloha);
      b.PolohaPosledni = poloha;
      b.Do = konecZaznamu;
    }
    const uint32_t vBloku = ch.Indexuje ? ch.Aktualni.Radku : ch.VBloku;
    for (size_t i = 0; i < ch.Kanaly.size(); ++i)
      if (!std::isnan(hodnoty[i])) ch.Souhrny[i].Pridej(hodnoty[i], vBloku);
    TRadekCteni radek;
    radek.Radek = ch.Radek++;
    radek.Poloha = poloha;
    radek.Hodnoty = hodnoty.data();
    radek.Selhalo = selhalo.data();
    radek.Pole = &pole;
    if (ch.Prijem && !(*ch.Prijem)(radek)) ch.Zastaven = true;
    // A block is complete: its summaries are kept.
    auto uzavri = [&](size_t blok) {
      indexZmenen_ = indexZmenen_ || !ch.Kanaly.empty();
      for (size_t i = 0; i < ch.Kanaly.size(); ++i) {
        std::vector<TSouhrn>& v = ix_.Souhrny[ch.Kanaly[i]];
        if (v.size() <= blok) v.resize(std::max(ix_.Bloky.size(), blok + 1));
        const bool platny = ch.Souhrny[i].Znamy != 2;
        v[blok] = ch.Souhrny[i];
        v[blok].Znamy = platny;
        ch.Souhrny[i] = TSouhrn{};
      }
    };
    if (ch.Indexuje) {
      if (++ch.Aktualni.Radku == radkuVBloku) {
        ix_.Bloky.push_back(ch.Aktualni);
        uzavri(ix_.Bloky.size() - 1);
        ch.Aktualni = TBlok{};
        ch.Aktualni.Od = ch.Aktualni.Do = konecZaznamu;
      }
    } else if (ch.Blok < ix_.Bloky.size() && ++ch.VBloku == ix_.Bloky[ch.Blok].Radku) {
      uzavri(ch.Blok++);
      ch.VBloku = 0;
    }
    return !ch.Zastaven;
  };

  auto prubeh = [&](uint64_t pozice) {
    if (ch.Prubeh && !ch.Prubeh(ch.Hotovo + (pozice - ch.Od), ch.Celkem)) ch.Zastaven = true;
    return !ch.Zastaven;
  };
  auto zkraceno = [&] {
    chyba_ = Cp1250("soubor se během čtení zkrátil (čteno do bajtu ") + Cislo(ch.Konec) + ")";
    return false;
  };

  if (dbf) {
    const size_t delka = r_.DelkaZaznamu;
    for (uint64_t pozice = ch.Od; pozice + delka <= ch.Do;) {
      const size_t zaznamu = static_cast<size_t>(
          std::min<uint64_t>(std::max<size_t>(kus / delka, 1), (ch.Do - pozice) / delka));
      const ssize_t n = CtiVse(fd_, buf_.get(), zaznamu * delka, pozice);
      if (n < 0) {
        chyba_ = Cp1250("nelze číst: ") + PricinaChyby(errno);
        return false;
      }
      for (size_t i = 0; i + delka <= static_cast<size_t>(n); i += delka)
        if (!zaznam(buf_.get() + i, delka, pozice + i + delka)) return true;
      if (static_cast<size_t>(n) < zaznamu * delka) return zkraceno();
      pozice += zaznamu * delka;
      if (!prubeh(pozice)) return true;
    }
    return true;
  }

  // Lines: each ends at its LF, and is a record without its CR LF.
  uint64_t zacatekBufferu = ch.Od;  // the file's offset of buf_[0]
  size_t v = 0, z = 0;              // bytes in the buffer, where the next line starts
  bool dlouhy = false;              // the line began before the buffer (too long)
  for (;;) {
    const char* b = buf_.get();
    const void* lf = z < v ? std::memchr(b + z, '\n', v - z) : nullptr;
    if (lf) {
      const size_t k = static_cast<size_t>(static_cast<const char*>(lf) - b);
      const uint64_t konec = zacatekBufferu + k + 1;
      if (dlouhy || k == z || b[k - 1] != '\r') {
        ++ch.Linka;
        ch.Konec = konec;
        if (ch.Pocty.VadneRadky++ == 0) ch.Pocty.PrvniVadny = ch.Linka;
        dlouhy = false;
      } else if (!zaznam(b + z, k - 1 - z, konec)) {
        return true;
      }
      z = k + 1;
      continue;
    }
    if (zacatekBufferu + v >= ch.Do) return true;  // what is left is no complete line
    // Everything read is taken: said before the next piece is read.
    if (zacatekBufferu + v > ch.Od && !prubeh(zacatekBufferu + z)) return true;
    if (z == 0 && v == kus && kus < NejdelsiRadek) {
      kus *= 2;  // a line longer than the buffer
      Buffer(kus, v);
    } else if (z == 0 && v == kus) {
      dlouhy = true;  // dropped: only its end is looked for
      zacatekBufferu += v;
      v = 0;
    } else {
      std::memmove(buf_.get(), b + z, v - z);
      zacatekBufferu += z;
      v -= z;
    }
    z = 0;
    const size_t chci =
        static_cast<size_t>(std::min<uint64_t>(kus - v, ch.Do - (zacatekBufferu + v)));
    const ssize_t n = CtiVse(fd_, buf_.get() + v, chci, zacatekBufferu + v);
    if (n < 0) {
      chyba_ = Cp1250("nelze číst: ") + PricinaChyby(errno);
      return false;
    }
    if (static_cast<size_t>(n) < chci) return zkraceno();
    v += static_cast<size_t>(n);
  }
}

// ---- forms of the dates and times -----------------------------------------------------

bool TSouborDat::UrciTvary(std::string& duvod) {
  if (!r_.MaCas() && r_.SloupecDatumu() < 0 && r_.SloupecCasu() < 0) {
    tvaryZnamy_ = true;
    ix_.Perioda = 1;
    return true;
  }
  // Records from the beginning and from the end.
  bool tecka = false, carka = false;
  auto vzorky = [&](uint64_t od, size_t kolik) {
    TChod ch;
    ch.Od = od;
    ch.Do = konecDat_;
    ch.BezCasu = true;
    ch.NejvicVzorku = kolik;
    Projdi(ch);
    tecka = tecka || ch.Tecka;
    carka = carka || ch.Carka;
    return ch.Vzorky;
  };
  std::vector<std::pair<std::string, std::string>> zaznamy = vzorky(r_.ZacatekDat, VzorkuZKonce);
  if (zaznamy.empty()) return true;  // nothing to learn from yet
  const uint64_t zKonce = r_.Format == TFormatSouboru::DBF
                              ? static_cast<uint64_t>(VzorkuZKonce) * r_.DelkaZaznamu
                              : static_cast<uint64_t>(VzorkuZKonce) * 8192;
  if (konecDat_ > r_.ZacatekDat + zKonce) {
    uint64_t od = konecDat_ - zKonce;
    if (r_.Format == TFormatSouboru::DBF)
      od = r_.ZacatekDat + (od - r_.ZacatekDat) / r_.DelkaZaznamu * r_.DelkaZaznamu;
    std::vector<std::pair<std::string, std::string>> konec = vzorky(od, VzorkuZKonce * 2);
    // The first line there may be a piece of one.
    if (r_.Format != TFormatSouboru::DBF && !konec.empty()) konec.erase(konec.begin());
    zaznamy.insert(zaznamy.end(), konec.begin(), konec.end());
  }
  // Of the values only their separators tell.  Both (a file continued under
  // other settings): values are read with either anyway, and the dates must
  // not be refused for it.
  std::vector<std::string> hodnoty;
  if (tecka != carka) hodnoty.emplace_back(tecka ? "0.5" : "0,5");
  const std::string datum = zaznamy.back().first, cas = zaznamy.back().second;
  std::optional<TDatumCas> zapsano;
  {
    const std::time_t t = static_cast<std::time_t>(zmeneno_ / 1000000000);
    std::tm tm{};
    if (localtime_r(&t, &tm))
      zapsano =
          TDatumCas{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
  }
  // The forms in use where people write Czech or English: which one wrote
  // the file, when more could, the first that reads every sample.
  const TMistniNastaveni vychozi[] = {MistniCeske(),
                                      MistniAnglicke(),
                                      {'.', "dd/MM/yyyy", "HH:mm:ss"},
                                      {'.', "yyyy-MM-dd", "HH:mm:ss"}};
  std::string prvniDuvod;
  for (const TMistniNastaveni& v : vychozi) {
    const TMistniZeZaznamu m = MistniZeZaznamu(v, datum, cas, hodnoty, zapsano);
    if (!m.Mistni) {
      if (prvniDuvod.empty()) prvniDuvod = m.Duvod;
      continue;
    }
    bool vse = true;
    for (size_t i = 0; i < zaznamy.size() && vse; ++i) {
      if (r_.SloupecDatumu() >= 0 && !CtiDatum(zaznamy[i].first, m.Mistni->KratkeDatum)) {
        vse = false;
        if (prvniDuvod.empty())
          prvniDuvod = Cp1250("datum ") + Uvozene(zaznamy[i].first) + Cp1250(" nemá tvar ") +
                       Uvozene(m.Mistni->KratkeDatum) + Cp1250(" posledního záznamu");
      }
      if (r_.SloupecCasu() >= 0 && !CtiCas(zaznamy[i].second, m.Mistni->DlouhyCas)) {
        vse = false;
        if (prvniDuvod.empty())
          prvniDuvod = Cp1250("čas ") + Uvozene(zaznamy[i].second) + Cp1250(" nemá tvar ") +
                       Uvozene(m.Mistni->DlouhyCas) + Cp1250(" posledního záznamu");
      }
    }
    if (!vse) continue;
    r_.ObrazDatumu = r_.SloupecDatumu() >= 0 ? m.Mistni->KratkeDatum : "";
    r_.ObrazCasu = r_.SloupecCasu() >= 0 ? m.Mistni->DlouhyCas : "";
    r_.DesetinnyOddelovac = tecka != carka ? (tecka ? '.' : ',') : '\0';
    tvaryZnamy_ = true;
    ix_.Perioda = OdhadniPeriodu();
    return true;
  }
  duvod = Cp1250("záznamy nemají tvar data a času, jak je zapisuje tento program: ") + prvniDuvod;
  return false;
}

// The step between records that occurs most often among the first ones.
int64_t TSouborDat::OdhadniPeriodu() {
  if (!r_.MaCas()) return 1;
  std::vector<int64_t> polohy;
  TPrijemRadku prijem = [&](const TRadekCteni& r) {
    polohy.push_back(r.Poloha);
    return polohy.size() < 256;
  };
  TChod ch;
  ch.Od = r_.ZacatekDat;
  ch.Do = konecDat_;
  ch.Prijem = &prijem;
  ch.Blok = ix_.Bloky.size();  // no block to sum up
  Projdi(ch);
  std::map<int64_t, int> kroky;
  for (size_t i = 1; i < polohy.size(); ++i)
    if (polohy[i] > polohy[i - 1]) ++kroky[polohy[i] - polohy[i - 1]];
  int64_t perioda = 1;
  int nejcasteji = 0;
  for (const auto& [krok, pocet] : kroky)
    if (pocet > nejcasteji) {
      nejcasteji = pocet;
      perioda = krok;
    }
  return perioda;
}

// ---- the index ----------------------------------------------------------------------------

TSouborDat::TVysledek TSouborDat::Indexuj(const std::vector<int>& kanaly, const TPrijemRadku* radek,
                                          const TPrubeh& prubeh, int64_t predchozi) {
  if (!tvaryZnamy_) {
    std::string duvod;
    if (!UrciTvary(duvod)) {
      chyba_ = duvod;
      return Selhalo;
    }
    if (!tvaryZnamy_) return Hotovo;  // still no record
  }
  if (ix_.RadkuVBloku == 0) {
    // About CilovyPocetBloku blocks for the file as it is now.
    const uint64_t CilovyPocetBloku = std::max<uint64_t>(TSouborDat::CilovyPocetBloku, 1);
    const uint64_t delkaRadku = r_.DelkaZaznamu ? r_.DelkaZaznamu : 64;
    uint64_t odhad = (konecDat_ - r_.ZacatekDat) / delkaRadku;
    if (r_.Format == TFormatSouboru::CSV && konecDat_ > r_.ZacatekDat) {
      // A CSV line's length from the first ones.
      const size_t kus =
          static_cast<size_t>(std::min<uint64_t>(konecDat_ - r_.ZacatekDat, 1 << 16));
      const ssize_t n = CtiVse(fd_, buf_.get(), kus, r_.ZacatekDat);
      const auto radku = n > 0 ? std::count(buf_.get(), buf_.get() + n, '\n') : 0;
      if (radku > 0) odhad = (konecDat_ - r_.ZacatekDat) / static_cast<uint64_t>(n / radku + 1);
    }
    ix_.RadkuVBloku = static_cast<uint32_t>(
        std::max<uint64_t>(NejmeneRadkuVBloku, (odhad + CilovyPocetBloku - 1) / CilovyPocetBloku));
  }
  TChod ch;
  ch.Indexuje = true;
  ch.Kanaly = kanaly;
  ch.Prijem = radek;
  ch.Prubeh = prubeh;
  ch.Celkem = konecDat_ - ix_.Konec;
  ch.Linka = ix_.Radek;
  ch.Radek = ix_.Radku;
  ch.Souhrny.assign(kanaly.size(), TSouhrn{});
  ch.Predchozi = predchozi;
  if (ix_.Konec < r_.ZacatekDat) ix_.Konec = r_.ZacatekDat;
  // A last block that is not full goes on.
  if (!ix_.Bloky.empty() && ix_.Bloky.back().Radku < ix_.RadkuVBloku) {
    ch.Aktualni = ix_.Bloky.back();
    ix_.Bloky.pop_back();
    // The channels summed up go on from its summary; one without a summary
    // of its beginning gets none of it.
    for (size_t i = 0; i < kanaly.size(); ++i) {
      if (const TSouhrn* s = Souhrn(kanaly[i], ix_.Bloky.size()))
        ch.Souhrny[i] = *s;
      else
        ch.Souhrny[i].Znamy = 2;
    }
    // Other channels' summaries of it would miss the records to come.
    for (auto& [kanal, souhrny] : ix_.Souhrny)
      if (souhrny.size() > ix_.Bloky.size()) souhrny[ix_.Bloky.size()].Znamy = 0;
  } else {
    ch.Aktualni.Od = ch.Aktualni.Do = ix_.Konec;
  }
  if (!ix_.Bloky.empty()) ch.Predchozi = ix_.Bloky.back().PolohaPosledni;
  if (ch.Aktualni.Radku > 0) ch.Predchozi = ch.Aktualni.PolohaPosledni;
  ch.Od = ix_.Konec;
  ch.Do = konecDat_;
  const bool ok = Projdi(ch);
  indexZmenen_ = indexZmenen_ || ch.Konec > ix_.Konec || !kanaly.empty();
  // What was walked is indexed, to the last record taken.
  ix_.Konec = ch.Konec > ix_.Konec ? ch.Konec : ix_.Konec;
  ix_.Radek = ch.Linka;
  ix_.Radku = ch.Radek;
  ix_.Pocty.Pridej(ch.Pocty);
  if (ch.Aktualni.Radku > 0) {
    ix_.Bloky.push_back(ch.Aktualni);
    const size_t b = ix_.Bloky.size() - 1;
    for (size_t i = 0; i < kanaly.size(); ++i) {
      std::vector<TSouhrn>& v = ix_.Souhrny[kanaly[i]];
      if (v.size() <= b) v.resize(b + 1);
      const bool platny = ch.Souhrny[i].Znamy != 2;
      v[b] = ch.Souhrny[i];
      v[b].Znamy = platny;
    }
  }
  for (auto& [kanal, souhrny] : ix_.Souhrny) souhrny.resize(ix_.Bloky.size());
  Zhust();
  ZapamatujPosledni();
  if (!ok) return Selhalo;
  return ch.Zastaven ? Zruseno : Hotovo;
}

// A file that grew while open: pairs of full blocks become one, so the index
// stays about CilovyPocetBloku blocks whatever the file's size.
void TSouborDat::Zhust() {
  const uint64_t cil = std::max<uint64_t>(CilovyPocetBloku, 1);
  const int64_t mez = 2 * std::max<int64_t>(ix_.Perioda, 1);
  while (ix_.Bloky.size() > 2 * cil && ix_.RadkuVBloku <= UINT32_MAX / 2) {
    const uint32_t k = ix_.RadkuVBloku;
    std::vector<TBlok> bloky;
    std::vector<size_t> z;  // the first block of each new one
    for (size_t i = 0; i < ix_.Bloky.size(); ++i) {
      const TBlok& b = ix_.Bloky[i];
      if (i % 2 == 1 && bloky.back().Radku == k && b.Radku == k) {
        TBlok& a = bloky.back();
        const bool krok =
            b.PolohaPrvni - a.PolohaPosledni > mez || b.PolohaPrvni < a.PolohaPosledni;
        auto posun = [&](uint32_t m) { return m == TBlok::Zadny ? m : m + a.Radku; };
        if (a.PrvniMezera == TBlok::Zadny) a.PrvniMezera = krok ? a.Radku : posun(b.PrvniMezera);
        if (b.PosledniMezera != TBlok::Zadny)
          a.PosledniMezera = posun(b.PosledniMezera);
        else if (krok)
          a.PosledniMezera = a.Radku;
        a.Do = b.Do;
        a.PolohaPosledni = b.PolohaPosledni;
        a.PolohaMin = std::min(a.PolohaMin, b.PolohaMin);
        a.PolohaMax = std::max(a.PolohaMax, b.PolohaMax);
        for (auto& [kanal, souhrny] : ix_.Souhrny) {
          TSouhrn& sa = souhrny[z.back()];
          const TSouhrn& sb = souhrny[i];
          if (!sa.Znamy || !sb.Znamy) {
            sa.Znamy = 0;
            continue;
          }
          if (sb.IPrvni != TBlok::Zadny) {
            if (sa.IPrvni == TBlok::Zadny) {
              sa.Prvni = sb.Prvni;
              sa.IPrvni = sb.IPrvni + a.Radku;
              sa.Min = sb.Min;
              sa.Max = sb.Max;
            }
            sa.Min = std::min(sa.Min, sb.Min);
            sa.Max = std::max(sa.Max, sb.Max);
            sa.Posledni = sb.Posledni;
            sa.IPosledni = sb.IPosledni + a.Radku;
          }
        }
        a.Radku += b.Radku;
        continue;
      }
      bloky.push_back(b);
      z.push_back(i);
    }
    for (auto& [kanal, souhrny] : ix_.Souhrny) {
      std::vector<TSouhrn> nove;
      nove.reserve(z.size());
      for (size_t i : z) nove.push_back(souhrny[i]);
      souhrny = std::move(nove);
    }
    ix_.Bloky = std::move(bloky);
    ix_.RadkuVBloku = 2 * k;
    indexZmenen_ = true;
  }
}

bool TSouborDat::CtiBloky(size_t od, size_t do_, const std::vector<int>& kanaly, int64_t predchozi,
                          const TPrijemRadku& radek) {
  if (od >= do_ || do_ > ix_.Bloky.size()) return true;
  TChod ch;
  ch.Od = ix_.Bloky[od].Od;
  ch.Do = ix_.Bloky[do_ - 1].Do;
  ch.Radek = ix_.Bloky[od].PrvniRadek;
  ch.Kanaly = kanaly;
  ch.Prijem = &radek;
  ch.Blok = od;
  ch.Souhrny.assign(kanaly.size(), TSouhrn{});
  ch.Predchozi = od > 0 ? ix_.Bloky[od - 1].PolohaPosledni : predchozi;
  return Projdi(ch) && !ch.Zastaven;
}
