#include "Wxxx407.h"

#include "Cp1250.h"
#include "Knihovna.h"
#include "Ochrana.h"
#include "zq407.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <utility>

// The binding lives in a reference-counted object.  Every call into the
// library takes a copy of the current binding and counts itself in under a
// small lock, so the main thread can close the interface while the worker is
// still inside a library call (a read hanging past the stop time-out): the
// binding is detached at once, and _Done and the unloading wait for the last
// call in flight to return.  The library is never unloaded under a call.

namespace {

struct TPopisTypu {
  const char* Soubor;    // Windows-style library name
  const char* Predpona;  // prefix of the entry points
};

constexpr TPopisTypu PopisTypu[5] = {
    {"WCOM407.DLL", "WCOM407"},   {"WPCI407.DLL", "WPCI407"}, {"WPCI1407.DLL", "WPCI1407"},
    {"WUSB1407.DLL", "WUSB1407"}, {"WZQ1407.DLL", "WZQ1407"},
};

bool PlatnyTyp(uint8_t typ) { return typ <= TypZQ; }

struct TVazba {
  uint8_t Typ = TypNeznamy;
  HKnihovna Knihovna = nullptr;

  ZQ407_Version_t Version = nullptr;
  void* Init = nullptr;  // in the form of the type, see VolejInit
  ZQ407_SetConfig_t SetConfig = nullptr;
  ZQ407_GetConfig_t GetConfig = nullptr;
  ZQ407_Send_t Send = nullptr;
  ZQ407_Done_t Done = nullptr;
  ZQ407_Error_t Error = nullptr;

  // _Init succeeded and _Done has not been called yet.
  bool Otevreno = false;
  // Handle written by the successful _Init.
  int32_t Handle = 0;

  // A call into the library faulted: it stays mapped for good.
  std::atomic<bool> Porouchana{false};

  // Guarded by the binding lock:
  int Volani = 0;                  // calls in flight
  bool Odpojena = false;           // no longer the current binding
  bool ZavritPriUvolneni = false;  // the last call out calls _Done
  int32_t HandleZavreni = 0;

  ~TVazba() {
    if (Knihovna && !Porouchana) UvolniKnihovnu(Knihovna);
  }
};

struct TStavVazby {
  std::mutex Zamek;
  std::shared_ptr<TVazba> Aktualni;  // the current binding, or none
  int Uvolnovane = 0;                // detached bindings not yet closed and unloaded
  // Per type: the text of the fault that broke its library; empty while
  // the library is sound.
  std::array<std::string, 5> Porucha;
};

// Never destroyed: a worker still inside a library call when the program
// ends must neither meet a destroyed lock nor have the library unloaded
// under it by a static destructor.
TStavVazby& stav = *new TStavVazby;

// Records that a call into the library of `vazba` faulted.  The first
// fault of a type is the one its text tells.
void OznacPoruchu(TVazba& vazba, const char* vstup, const TPorucha& porucha) {
  vazba.Porouchana = true;
  std::string text = Cp1250("knihovna ") + PopisTypu[vazba.Typ].Soubor + " selhala v _" + vstup +
                     " (" + PopisPoruchy(porucha) + Cp1250("), do konce běhu vyřazena");
  std::lock_guard<std::mutex> z(stav.Zamek);
  if (stav.Porucha[vazba.Typ].empty()) stav.Porucha[vazba.Typ] = std::move(text);
}

// Calls `volani` (which returns the entry point's result) guarded; a fault
// marks the library broken and gives status 4.
template <typename F>
int32_t Volej(TVazba& vazba, const char* vstup, F&& volani) {
  int32_t vysledek = KodVyjimka;
  const TPorucha porucha = ChranenaVolani([&] { vysledek = volani(); });
  if (!porucha) return vysledek;
  OznacPoruchu(vazba, vstup, porucha);
  return KodVyjimka;
}

bool Porouchany(uint8_t typ) {
  std::lock_guard<std::mutex> z(stav.Zamek);
  return PlatnyTyp(typ) && !stav.Porucha[typ].empty();
}

// Closes (if asked to) and unloads a detached binding no call uses any more.
// Runs in whichever thread let go of it last; a fault inside _Done has no
// caller to reach here: it only marks the library broken, which keeps it
// loaded.
void DokonciUvolneni(const std::shared_ptr<TVazba>& vazba) {
  if (vazba->ZavritPriUvolneni && !vazba->Porouchana) {
    int32_t handle = vazba->HandleZavreni;
    Volej(*vazba, "Done", [&] { return vazba->Done(&handle); });
  }
  if (!vazba->Porouchana) UvolniKnihovnu(vazba->Knihovna);
  vazba->Knihovna = nullptr;
  std::lock_guard<std::mutex> z(stav.Zamek);
  --stav.Uvolnovane;
}

// One call into the library: holds the binding for as long as it lasts.
// Whether the type's library is broken is looked up under the same lock, so
// a read costs one lock on the way in, not two.
class TVolani {
 public:
  explicit TVolani(uint8_t typ) {
    if (!PlatnyTyp(typ)) return;
    std::lock_guard<std::mutex> z(stav.Zamek);
    porouchany_ = !stav.Porucha[typ].empty();
    if (!porouchany_ && stav.Aktualni && stav.Aktualni->Typ == typ) {
      vazba_ = stav.Aktualni;
      ++vazba_->Volani;
    }
  }
  ~TVolani() {
    if (!vazba_) return;
    bool posledni;
    {
      std::lock_guard<std::mutex> z(stav.Zamek);
      posledni = --vazba_->Volani == 0 && vazba_->Odpojena;
    }
    if (posledni) DokonciUvolneni(vazba_);
  }
  TVolani(const TVolani&) = delete;
  TVolani& operator=(const TVolani&) = delete;

  TVazba* operator->() const { return vazba_.get(); }
  TVazba& operator*() const { return *vazba_; }
  explicit operator bool() const { return vazba_ != nullptr; }
  // The type's library faulted earlier in this run: nothing was bound, and
  // the call answers 4.
  bool Porouchany() const { return porouchany_; }

 private:
  std::shared_ptr<TVazba> vazba_;
  bool porouchany_ = false;
};

// Detaches the current binding.  With no call in flight the binding is
// returned for the caller to close now; otherwise the last call out closes
// it (with _Done when `zavrit`) and nullptr is returned.
std::shared_ptr<TVazba> Odpoj(bool zavrit, int32_t handle) {
  std::lock_guard<std::mutex> z(stav.Zamek);
  std::shared_ptr<TVazba> vazba = std::move(stav.Aktualni);
  stav.Aktualni.reset();
  if (!vazba) return nullptr;
  vazba->Odpojena = true;
  vazba->ZavritPriUvolneni = zavrit;
  vazba->HandleZavreni = handle;
  ++stav.Uvolnovane;
  if (vazba->Volani == 0) return vazba;
  return nullptr;
}

// Replaces a binding left behind by an earlier InitRozhrani (a failed _Init,
// or an interface nobody closed): it is unloaded, after _Done if it was open.
void NahradPredchozi() {
  std::shared_ptr<TVazba> predchozi;
  {
    std::lock_guard<std::mutex> z(stav.Zamek);
    predchozi = stav.Aktualni;
  }
  if (!predchozi) return;
  std::shared_ptr<TVazba> hned = Odpoj(predchozi->Otevreno, predchozi->Handle);
  if (hned) DokonciUvolneni(hned);
}

template <typename F>
bool Vyhledej(HKnihovna knihovna, const char* predpona, const char* jmeno, F& cil) {
  std::string plne = std::string(predpona) + "_" + jmeno;
  cil = reinterpret_cast<F>(AdresaFunkce(knihovna, plne.c_str()));
  return cil != nullptr;
}

int32_t VolejInit(TVazba& vazba, int32_t* handle, TParametryRozhrani& parametry) {
  switch (vazba.Typ) {
    case TypCOM:
    case TypPCI407:
      return reinterpret_cast<ZQ407_Init1_t>(vazba.Init)(
          handle, static_cast<int32_t>(parametry.Polozka[0]));
    case TypPCI1407:
    case TypUSB: return reinterpret_cast<ZQ407_Init0_t>(vazba.Init)(handle);
    default: return reinterpret_cast<ZQ407_InitP_t>(vazba.Init)(handle, parametry.Polozka.data());
  }
}

}  // namespace

int32_t InitRozhrani(uint8_t typ, int32_t* handle, TParametryRozhrani parametry) {
  // Whatever was bound before is let go first, so a failure below leaves
  // nothing bound.
  NahradPredchozi();
  if (!PlatnyTyp(typ)) return KodNeotevreno;
  // A library that faulted earlier in this run is not touched again.
  if (Porouchany(typ)) return KodVyjimka;

  const TPopisTypu& popis = PopisTypu[typ];
  auto vazba = std::make_shared<TVazba>();
  vazba->Typ = typ;
  vazba->Knihovna = NactiKnihovnu(popis.Soubor);
  if (!vazba->Knihovna) return KodNacteni + typ;

  const char* p = popis.Predpona;
  // All seven must be there, also the two the program never calls.
  bool uplna = Vyhledej(vazba->Knihovna, p, "Version", vazba->Version) &
               Vyhledej(vazba->Knihovna, p, "Init", vazba->Init) &
               Vyhledej(vazba->Knihovna, p, "SetConfig", vazba->SetConfig) &
               Vyhledej(vazba->Knihovna, p, "GetConfig", vazba->GetConfig) &
               Vyhledej(vazba->Knihovna, p, "Send", vazba->Send) &
               Vyhledej(vazba->Knihovna, p, "Done", vazba->Done) &
               Vyhledej(vazba->Knihovna, p, "Error", vazba->Error);
  if (!uplna) return KodKnihovna + typ;  // ~TVazba unloads it

  // Bound before _Init, so that after a failed _Init its _Error still answers.
  {
    std::lock_guard<std::mutex> z(stav.Zamek);
    stav.Aktualni = vazba;
  }
  // After a fault the binding stays the current one, broken: ChybovyText
  // explains the 4, and closing it neither calls _Done nor unloads it.
  int32_t vysledek = Volej(*vazba, "Init", [&] { return VolejInit(*vazba, handle, parametry); });
  if (vysledek == 0 && !vazba->Porouchana) {
    vazba->Otevreno = true;
    vazba->Handle = *handle;
  }
  return vysledek;
}

int32_t NastavRozhrani(uint8_t typ, int32_t handle, int32_t rychlost, int32_t timeout,
                       int32_t opakovani) {
  TVolani volani(typ);
  if (volani.Porouchany()) return KodVyjimka;
  if (!volani) return KodNeotevreno;
  return Volej(*volani, "SetConfig",
               [&] { return volani->SetConfig(handle, rychlost, timeout, opakovani); });
}

int32_t PosliDotaz(uint8_t typ, int32_t handle, const TPole100& dotaz, TPole100& odpoved,
                   int32_t* delka, int32_t* status) {
  TVolani volani(typ);
  if (volani.Porouchany()) return KodVyjimka;
  if (!volani) return KodNeotevreno;
  return Volej(*volani, "Send",
               [&] { return volani->Send(handle, dotaz.data(), odpoved.data(), delka, status); });
}

int32_t UkonciRozhrani(uint8_t typ, int32_t* handle) {
  bool porouchana;
  {
    std::lock_guard<std::mutex> z(stav.Zamek);
    if (!PlatnyTyp(typ) || !stav.Aktualni || stav.Aktualni->Typ != typ) return KodNeotevreno;
    porouchana = stav.Aktualni->Porouchana;
  }
  // A broken library is only let go of: no _Done, no unloading.
  std::shared_ptr<TVazba> hned = Odpoj(!porouchana, *handle);
  if (!hned) {
    // A call is still in flight (or another thread closed it meanwhile): the
    // last call out closes and unloads it.  The interface counts as closed.
    *handle = 0;
    return porouchana ? KodVyjimka : 0;
  }
  if (porouchana) {
    DokonciUvolneni(hned);
    *handle = 0;
    return KodVyjimka;
  }
  // _Done is called here with the caller's handle; the library is unloaded
  // whatever it returned, unless it faulted.
  hned->ZavritPriUvolneni = false;
  const int32_t vysledek = Volej(*hned, "Done", [&] { return hned->Done(handle); });
  DokonciUvolneni(hned);
  return vysledek;
}

std::string PoruchaRozhrani(uint8_t typ) {
  std::lock_guard<std::mutex> z(stav.Zamek);
  return PlatnyTyp(typ) ? stav.Porucha[typ] : std::string();
}

void ZapomenPoruchyRozhrani() {
  std::lock_guard<std::mutex> z(stav.Zamek);
  for (std::string& p : stav.Porucha) p.clear();
}

bool RozhraniVolaniProbiha() {
  std::lock_guard<std::mutex> z(stav.Zamek);
  return stav.Uvolnovane > 0 || (stav.Aktualni && stav.Aktualni->Volani > 0);
}

int32_t ChybovyText(uint8_t typ, int32_t kod, TPole100& text) {
  uint32_t k = static_cast<uint32_t>(kod);
  if (k < 100) {
    // A broken library is not asked: the fault that broke it is the text.
    if (std::string porucha = PoruchaRozhrani(typ); !porucha.empty()) {
      TextNaPole(porucha, text);
      return 0;
    }
    TVolani volani(typ);
    if (!volani) return KodNeotevreno;
    const int32_t vysledek =
        Volej(*volani, "Error", [&] { return volani->Error(kod, text.data()); });
    if (volani->Porouchana) TextNaPole(PoruchaRozhrani(typ), text);
    return vysledek;
  }
  if (k <= 104 || (k >= 110 && k <= 114)) {
    const char* soubor = PopisTypu[k % 10].Soubor;
    std::string zprava = k < 110 ? "chyba inicializace knihovny " : "chybná knihovna ";
    TextNaPole(Cp1250(zprava + soubor), text);
    return 0;
  }
  TextNaPole(Cp1250("neznámý chybový kód"), text);
  return 0;
}

int32_t TextNaPole(std::string_view text, TPole100& pole) {
  pole.fill(0);
  // Entry 0 stays 0; character 1 of the text goes into entry 1.
  size_t pocet = std::min<size_t>(text.size(), 99);
  for (size_t k = 1; k <= pocet; ++k) pole[k] = static_cast<unsigned char>(text[k - 1]);
  return 0;
}

std::string PoleNaText(const TPole100& pole) {
  std::string text;
  // A zero entry 0 is skipped; the text ends at the first zero entry after
  // it.  An entry whose low 8 bits are zero adds no character: a text never
  // holds a zero byte.
  auto pridej = [&text](int32_t polozka) {
    char c = static_cast<char>(polozka & 0xFF);
    if (c != 0) text += c;
  };
  if (pole[0] != 0) pridej(pole[0]);
  for (size_t i = 1; i < pole.size() && pole[i] != 0; ++i) pridej(pole[i]);
  return text;
}

void DotazModulu(uint8_t typ, int32_t handle, uint8_t adresa, uint8_t funkce, uint8_t periferie,
                 uint8_t& delka, uint8_t& data0, uint8_t& data1, uint8_t& data2, uint8_t& data3,
                 uint8_t& status, TPole100& odpoved) {
  if (handle == 0) return;

  // The request is built from bytes passed by value into an array of its
  // own; nothing here can fail, so status 9 ("request could not be built")
  // never arises in this function.  Failures inside the library are not
  // caught: they are the caller's, who records them as status 4.
  TPole100 dotaz{};
  dotaz[0] = adresa;
  dotaz[1] = funkce;
  dotaz[2] = periferie;
  dotaz[3] = delka;
  dotaz[4] = data0;
  dotaz[5] = data1;
  dotaz[6] = data2;
  dotaz[7] = data3;

  int32_t delkaVen = 0;
  int32_t statusVen = 0;
  int32_t vysledek = PosliDotaz(typ, handle, dotaz, odpoved, &delkaVen, &statusVen);
  if (vysledek != 0) statusVen = vysledek;

  status = static_cast<uint8_t>(statusVen & 0xFF);
  if (statusVen == 0) {
    delka = static_cast<uint8_t>(delkaVen & 0xFF);
    data0 = static_cast<uint8_t>(odpoved[0] & 0xFF);
    data1 = static_cast<uint8_t>(odpoved[1] & 0xFF);
    data2 = static_cast<uint8_t>(odpoved[2] & 0xFF);
    data3 = static_cast<uint8_t>(odpoved[3] & 0xFF);
  } else {
    delka = data0 = data1 = data2 = data3 = 0;
  }
}
