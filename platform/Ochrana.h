#pragma once
// Guarded calls into code the program does not trust: the interface
// libraries.  A C++ exception thrown out of the call, or a crash inside it
// (SIGSEGV, SIGBUS, SIGILL, SIGFPE), comes back to the caller as a fault
// instead of ending the program, the way the program's original platform
// turns both into a failure of the call.
//
// How: the calling thread marks a jump point (sigsetjmp) before the call, and
// a process-wide handler of the four signals jumps back to it when the signal
// arises in a thread that is inside a guarded call.  A signal outside a
// guarded call is a fault of the program itself and goes on to whoever
// handled it before (the default action, or a sanitizer's report).  Each
// thread that makes a guarded call gets an alternate signal stack, so a
// library that overflows its stack is caught too.
//
// Limits (docs/ochrana-knihoven.md): after a fault the library's own state
// is unknown: the caller must never call it again and never unload it.
// Destructors of the frames skipped by the jump do not run.  Memory the
// library corrupted before it crashed, a lock it held when it crashed, or a
// call that simply never returns are beyond this guard.

#include <string>
#include <type_traits>

enum class TDruhPoruchy {
  Zadna,    // the call returned normally
  Vyjimka,  // a C++ exception left the call
  Signal,   // the call crashed
};

struct TPorucha {
  TDruhPoruchy Druh = TDruhPoruchy::Zadna;
  int Signal = 0;  // SIGSEGV, SIGBUS, SIGILL or SIGFPE for a crash
  explicit operator bool() const { return Druh != TDruhPoruchy::Zadna; }
};

// Czech description of a fault, Windows-1250 bytes ("neplatný přístup do
// paměti", "neošetřená výjimka", ...); empty for no fault.
std::string PopisPoruchy(const TPorucha& porucha);

// Runs funkce(kontext) guarded.
TPorucha ChranenaVolaniSurove(void (*funkce)(void*), void* kontext);

// Runs `volani()` guarded.  Whatever it computes it hands back through its
// captures; after a fault those are left as the call left them.
template <typename F>
TPorucha ChranenaVolani(F&& volani) {
  using TF = std::remove_reference_t<F>;
  return ChranenaVolaniSurove([](void* k) { (*static_cast<TF*>(k))(); },
                              const_cast<void*>(static_cast<const void*>(&volani)));
}
