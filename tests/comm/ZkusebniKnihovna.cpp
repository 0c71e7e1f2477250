// A test interface library.  Built once per interface type and once per
// missing entry point; compile definitions choose the prefix (ZKUS_PREDPONA),
// the form of _Init (ZKUS_INIT: 0 handle only, 1 handle and number, 2 handle
// and parameter record) and which entry point to leave out (BEZ_<name>).

#include "ZkusebniStav.h"
#include "zq407.h"

#include <sys/mman.h>
#include <unistd.h>
#include <csignal>
#include <cstring>
#include <stdexcept>

#define ZKUS_SPOJ2(a, b) a##_##b
#define ZKUS_SPOJ(a, b) ZKUS_SPOJ2(a, b)
#define VSTUP(x) ZKUS_SPOJ(ZKUS_PREDPONA, x)

namespace {

// The scripted fault of an entry point: a C++ exception, or a real crash of
// the kind the program must survive.
[[maybe_unused]] void Porucha(TZkusebniStav::TVstup vstup) {
  switch (ZkusebniStav.Porucha[vstup]) {
    case TZkusebniStav::Zadna: return;
    case TZkusebniStav::Vyjimka: throw std::runtime_error("porucha v knihovne");
    case TZkusebniStav::Segv: {
      // A page nobody may touch: a real invalid access, one the sanitizers
      // do not report before the hardware does.
      void* stranka = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      *static_cast<volatile int*>(stranka) = 1;
      return;
    }
    case TZkusebniStav::Ill: __builtin_trap();
    // Division by zero would be caught by the sanitizers first; the signal
    // is what reaches the program either way.
    case TZkusebniStav::Fpe: raise(SIGFPE); return;
    case TZkusebniStav::Bus: raise(SIGBUS); return;
  }
}

[[maybe_unused]] int32_t Otevri(int32_t* handle, int forma) {
  TZkusebniStav& s = ZkusebniStav;
  ++s.PocetInit;
  Porucha(TZkusebniStav::VstupInit);
  s.InitForma = forma;
  if (s.InitVysledek != 0) return s.InitVysledek;
  *handle = s.InitHandle;
  return 0;
}

// Writes "kod <n>" from entry 1 on; entry 0 stays 0.
[[maybe_unused]] void TextKodu(int32_t kod, int32_t* text) {
  char cislice[12];
  int n = 0;
  uint32_t k = kod < 0 ? 0u - static_cast<uint32_t>(kod) : kod;
  do {
    cislice[n++] = static_cast<char>('0' + k % 10);
    k /= 10;
  } while (k);
  const char uvod[] = "kod ";
  int i = 0;
  text[i++] = 0;
  for (const char* c = uvod; *c; ++c) text[i++] = static_cast<unsigned char>(*c);
  if (kod < 0) text[i++] = '-';
  while (n) text[i++] = static_cast<unsigned char>(cislice[--n]);
  text[i] = 0;
}

}  // namespace

extern "C" {

#ifndef BEZ_Version
int32_t VSTUP(Version)(int32_t* verze) {
  *verze = 0x0103;
  return 0;
}
#endif

#ifndef BEZ_Init
#if ZKUS_INIT == 0
int32_t VSTUP(Init)(int32_t* handle) { return Otevri(handle, 0); }
#elif ZKUS_INIT == 1
int32_t VSTUP(Init)(int32_t* handle, int32_t parametr) {
  ZkusebniStav.InitParametr = parametr;
  return Otevri(handle, 1);
}
#else
int32_t VSTUP(Init)(int32_t* handle, const intptr_t* parametry) {
  TZkusebniStav& s = ZkusebniStav;
  std::memcpy(s.InitPolozky, parametry, sizeof s.InitPolozky);
  std::strncpy(s.InitIp, reinterpret_cast<const char*>(parametry[0]), sizeof s.InitIp - 1);
  return Otevri(handle, 2);
}
#endif
#endif

#ifndef BEZ_SetConfig
int32_t VSTUP(SetConfig)(int32_t handle, int32_t rychlost, int32_t timeout, int32_t opakovani) {
  TZkusebniStav& s = ZkusebniStav;
  ++s.PocetSetConfig;
  Porucha(TZkusebniStav::VstupSetConfig);
  s.SetConfig[0] = handle;
  s.SetConfig[1] = rychlost;
  s.SetConfig[2] = timeout;
  s.SetConfig[3] = opakovani;
  return s.SetConfigVysledek;
}
#endif

#ifndef BEZ_GetConfig
int32_t VSTUP(GetConfig)(int32_t, int32_t* rychlost, int32_t* timeout, int32_t* opakovani) {
  const TZkusebniStav& s = ZkusebniStav;
  *rychlost = s.SetConfig[1];
  *timeout = s.SetConfig[2];
  *opakovani = s.SetConfig[3];
  return 0;
}
#endif

#ifndef BEZ_Send
int32_t VSTUP(Send)(int32_t handle, const int32_t* dotaz, int32_t* odpoved, int32_t* delka,
                    int32_t* status) {
  TZkusebniStav& s = ZkusebniStav;
  // A call that came in blocked stays blocked until released.
  const bool blokovat = s.Blokovat;
  // Recorded before the call shows itself as running, so a test that waits
  // for it sees the records complete.
  s.SendHandle = handle;
  std::memcpy(s.Dotaz, dotaz, sizeof s.Dotaz);
  s.SendHandleVBehu = handle;
  ++s.PocetSend;
  ++s.VSend;
  if (s.SendZdrzeniUs > 0) usleep(s.SendZdrzeniUs);
  while (blokovat && !s.Uvolnit) usleep(1000);
  if (s.Porucha[TZkusebniStav::VstupSend] != TZkusebniStav::Zadna) {
    s.SendHandleVBehu = 0;
    --s.VSend;
    Porucha(TZkusebniStav::VstupSend);
  }
  for (int i = 0; i < 4; ++i) odpoved[i] = s.SendOdpoved[i];
  *delka = s.SendDelka;
  *status = s.SendStatus;
  s.SendHandleVBehu = 0;
  --s.VSend;
  return s.SendVysledek;
}
#endif

#ifndef BEZ_Done
int32_t VSTUP(Done)(int32_t* handle) {
  TZkusebniStav& s = ZkusebniStav;
  if (*handle != 0 && s.SendHandleVBehu == *handle) s.DoneBehemSend = true;
  ++s.PocetDone;
  Porucha(TZkusebniStav::VstupDone);
  s.DoneHandle = *handle;
  *handle = 0;
  return s.DoneVysledek;
}
#endif

#ifndef BEZ_Error
int32_t VSTUP(Error)(int32_t kod, int32_t* text) {
  ++ZkusebniStav.PocetError;
  Porucha(TZkusebniStav::VstupError);
  TextKodu(kod, text);
  return 0;
}
#endif

}  // extern "C"
