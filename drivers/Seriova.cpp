#include "Seriova.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>

#include <climits>
#include <cstdlib>
#include <utility>

namespace zqdrv {

namespace {

speed_t KodRychlosti(int32_t rychlost) {
  switch (rychlost) {
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B0;
  }
}

// The device a path leads to, as the texts name it.  A link (an override in
// dosdevices, a /dev/serial/by-id name) is named by its target: that is the
// device the user must be given access to or must plug in.
std::string JmenoZarizeni(const std::string& cesta) {
  struct stat st {};
  if (lstat(cesta.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return cesta;
  if (char* plna = realpath(cesta.c_str(), nullptr)) {
    std::string jmeno = plna;
    std::free(plna);
    return jmeno;
  }
  // A link to nothing: where it points is what is missing.
  char cil[PATH_MAX];
  const ssize_t n = readlink(cesta.c_str(), cil, sizeof cil);
  if (n <= 0 || static_cast<size_t>(n) >= sizeof cil) return cesta;
  std::string jmeno(cil, static_cast<size_t>(n));
  const size_t lomitko = cesta.rfind('/');
  if (jmeno.front() != '/' && lomitko != std::string::npos)
    jmeno = cesta.substr(0, lomitko + 1) + jmeno;
  return jmeno;
}

int32_t Selhani(int32_t kod, const std::string& jmeno) {
  ZapamatujSelhani(kod, jmeno);
  return kod;
}

int ZbyvaMs(TCas konec) {
  const auto zbyva = std::chrono::ceil<std::chrono::milliseconds>(konec - THodiny::now()).count();
  return zbyva < 0 ? 0 : static_cast<int>(zbyva);
}

// Errors by which the device itself is gone: a hung-up line (a USB converter
// pulled out, the far end of a pseudo-terminal closed) or a node without its
// device.  Such a descriptor never works again.
bool ZarizeniZmizelo(int chyba) { return chyba == EIO || chyba == ENODEV || chyba == ENXIO; }

// Opens `zarizeni` exclusively: `fd` gets the descriptor, `jmeno` the name the
// texts give the device (also when the opening fails).  Every failure is
// recorded; a device that is not there gives `kodNeexistuje`.
int32_t OtevriZarizeni(const std::optional<std::string>& zarizeni, int32_t kodNeexistuje, int& fd,
                       std::string& jmeno) {
  fd = -1;
  jmeno.clear();
  // No device to name: an earlier failure's device must not show.
  if (!zarizeni || zarizeni->empty()) return Selhani(kodNeexistuje, {});
  jmeno = JmenoZarizeni(*zarizeni);
  const int f = open(zarizeni->c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (f < 0) {
    switch (errno) {
      case ENOENT:
      case ENXIO:
      case ENODEV:
      case ENOTDIR: return Selhani(kodNeexistuje, jmeno);
      case EACCES:
      case EPERM: return Selhani(KodPristupPort, jmeno);
      case EBUSY: return Selhani(KodObsazeno, jmeno);
      default: return Selhani(KodOtevreni, jmeno);
    }
  }
  termios t{};
  if (!isatty(f) || tcgetattr(f, &t) != 0) {
    close(f);
    return Selhani(KodOtevreni, jmeno);
  }
  if (flock(f, LOCK_EX | LOCK_NB) != 0) {
    close(f);
    return Selhani(KodObsazeno, jmeno);
  }
  fd = f;
  return KodOk;
}

class TTermios : public TLinkoveSpojeni {
 public:
  TTermios(int fd, std::string jmeno, TNajdiZarizeni najdi, int32_t kodNeexistuje)
      : fd_(fd),
        jmeno_(std::move(jmeno)),
        najdi_(std::move(najdi)),
        kodNeexistuje_(kodNeexistuje) {}
  ~TTermios() override { Zavri(); }
  TTermios(const TTermios&) = delete;
  TTermios& operator=(const TTermios&) = delete;

  int32_t Nastav(const TNastaveni& n) override {
    const speed_t kod = KodRychlosti(n.Rychlost);
    if (kod == B0) return KodRychlost;
    termios t{};
    if (tcgetattr(fd_, &t) != 0) return Selhani(KodNastaveni, jmeno_);
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS | CSIZE);
    t.c_cflag |= CS8;
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (cfsetispeed(&t, kod) != 0 || cfsetospeed(&t, kod) != 0) return KodRychlost;
    if (tcsetattr(fd_, TCSANOW, &t) != 0) return Selhani(KodNastaveni, jmeno_);
    return KodOk;
  }

  // The device is looked for again where the opening found it (the same
  // override, or the same search without one), at most once a second
  // however often the program reads, so that a converter that is gone costs
  // a read no more than a failed write did.  While it is away a read gets 14,
  // the code of the write that found it gone; a device that is back but
  // cannot be taken (busy, access denied, no line) gives the code the opening
  // gives, which tells the operator what to do.
  int32_t Obnov(const TNastaveni& nastaveni) override {
    if (!ztracena_) return KodOk;
    const TCas ted = THodiny::now();
    if (ted < dalsiPokus_) return Selhani(kodZtraty_, jmenoZtraty_);
    dalsiPokus_ = ted + std::chrono::seconds(1);
    // The dead descriptor is of no use any more, and its lock must not meet
    // the new one should the device come back under the same node.
    Zavri();
    std::string jmeno;
    int32_t kod = OtevriZarizeni(najdi_(), kodNeexistuje_, fd_, jmeno);
    if (kod == kodNeexistuje_) {
      Ztrata();
      return Selhani(KodZapis, jmeno_);
    }
    if (kod == KodOk) {
      std::swap(jmeno_, jmeno);
      kod = Nastav(nastaveni);
      if (kod == KodOk) {
        ztracena_ = false;
        return KodOk;
      }
      Zavri();
      std::swap(jmeno_, jmeno);
    }
    kodZtraty_ = kod;
    jmenoZtraty_ = jmeno;
    return kod;
  }

 protected:
  void Vyprazdni() override {
    tcflush(fd_, TCIFLUSH);
    // A line that keeps talking cannot hold the try up: the drain is bounded.
    uint8_t odpad[256];
    for (int i = 0; i < 16 && read(fd_, odpad, sizeof odpad) > 0; ++i) {
    }
  }

  int32_t Zapis(const uint8_t* data, size_t n, TCas konec) override {
    if (ztracena_) return Selhani(KodZapis, jmeno_);
    size_t hotovo = 0;
    while (hotovo < n) {
      const ssize_t r = write(fd_, data + hotovo, n - hotovo);
      if (r > 0) {
        hotovo += static_cast<size_t>(r);
        continue;
      }
      if (r < 0 && errno != EAGAIN && errno != EINTR) {
        if (ZarizeniZmizelo(errno)) Ztrata();
        return Selhani(KodZapis, jmeno_);
      }
      const int zbyva = ZbyvaMs(konec);
      if (zbyva == 0) return KodNeodpovedel;
      pollfd p{fd_, POLLOUT, 0};
      const int v = poll(&p, 1, zbyva);
      if (v < 0 && errno != EINTR) return Selhani(KodZapis, jmeno_);
      // Ready without room to write: the line hung up.
      if (v > 0 && (p.revents & POLLOUT) == 0) {
        Ztrata();
        return Selhani(KodZapis, jmeno_);
      }
    }
    return KodOk;
  }

  int32_t Cti(uint8_t* buf, size_t max, TCas konec, size_t& precteno) override {
    precteno = 0;
    bool zaveseno = false;
    for (;;) {
      const ssize_t r = read(fd_, buf, max);
      if (r > 0) {
        precteno = static_cast<size_t>(r);
        return KodOk;
      }
      if (r < 0 && ZarizeniZmizelo(errno))
        zaveseno = true;
      else if (r < 0 && errno != EAGAIN && errno != EINTR)
        return Selhani(KodCteniLinky, jmeno_);
      // A line that hung up (EIO, or poll's hang-up with its last bytes read)
      // is a silent line for the rest of the try, not a read error: the try
      // ends as one without an answer, at once rather than spinning on a
      // descriptor that is always ready, and the next _Send opens the device
      // anew.
      if (zaveseno) {
        Ztrata();
        return KodOk;
      }
      const int zbyva = ZbyvaMs(konec);
      if (zbyva == 0) return KodOk;
      pollfd p{fd_, POLLIN, 0};
      const int v = poll(&p, 1, zbyva);
      if (v < 0 && errno != EINTR) return Selhani(KodCteniLinky, jmeno_);
      if (v > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) zaveseno = true;
    }
  }

 private:
  void Ztrata() {
    ztracena_ = true;
    kodZtraty_ = KodZapis;
    jmenoZtraty_ = jmeno_;
  }

  void Zavri() {
    if (fd_ < 0) return;
    // Pending output is dropped so that close() cannot wait on a stuck line.
    tcflush(fd_, TCIOFLUSH);
    close(fd_);
    fd_ = -1;
  }

  int fd_;
  std::string jmeno_;  // for the texts of the line's failures
  TNajdiZarizeni najdi_;
  int32_t kodNeexistuje_;
  bool ztracena_ = false;  // the device went away; the next _Send opens it anew
  TCas dalsiPokus_{};      // no reopening before this
  // What a read gets while the device stays lost, and the device it names.
  int32_t kodZtraty_ = KodZapis;
  std::string jmenoZtraty_;
};

}  // namespace

TNajdiZarizeni PrepisNeboJinak(std::string prepis, TNajdiZarizeni jinak) {
  return [prepis = std::move(prepis), jinak = std::move(jinak),
          zPrepisu = std::optional<bool>()]() mutable -> std::optional<std::string> {
    if (zPrepisu.value_or(true)) {
      std::optional<std::string> zarizeni = PrepisZarizeni(prepis);
      if (!zPrepisu) zPrepisu = zarizeni.has_value();
      if (*zPrepisu) return zarizeni;
    }
    return jinak();
  };
}

int32_t OtevriSeriovyPort(TNajdiZarizeni najdi, std::unique_ptr<TSpojeni>& spojeni,
                          int32_t kodNeexistuje) {
  int fd = -1;
  std::string jmeno;
  if (int32_t kod = OtevriZarizeni(najdi(), kodNeexistuje, fd, jmeno); kod != KodOk) return kod;
  spojeni = std::make_unique<TTermios>(fd, std::move(jmeno), std::move(najdi), kodNeexistuje);
  return KodOk;
}

}  // namespace zqdrv
