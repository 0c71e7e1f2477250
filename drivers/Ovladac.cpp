#include "Ovladac.h"

#include "Linka.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <fstream>

#include "Umisteni.h"

namespace zqdrv {

namespace {

// Drops the first n of the m bytes held.
void Odeber(uint8_t* buf, size_t& m, size_t n) {
  if (n >= m) {
    m = 0;
    return;
  }
  std::memmove(buf, buf + n, m - n);
  m -= n;
}

bool HlavickaSedi(const uint8_t* buf, const TDotaz& d) {
  return buf[1] == d.Cislo && buf[2] == d.Adresa && buf[3] == d.Funkce && buf[4] == d.Periferie;
}

}  // namespace

int32_t TLinkoveSpojeni::Pokus(const TDotaz& dotaz, TOdpoved& odpoved, TCas konec,
                               const TNastaveni&) {
  Vyprazdni();
  uint8_t ramec[MaxDelkaDotazu];
  const size_t n = SestavDotaz(dotaz, ramec);
  if (n == 0) return KodDelkaDat;
  if (int32_t kod = Zapis(ramec, n, konec); kod != KodOk) return kod;

  uint8_t buf[256];
  size_t m = 0;
  int32_t chyba = KodOk;  // the first fault seen in this try
  auto zaznamenej = [&](int32_t kod) {
    if (chyba == KodOk) chyba = kod;
  };
  for (;;) {
    while (m > 0) {
      TOdpoved r;
      const TRozbor v = RozeberOdpoved(buf, m, r);
      if (v == TRozbor::Kratky) break;
      if (v == TRozbor::Znak) {
        zaznamenej(KodFormat);
        Odeber(buf, m, 1);
        continue;
      }
      if (v == TRozbor::Crc) {
        // Our own answer spoilt on the line: no point waiting for more.
        if (HlavickaSedi(buf, dotaz)) return KodCrc;
        zaznamenej(KodCrc);
        Odeber(buf, m, 1);
        continue;
      }
      if (r.Cislo != dotaz.Cislo) {
        zaznamenej(KodOpozdena);  // the answer to an earlier try
        Odeber(buf, m, DelkaOdpovedi);
        continue;
      }
      if (r.Adresa != dotaz.Adresa) {
        zaznamenej(KodAdresa);
        Odeber(buf, m, DelkaOdpovedi);
        continue;
      }
      if (r.Funkce != dotaz.Funkce || r.Periferie != dotaz.Periferie) {
        zaznamenej(KodFormat);
        Odeber(buf, m, DelkaOdpovedi);
        continue;
      }
      // Bytes that came with the frame: another frame (a repeated answer)
      // is left to the next flush; anything else makes this one oversized.
      size_t navic = 0;
      if (m < sizeof buf) Cti(buf + m, sizeof buf - m, THodiny::now(), navic);
      m += navic;
      if (m > DelkaOdpovedi && buf[DelkaOdpovedi] != ZnakOdpovedi) return KodDlouha;
      odpoved = r;
      return KodOk;
    }
    if (m == sizeof buf) Odeber(buf, m, 1);
    size_t precteno = 0;
    const int32_t kod = Cti(buf + m, sizeof buf - m, konec, precteno);
    if (kod != KodOk) return kod;
    if (precteno == 0) break;
    m += precteno;
  }
  if (m > 0 && buf[0] == ZnakOdpovedi) zaznamenej(KodNeuplna);
  return chyba != KodOk ? chyba : KodNeodpovedel;
}

int32_t OverNastaveni(int32_t rychlost, int32_t timeout, int32_t opakovani) {
  if (!PodporovanaRychlost(rychlost)) return KodRychlost;
  if (timeout < linka::MinTimeout || timeout > linka::MaxTimeout ||
      opakovani < linka::MinOpakovani || opakovani > linka::MaxOpakovani)
    return KodTimeout;
  return KodOk;
}

int32_t Vymena(TSpojeni& spojeni, const TNastaveni& nastaveni, const int32_t* dotaz,
               int32_t* odpoved, int32_t* delka, int32_t* status) {
  if (dotaz == nullptr || odpoved == nullptr || delka == nullptr || status == nullptr)
    return KodParametr;
  for (int i = 0; i < 100; ++i) odpoved[i] = 0;
  *delka = 0;
  auto selhani = [&](int32_t kod) {
    *status = kod;
    return kod;
  };
  for (int i = 0; i < 8; ++i)
    if (dotaz[i] < 0 || dotaz[i] > 255) return selhani(KodDotaz);
  TDotaz d;
  d.Adresa = static_cast<uint8_t>(dotaz[0]);
  d.Funkce = static_cast<uint8_t>(dotaz[1]);
  d.Periferie = static_cast<uint8_t>(dotaz[2]);
  d.Delka = static_cast<uint8_t>(dotaz[3]);
  if (d.Delka > MaxDataDotazu) return selhani(KodDelkaDat);
  for (int i = 0; i < 4; ++i) d.Data[i] = static_cast<uint8_t>(dotaz[4 + i]);
  if (int32_t kod = spojeni.Obnov(nastaveni); kod != KodOk) return selhani(kod);

  // Each try gets its share of the whole bound; time a try leaves unused
  // passes to the next one.
  const int64_t okno = (DobaRamce(nastaveni.Rychlost) + int64_t{nastaveni.Timeout}) * 1000 +
                       int64_t{spojeni.NavicMs()} * 1000 / (nastaveni.Opakovani + 1);
  const TCas zacatek = THodiny::now();
  int32_t kod = KodNeodpovedel;
  TOdpoved o;
  for (int32_t pokus = 0; pokus <= nastaveni.Opakovani; ++pokus) {
    d.Cislo = static_cast<uint8_t>(spojeni.DalsiPoradi() & 0xFF);
    const TCas konec = zacatek + std::chrono::microseconds(okno * (pokus + 1));
    kod = spojeni.Pokus(d, o, konec, nastaveni);
    if (kod == KodOk) break;
    if (kod == KodParametr || kod == KodDelkaDat) break;
  }
  if (kod != KodOk) return selhani(kod);
  switch (o.Status) {
    case ModulOk:
      for (int i = 0; i < 4; ++i) odpoved[i] = o.Data[i];
      *delka = 4;
      *status = KodOk;
      return KodOk;
    case ModulNeznamaFunkce: *status = KodModulFunkce; return KodOk;
    case ModulNeznamaPeriferie: *status = KodModulPeriferie; return KodOk;
    case ModulChybnaData: *status = KodModulData; return KodOk;
    default: *status = KodModul; return KodOk;
  }
}

TTabulka::TSlot* TTabulka::Najdi(int32_t handle, std::unique_lock<std::mutex>& zamek) {
  if (handle <= 0) return nullptr;
  TSlot& slot = sloty_[static_cast<size_t>((handle - 1) % PocetSlotu)];
  zamek = std::unique_lock<std::mutex>(slot.Zamek);
  if (!slot.Spojeni || slot.Generace != (handle - 1) / PocetSlotu) {
    zamek.unlock();
    return nullptr;
  }
  return &slot;
}

int32_t TTabulka::Pridej(std::unique_ptr<TSpojeni> spojeni, int32_t* handle) {
  for (int32_t i = 0; i < PocetSlotu; ++i) {
    TSlot& slot = sloty_[static_cast<size_t>(i)];
    std::lock_guard<std::mutex> z(slot.Zamek);
    if (slot.Spojeni) continue;
    slot.Generace = (slot.Generace + 1) % (1 << 26);
    slot.Nastaveni = TNastaveni{};
    if (int32_t kod = spojeni->Nastav(slot.Nastaveni); kod != KodOk) return kod;
    slot.Spojeni = std::move(spojeni);
    *handle = slot.Generace * PocetSlotu + i + 1;
    return KodOk;
  }
  return KodPlno;
}

int32_t TTabulka::Nastav(int32_t handle, int32_t rychlost, int32_t timeout, int32_t opakovani) {
  std::unique_lock<std::mutex> z;
  TSlot* slot = Najdi(handle, z);
  if (slot == nullptr) return KodHandle;
  if (int32_t kod = OverNastaveni(rychlost, timeout, opakovani); kod != KodOk) return kod;
  const TNastaveni nove{rychlost, timeout, opakovani};
  if (int32_t kod = slot->Spojeni->Nastav(nove); kod != KodOk) return kod;
  slot->Nastaveni = nove;
  return KodOk;
}

int32_t TTabulka::Konfigurace(int32_t handle, int32_t* rychlost, int32_t* timeout,
                              int32_t* opakovani) {
  if (rychlost == nullptr || timeout == nullptr || opakovani == nullptr) return KodParametr;
  std::unique_lock<std::mutex> z;
  TSlot* slot = Najdi(handle, z);
  if (slot == nullptr) return KodHandle;
  *rychlost = slot->Nastaveni.Rychlost;
  *timeout = slot->Nastaveni.Timeout;
  *opakovani = slot->Nastaveni.Opakovani;
  return KodOk;
}

int32_t TTabulka::Posli(int32_t handle, const int32_t* dotaz, int32_t* odpoved, int32_t* delka,
                        int32_t* status) {
  std::unique_lock<std::mutex> z;
  TSlot* slot = Najdi(handle, z);
  if (slot == nullptr) {
    if (status != nullptr) *status = KodHandle;
    return KodHandle;
  }
  return Vymena(*slot->Spojeni, slot->Nastaveni, dotaz, odpoved, delka, status);
}

int32_t TTabulka::Zavri(int32_t* handle) {
  if (handle == nullptr) return KodParametr;
  std::unique_lock<std::mutex> z;
  TSlot* slot = Najdi(*handle, z);
  if (slot == nullptr) return KodHandle;
  slot->Spojeni.reset();
  *handle = 0;
  return KodOk;
}

std::string SlozkaOvladace() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&SlozkaOvladace), &info) == 0 || info.dli_fname == nullptr)
    return "./";
  std::string cesta = info.dli_fname;
  if (char* plna = realpath(info.dli_fname, nullptr)) {
    cesta = plna;
    std::free(plna);
  }
  const size_t lomitko = cesta.rfind('/');
  return lomitko == std::string::npos ? std::string("./") : cesta.substr(0, lomitko + 1);
}

std::string SlozkaPrepisu() {
  std::string knihovna = SlozkaOvladace();
  // The overrides (a USB adapter, the simulator's pseudo-terminal) are the
  // user's to set.  An installed program's libraries lie in a folder the user
  // cannot write, so there they belong to the program's per-user folder; a
  // library loaded from anywhere else keeps them beside itself.
  std::string upozorneni;
  const zqumisteni::TUmisteni u = zqumisteni::UrciUmisteni(upozorneni);
  std::error_code chyba;
  if (u.Uzivatelska && std::filesystem::equivalent(knihovna, u.Knihovny, chyba))
    return u.Program.string() + "/";
  return knihovna;
}

std::optional<std::string> PrepisZarizeni(const std::string& jmeno) {
  const std::string cesta = SlozkaPrepisu() + "dosdevices/" + jmeno;
  struct stat st {};
  if (lstat(cesta.c_str(), &st) != 0) return std::nullopt;
  if (!S_ISREG(st.st_mode)) return cesta;
  std::ifstream f(cesta);
  std::string radek;
  std::getline(f, radek);
  while (!radek.empty() && (radek.back() == '\r' || radek.back() == ' ' || radek.back() == '\t'))
    radek.pop_back();
  const size_t zacatek = radek.find_first_not_of(" \t");
  if (zacatek == std::string::npos) return std::string();
  return radek.substr(zacatek);
}

}  // namespace zqdrv
