#include "Udp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>

#include <cstring>
#include <string>
#include <string_view>

namespace zqdrv {

namespace {

class TUdp : public TSpojeni {
 public:
  TUdp(int fd, sockaddr_in cil, int32_t lanTimeout) : fd_(fd), cil_(cil), lanTimeout_(lanTimeout) {}
  ~TUdp() override { close(fd_); }
  TUdp(const TUdp&) = delete;
  TUdp& operator=(const TUdp&) = delete;

  int32_t Nastav(const TNastaveni&) override { return KodOk; }
  int32_t NavicMs() const override { return lanTimeout_; }

  int32_t Pokus(const TDotaz& dotaz, TOdpoved& odpoved, TCas konec,
                const TNastaveni& nastaveni) override {
    // Whatever waits in the socket now answers an earlier try.
    uint8_t buf[512];
    while (recv(fd_, buf, sizeof buf, MSG_DONTWAIT) >= 0) {
    }
    TLanDotaz d;
    d.Poradi = Poradi();
    d.Rychlost = static_cast<uint32_t>(nastaveni.Rychlost);
    d.Timeout = static_cast<uint16_t>(nastaveni.Timeout);
    d.Dotaz = dotaz;
    const size_t n = SestavLanDotaz(d, buf);
    if (n == 0) return KodDelkaDat;
    if (sendto(fd_, buf, n, 0, reinterpret_cast<const sockaddr*>(&cil_), sizeof cil_) !=
        static_cast<ssize_t>(n))
      return KodOdeslani;

    int32_t chyba = KodOk;
    auto zaznamenej = [&](int32_t kod) {
      if (chyba == KodOk) chyba = kod;
    };
    for (;;) {
      const auto zbyva =
          std::chrono::ceil<std::chrono::milliseconds>(konec - THodiny::now()).count();
      if (zbyva <= 0) break;
      pollfd p{fd_, POLLIN, 0};
      const int v = poll(&p, 1, static_cast<int>(zbyva));
      if (v < 0 && errno != EINTR) return KodSoket;
      if (v <= 0) continue;
      sockaddr_in od{};
      socklen_t delkaOd = sizeof od;
      const ssize_t r = recvfrom(fd_, buf, sizeof buf, MSG_DONTWAIT | MSG_TRUNC,
                                 reinterpret_cast<sockaddr*>(&od), &delkaOd);
      if (r < 0) {
        if (errno == EAGAIN || errno == EINTR || errno == ECONNREFUSED) continue;
        return KodSoket;
      }
      // Only the converter itself is listened to.
      if (od.sin_family != AF_INET || od.sin_addr.s_addr != cil_.sin_addr.s_addr ||
          od.sin_port != cil_.sin_port)
        continue;
      const size_t m = static_cast<size_t>(r);
      TLanOdpoved o;
      const TLanRozbor rozbor = RozeberLanOdpoved(buf, m < sizeof buf ? m : sizeof buf, o);
      if (rozbor == TLanRozbor::Hlavicka) {
        zaznamenej(KodFormat);
        continue;
      }
      if (m >= LanHlavickaOdpovedi && o.Poradi != d.Poradi) {
        zaznamenej(KodOpozdena);  // an answer to an earlier try
        continue;
      }
      if (rozbor == TLanRozbor::Delka) {
        const size_t ocekavano =
            LanHlavickaOdpovedi +
            (m >= LanHlavickaOdpovedi && buf[3] == PrevodnikOk ? DelkaOdpovedi : 0);
        return m < ocekavano ? KodNeuplna : KodDlouha;
      }
      if (rozbor == TLanRozbor::Crc) return KodCrc;
      if (o.Stav == PrevodnikTicho) return KodNeodpovedel;
      if (o.Stav != PrevodnikOk) return KodPrevodnikLinka;
      if (o.Odpoved.Cislo != dotaz.Cislo || o.Odpoved.Funkce != dotaz.Funkce ||
          o.Odpoved.Periferie != dotaz.Periferie) {
        zaznamenej(KodFormat);
        continue;
      }
      if (o.Odpoved.Adresa != dotaz.Adresa) {
        zaznamenej(KodAdresa);
        continue;
      }
      odpoved = o.Odpoved;
      return KodOk;
    }
    return chyba != KodOk ? chyba : KodPrevodnik;
  }

 private:
  int fd_;
  sockaddr_in cil_;
  int32_t lanTimeout_;
};

}  // namespace

int32_t OtevriUdp(const char* ip, intptr_t port, intptr_t lanTimeout,
                  std::unique_ptr<TSpojeni>& spojeni) {
  sockaddr_in cil{};
  cil.sin_family = AF_INET;
  if (ip == nullptr) return KodIpAdresa;
  // Blanks typed around the address are no part of it.
  std::string_view text(ip, strnlen(ip, 64));
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  const std::string adresa(text);
  if (inet_pton(AF_INET, adresa.c_str(), &cil.sin_addr) != 1) return KodIpAdresa;
  if (port < 1 || port > 65535) return KodUdpPort;
  if (lanTimeout < 0 || lanTimeout > 65535) return KodLanTimeout;
  cil.sin_port = htons(static_cast<uint16_t>(port));
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return KodSoket;
  sockaddr_in mistni{};
  mistni.sin_family = AF_INET;
  mistni.sin_addr.s_addr = htonl(INADDR_ANY);
  if (bind(fd, reinterpret_cast<const sockaddr*>(&mistni), sizeof mistni) != 0) {
    close(fd);
    return KodSoket;
  }
  spojeni = std::make_unique<TUdp>(fd, cil, static_cast<int32_t>(lanTimeout));
  return KodOk;
}

}  // namespace zqdrv
