#include "Signaly.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>

#include <cerrno>
#include <csignal>
#include <ctime>
#include <iterator>

namespace {

// The signals that end the program, and the one that asks how it does.
constexpr int Ukoncujici[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT};
constexpr int Stavovy = SIGUSR1;

int roura[2] = {-1, -1};
// The last words of an end at once, prepared beforehand: a handler may
// only copy bytes.
char okamzitaZprava[256] = "Program ukončen dalším signálem bez uložení.\n";
size_t delkaZpravy = std::strlen(okamzitaZprava);
int okamzityKod = -1;
int okamzityVystup = STDERR_FILENO;
// A signal reaches whichever thread does not block it, and two may be
// handled at once on two threads: what the handler shares is atomic (and
// lock-free, so a handler may touch it).
std::atomic<int> zapisovaciKonec{-1};
// When the first signal came, ms of the monotonic clock; -1 before it.
std::atomic<int64_t> prvniSignalMs{-1};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<int64_t>::is_always_lock_free);

// A second signal this soon after the first is the same request delivered
// twice: `timeout` and service managers signal the program and then its
// whole process group, a terminal sends Ctrl-C to every process of the pipe.
constexpr int64_t TyzPozadavekMs = 2000;

int64_t MonotonniMs() {
  timespec ted{};
  clock_gettime(CLOCK_MONOTONIC, &ted);
  return int64_t{ted.tv_sec} * 1000 + ted.tv_nsec / 1000000;
}

void ZavriRouru() {
  for (int& fd : roura) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
}

void Obsluha(int signal) {
  // The interrupted code may be about to read errno.
  const int chyba = errno;
  const int64_t ted = MonotonniMs();
  int64_t prvni = -1;
  if (!prvniSignalMs.compare_exchange_strong(prvni, ted)) {
    if (ted - prvni < TyzPozadavekMs) {
      errno = chyba;
      return;
    }
    // Only when it goes at once: a full pipe must not keep the program
    // from ending now.
    pollfd p{okamzityVystup, POLLOUT, 0};
    if (poll(&p, 1, 0) == 1 && (p.revents & POLLOUT)) {
      ssize_t n = write(okamzityVystup, okamzitaZprava, delkaZpravy);
      (void)n;
    }
    _exit(okamzityKod >= 0 ? okamzityKod : 128 + signal);
  }
  const unsigned char cislo = static_cast<unsigned char>(signal);
  ssize_t n = write(zapisovaciKonec.load(), &cislo, 1);
  (void)n;
  errno = chyba;
}

// SIGUSR1: passed on to the main thread, every time.
void ObsluhaStavu(int signal) {
  const int chyba = errno;
  const unsigned char cislo = static_cast<unsigned char>(signal);
  ssize_t n = write(zapisovaciKonec.load(), &cislo, 1);
  (void)n;
  errno = chyba;
}

// What each of them did before we caught it, given back when we stop.
struct sigaction puvodni[std::size(Ukoncujici)];
struct sigaction puvodniStav;
bool zachytavame = false;
bool zachytavameStav = false;

}  // namespace

void NastavOkamzityKonec(const std::string& zprava, int kod, int fd) {
  delkaZpravy = std::min(zprava.size(), sizeof okamzitaZprava);
  std::memcpy(okamzitaZprava, zprava.data(), delkaZpravy);
  okamzityKod = kod;
  okamzityVystup = fd;
}

void ZachytavejUkonceni(QObject* rodic, std::function<void(int)> ukonci,
                        std::function<void()> stav) {
  PrestanZachytavat();
  if (pipe2(roura, O_CLOEXEC | O_NONBLOCK) != 0) return;
  zapisovaciKonec = roura[1];
  prvniSignalMs = -1;
  auto* upozorneni = new QSocketNotifier(roura[0], QSocketNotifier::Read, rodic);
  QObject::connect(upozorneni, &QSocketNotifier::activated, upozorneni,
                   [ctenar = roura[0], ukonci = std::move(ukonci), stav] {
                     unsigned char cislo = 0;
                     if (read(ctenar, &cislo, 1) != 1) return;
                     if (cislo == Stavovy) {
                       if (stav) stav();
                     } else {
                       ukonci(cislo);
                     }
                   });
  struct sigaction a {};
  a.sa_handler = Obsluha;
  sigemptyset(&a.sa_mask);
  for (int s : Ukoncujici) sigaddset(&a.sa_mask, s);
  a.sa_flags = SA_RESTART;
  for (size_t i = 0; i < std::size(Ukoncujici); ++i) {
    sigaction(Ukoncujici[i], nullptr, &puvodni[i]);
    // A signal the program was started with ignored stays ignored: "nohup"
    // ignores SIGHUP so that a week-long run outlives the terminal it was
    // started from.
    if (puvodni[i].sa_handler != SIG_IGN) sigaction(Ukoncujici[i], &a, nullptr);
  }
  zachytavame = true;
  if (stav) {
    struct sigaction s {};
    s.sa_handler = ObsluhaStavu;
    sigemptyset(&s.sa_mask);
    s.sa_flags = SA_RESTART;
    sigaction(Stavovy, &s, &puvodniStav);
    zachytavameStav = true;
  }
}

void IgnorujPrerusenouRouru() {
  struct sigaction a {};
  a.sa_handler = SIG_IGN;
  sigemptyset(&a.sa_mask);
  sigaction(SIGPIPE, &a, nullptr);
}

void PrestanZachytavat() {
  if (zachytavame) {
    for (size_t i = 0; i < std::size(Ukoncujici); ++i)
      sigaction(Ukoncujici[i], &puvodni[i], nullptr);
    zachytavame = false;
  }
  if (zachytavameStav) {
    sigaction(Stavovy, &puvodniStav, nullptr);
    zachytavameStav = false;
  }
  zapisovaciKonec = -1;
  ZavriRouru();
}
