#pragma once
// State shared by test_comm and its test interface libraries.  The test
// program exports one instance; the libraries find it when they are loaded,
// so what they record survives their unloading and the test scripts them
// before they are even loaded.

#include <atomic>
#include <cstdint>

struct TZkusebniStav {
  // What the library answers.
  int32_t InitVysledek = 0;
  int32_t InitHandle = 0x1234;
  int32_t SetConfigVysledek = 0;
  int32_t SendVysledek = 0;
  int32_t SendStatus = 0;
  int32_t SendDelka = 0;
  int32_t SendOdpoved[4] = {};
  int SendZdrzeniUs = 0;  // _Send takes this long
  int32_t DoneVysledek = 0;
  // Faults, per entry point (index by TVstup): what goes wrong inside it.
  enum TVstup { VstupInit, VstupSetConfig, VstupSend, VstupDone, VstupError, PocetVstupu };
  enum TPorucha { Zadna, Vyjimka, Segv, Ill, Fpe, Bus };
  std::atomic<TPorucha> Porucha[PocetVstupu]{};  // set by a test while a worker calls
  // A _Send entered while Blokovat is set waits until Uvolnit is set.
  std::atomic<bool> Blokovat{false};
  std::atomic<bool> Uvolnit{false};

  // What the library saw.
  std::atomic<int> PocetInit{0}, PocetSetConfig{0}, PocetSend{0}, PocetDone{0}, PocetError{0};
  std::atomic<int> VSend{0};                // _Send calls in progress
  std::atomic<int32_t> SendHandleVBehu{0};  // handle of the _Send running
  std::atomic<bool> DoneBehemSend{false};   // _Done of that very handle came
  int InitForma = -1;                       // 0 handle only, 1 handle and number, 2 record
  int32_t InitParametr = 0;
  char InitIp[64] = {};
  intptr_t InitPolozky[16] = {};
  int32_t SetConfig[4] = {};
  int32_t SendHandle = 0;
  int32_t Dotaz[100] = {};
  std::atomic<int32_t> DoneHandle{0};
};

extern "C" TZkusebniStav ZkusebniStav;
