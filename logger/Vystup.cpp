#include "Vystup.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>

namespace {

std::string NovyPopis(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

}  // namespace

TNeblokujiciVystup::TNeblokujiciVystup(int fd, size_t kapacita) : fd_(fd), kapacita_(kapacita) {
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    selhal_ = true;  // no such descriptor: nothing to write to
    return;
  }
  if (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode)) {
    druh_ = TDruh::Soubor;
  } else if (S_ISSOCK(st.st_mode)) {
    druh_ = TDruh::Soket;
  } else {
    // A pipe or a terminal opened once more: a description of our own, so
    // O_NONBLOCK does not reach the shell that shares the original one.
    const int vlastni = ::open(NovyPopis(fd).c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (vlastni >= 0) {
      fd_ = vlastni;
      vlastni_ = true;
      druh_ = TDruh::Vlastni;
    } else {
      // No /proc, or the terminal is not ours to open: each write is
      // preceded by a look whether there is room, and is kept small enough
      // that a pipe with room takes it whole.
      druh_ = TDruh::Hlidany;
    }
  }
}

TNeblokujiciVystup::~TNeblokujiciVystup() {
  if (vlastni_) ::close(fd_);
}

ssize_t TNeblokujiciVystup::ZapisKus(const char* data, size_t n) {
  switch (druh_) {
    case TDruh::Soket: return ::send(fd_, data, n, MSG_DONTWAIT | MSG_NOSIGNAL);
    case TDruh::Hlidany: {
      pollfd p{fd_, POLLOUT, 0};
      const int v = ::poll(&p, 1, 0);
      if (v < 0) return -1;
      if (v == 0 || (p.revents & POLLOUT) == 0) {
        // Hung up or broken: the write says which.
        if (v > 0 && (p.revents & (POLLERR | POLLHUP))) return ::write(fd_, data, n);
        errno = EAGAIN;
        return -1;
      }
      return ::write(fd_, data, n < PIPE_BUF ? n : PIPE_BUF);
    }
    case TDruh::Soubor:
    case TDruh::Vlastni: return ::write(fd_, data, n);
  }
  return -1;
}

bool TNeblokujiciVystup::Zapis() {
  if (selhal_) {
    cekajici_.clear();
    return false;
  }
  size_t hotovo = 0;
  while (hotovo < cekajici_.size()) {
    const ssize_t r = ZapisKus(cekajici_.data() + hotovo, cekajici_.size() - hotovo);
    if (r > 0) {
      hotovo += static_cast<size_t>(r);
      continue;
    }
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    // EPIPE and the like: nobody will ever read it.
    selhal_ = true;
    cekajici_.clear();
    return false;
  }
  cekajici_.erase(0, hotovo);
  // Everything went: the reader is back, and is told what it missed
  // before anything else comes.
  if (cekajici_.empty() && vynechano_ > oznameno_) {
    const uint64_t pocet = vynechano_ - oznameno_;
    oznameno_ = vynechano_;
    cekajici_ = "zq-logger: výstup nikdo nečetl, vynecháno řádků: " + std::to_string(pocet) + "\n";
    return Zapis();
  }
  return true;
}

void TNeblokujiciVystup::ZaradRadek(const std::string& radek) {
  // What waits goes first if the reader is back: room is made before a
  // line is judged not to fit.
  if (!cekajici_.empty()) Zapis();
  if (selhal_) return;
  // A line that does not fit is dropped whole: a reader never gets half of
  // one.  The buffer holds lines only after those the reader has not taken.
  if (cekajici_.size() + radek.size() > kapacita_) {
    ++vynechano_;
    return;
  }
  cekajici_ += radek;
}

void TNeblokujiciVystup::PridejZamceno(std::string_view text) {
  for (;;) {
    const size_t konec = text.find('\n');
    if (konec == std::string_view::npos) {
      radek_.append(text);
      break;
    }
    radek_.append(text.substr(0, konec + 1));
    text.remove_prefix(konec + 1);
    ZaradRadek(radek_);
    radek_.clear();
  }
  Zapis();
}

void TNeblokujiciVystup::Pridej(std::string_view text) {
  std::lock_guard<std::mutex> z(m_);
  PridejZamceno(text);
}

TNeblokujiciVystup::int_type TNeblokujiciVystup::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  const char znak = traits_type::to_char_type(c);
  Pridej(std::string_view(&znak, 1));
  return c;
}

std::streamsize TNeblokujiciVystup::xsputn(const char* s, std::streamsize n) {
  Pridej(std::string_view(s, static_cast<size_t>(n)));
  return n;
}

int TNeblokujiciVystup::sync() {
  std::lock_guard<std::mutex> z(m_);
  // A partial line stays until its end comes; what waits is tried again.
  return Zapis() ? 0 : -1;
}

void TNeblokujiciVystup::Dopis(int ms) {
  std::lock_guard<std::mutex> z(m_);
  if (!radek_.empty()) {
    ZaradRadek(radek_ + "\n");
    radek_.clear();
  }
  const auto konec = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (Zapis() && !cekajici_.empty()) {
    const auto zbyva = std::chrono::duration_cast<std::chrono::milliseconds>(
                           konec - std::chrono::steady_clock::now())
                           .count();
    if (zbyva <= 0) break;
    pollfd p{fd_, POLLOUT, 0};
    if (::poll(&p, 1, static_cast<int>(zbyva)) < 0 && errno != EINTR) break;
  }
  // What did not go out in time is lost; the count says so if it still fits.
  for (size_t i = 0; i < cekajici_.size(); ++i)
    if (cekajici_[i] == '\n') ++vynechano_;
  cekajici_.clear();
}

uint64_t TNeblokujiciVystup::Vynechano() const {
  std::lock_guard<std::mutex> z(m_);
  return vynechano_;
}

bool TNeblokujiciVystup::Selhal() const {
  std::lock_guard<std::mutex> z(m_);
  return selhal_;
}
