#include "Ochrana.h"

#include "Cp1250.h"

#include <csetjmp>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <mutex>

namespace {

constexpr int Signaly[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};
constexpr int PocetSignalu = sizeof Signaly / sizeof Signaly[0];

// The handlers that were in place before ours, for signals that are not ours
// to catch.
struct sigaction Puvodni[PocetSignalu];
std::once_flag Instalace;

// Per thread: the jump point of the guarded call in progress (none outside
// one) and the signal that ended it.  Plain thread-locals of the program
// itself (initial-exec), so the signal handler reaches them without any call
// that is not safe in a handler.
__attribute__((tls_model("initial-exec"))) thread_local sigjmp_buf* Ramec = nullptr;
__attribute__((tls_model("initial-exec"))) thread_local volatile sig_atomic_t ZachycenySignal = 0;

// The alternate signal stack this thread got from us, released when the
// thread ends.
struct TAlternativniZasobnik {
  std::unique_ptr<char[]> Pamet;
  // The thread has an alternate stack, ours or one it had before (a
  // sanitizer's): looked at once, not on every guarded call.
  bool Hotovo = false;
  ~TAlternativniZasobnik() {
    if (!Pamet) return;
    stack_t s{};
    s.ss_flags = SS_DISABLE;
    sigaltstack(&s, nullptr);
  }
};
thread_local TAlternativniZasobnik Zasobnik;
constexpr size_t VelikostZasobniku = size_t{64} * 1024;

void Obsluha(int signal, siginfo_t* info, void* kontext) {
  if (sigjmp_buf* ramec = Ramec) {
    Ramec = nullptr;
    ZachycenySignal = signal;
    siglongjmp(*ramec, 1);
  }
  // Not inside a guarded call: a fault of the program itself.  The handler
  // that was in place before ours is put back and the signal goes to it as
  // the kernel would deliver it (its own flags apply): a faulting
  // instruction runs again once this handler returns, a signal that was
  // sent is raised again.  With the default action the program ends as it
  // would have without us; a sanitizer prints its report.
  (void)kontext;
  for (int i = 0; i < PocetSignalu; ++i) {
    if (Signaly[i] != signal) continue;
    sigaction(signal, &Puvodni[i], nullptr);
    if (info == nullptr || info->si_code <= 0) raise(signal);
    return;
  }
}

void Instaluj() {
  for (int i = 0; i < PocetSignalu; ++i) {
    struct sigaction a {};
    a.sa_sigaction = Obsluha;
    a.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&a.sa_mask);
    sigaction(Signaly[i], &a, &Puvodni[i]);
  }
}

void PripravVlakno() {
  if (Zasobnik.Hotovo) return;
  stack_t s{};
  if (sigaltstack(nullptr, &s) == 0 && !(s.ss_flags & SS_DISABLE)) {  // has one already
    Zasobnik.Hotovo = true;
    return;
  }
  auto pamet = std::make_unique<char[]>(VelikostZasobniku);
  s = stack_t{};
  s.ss_sp = pamet.get();
  s.ss_size = VelikostZasobniku;
  if (sigaltstack(&s, nullptr) == 0) {
    Zasobnik.Pamet = std::move(pamet);
    Zasobnik.Hotovo = true;
  }
}

}  // namespace

TPorucha ChranenaVolaniSurove(void (*funkce)(void*), void* kontext) {
  std::call_once(Instalace, Instaluj);
  PripravVlakno();

  sigjmp_buf ramec;
  // Guarded calls may nest (a library calling back into guarded code).
  sigjmp_buf* volatile predchozi = Ramec;
  if (sigsetjmp(ramec, 1) != 0) {
    Ramec = predchozi;
    TPorucha porucha;
    porucha.Druh = TDruhPoruchy::Signal;
    porucha.Signal = ZachycenySignal;
    return porucha;
  }
  Ramec = &ramec;
  TDruhPoruchy druh = TDruhPoruchy::Zadna;
  try {
    funkce(kontext);
  } catch (...) {
    druh = TDruhPoruchy::Vyjimka;
  }
  Ramec = predchozi;
  TPorucha porucha;
  porucha.Druh = druh;
  return porucha;
}

std::string PopisPoruchy(const TPorucha& porucha) {
  switch (porucha.Druh) {
    case TDruhPoruchy::Zadna: return {};
    case TDruhPoruchy::Vyjimka: return Cp1250("neošetřená výjimka");
    case TDruhPoruchy::Signal: break;
  }
  switch (porucha.Signal) {
    case SIGSEGV: return Cp1250("neplatný přístup do paměti");
    case SIGBUS: return Cp1250("chyba sběrnice");
    case SIGILL: return Cp1250("neplatná instrukce");
    case SIGFPE: return Cp1250("chyba aritmetiky");
    default: return Cp1250("signál ") + std::to_string(porucha.Signal);
  }
}
