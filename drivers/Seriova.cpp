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

class TTermios : public TLinkoveSpojeni {
 public:
  TTermios(int fd, std::string jmeno) : fd_(fd), jmeno_(std::move(jmeno)) {}
  ~TTermios() override {
    // Pending output is dropped so that close() cannot wait on a stuck line.
    tcflush(fd_, TCIOFLUSH);
    close(fd_);
  }
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

 protected:
  void Vyprazdni() override {
    tcflush(fd_, TCIFLUSH);
    // A line that keeps talking cannot hold the try up: the drain is bounded.
    uint8_t odpad[256];
    for (int i = 0; i < 16 && read(fd_, odpad, sizeof odpad) > 0; ++i) {
    }
  }

  int32_t Zapis(const uint8_t* data, size_t n, TCas konec) override {
    size_t hotovo = 0;
    while (hotovo < n) {
      const ssize_t r = write(fd_, data + hotovo, n - hotovo);
      if (r > 0) {
        hotovo += static_cast<size_t>(r);
        continue;
      }
      if (r < 0 && errno != EAGAIN && errno != EINTR) return Selhani(KodZapis, jmeno_);
      const int zbyva = ZbyvaMs(konec);
      if (zbyva == 0) return KodNeodpovedel;
      pollfd p{fd_, POLLOUT, 0};
      if (poll(&p, 1, zbyva) < 0 && errno != EINTR) return Selhani(KodZapis, jmeno_);
    }
    return KodOk;
  }

  int32_t Cti(uint8_t* buf, size_t max, TCas konec, size_t& precteno) override {
    precteno = 0;
    for (;;) {
      const ssize_t r = read(fd_, buf, max);
      if (r > 0) {
        precteno = static_cast<size_t>(r);
        return KodOk;
      }
      if (r < 0 && errno != EAGAIN && errno != EINTR && errno != EIO)
        return Selhani(KodCteniLinky, jmeno_);
      const int zbyva = ZbyvaMs(konec);
      if (zbyva == 0) return KodOk;
      pollfd p{fd_, POLLIN, 0};
      const int v = poll(&p, 1, zbyva);
      if (v < 0 && errno != EINTR) return Selhani(KodCteniLinky, jmeno_);
      // A hung-up line (the far end of a pseudo-terminal closed) stays
      // readable with nothing in it; wait out the deadline without spinning.
      if (v > 0 && (p.revents & POLLIN) == 0) {
        pollfd nic{-1, 0, 0};
        poll(&nic, 1, ZbyvaMs(konec));
      }
    }
  }

 private:
  int fd_;
  std::string jmeno_;  // for the texts of the line's failures
};

}  // namespace

int32_t OtevriSeriovyPort(const std::string& zarizeni, std::unique_ptr<TSpojeni>& spojeni,
                          int32_t kodNeexistuje) {
  if (zarizeni.empty()) return Selhani(kodNeexistuje, {});
  const int fd = open(zarizeni.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int chyba = errno;
    const std::string jmeno = JmenoZarizeni(zarizeni);
    switch (chyba) {
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
  std::string jmeno = JmenoZarizeni(zarizeni);
  termios t{};
  if (!isatty(fd) || tcgetattr(fd, &t) != 0) {
    close(fd);
    return Selhani(KodOtevreni, jmeno);
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return Selhani(KodObsazeno, jmeno);
  }
  spojeni = std::make_unique<TTermios>(fd, std::move(jmeno));
  return KodOk;
}

}  // namespace zqdrv
