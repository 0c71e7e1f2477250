#pragma once
// Test helpers shared by the platform and task tests: real files, and a step
// run without the privileges that would let it write into read-only folders.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QString>

#include <filesystem>
#include <functional>
#include <string>

#include "Profil.h"

// Bytes of a literal that may hold NUL bytes, without the final NUL.
template <size_t N>
QByteArray Bajty(const char (&s)[N]) {
  return QByteArray(s, static_cast<qsizetype>(N - 1));
}

// The bytes of a std::string (Windows-1250 text, file contents).
inline QByteArray Q(const std::string& s) {
  return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

inline QByteArray ObsahSouboru(const std::filesystem::path& cesta) {
  QFile f(QString::fromStdString(cesta.string()));
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

inline void UlozSoubor(const std::filesystem::path& cesta, const QByteArray& obsah) {
  QFile f(QString::fromStdString(cesta.string()));
  if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(obsah);
}

// Outcome of a step: whether it threw TChybaZapisu and with what text.
struct TVysledekKroku {
  bool Vyhozeno = false;
  bool JinaChyba = false;
  std::string Zprava;
};

// Runs `krok`; under root in a child process that has dropped to "nobody",
// since root writes into read-only folders.
inline TVysledekKroku SpustBezPrav(const std::function<void()>& krok) {
  auto spust = [&krok] {
    TVysledekKroku v;
    try {
      krok();
    } catch (const TChybaZapisu& e) {
      v.Vyhozeno = true;
      v.Zprava = e.what();
    } catch (...) {
      v.JinaChyba = true;
    }
    return v;
  };
  if (::geteuid() != 0) return spust();
  int roura[2];
  if (::pipe(roura) != 0) return {false, true, "pipe"};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(roura[0]);
    TVysledekKroku v;
    if (::setgid(65534) != 0 || ::setuid(65534) != 0)
      v.JinaChyba = true;
    else
      v = spust();
    const std::string zprava =
        std::string(1, v.JinaChyba ? '2' : (v.Vyhozeno ? '1' : '0')) + v.Zprava;
    if (::write(roura[1], zprava.data(), zprava.size()) < 0) ::_exit(1);
    ::_exit(0);
  }
  ::close(roura[1]);
  std::string prijato;
  char buf[4096];
  ssize_t n;
  while ((n = ::read(roura[0], buf, sizeof buf)) > 0) prijato.append(buf, static_cast<size_t>(n));
  ::close(roura[0]);
  int stav = 0;
  ::waitpid(pid, &stav, 0);
  TVysledekKroku v;
  if (prijato.empty()) return {false, true, "child"};
  v.JinaChyba = prijato[0] == '2';
  v.Vyhozeno = prijato[0] == '1';
  v.Zprava = prijato.substr(1);
  return v;
}

// Makes a folder (and the test's files in it) read-only for everyone but
// readable; RAII restores write access so the temporary folder can go.
class TJenCteni {
 public:
  explicit TJenCteni(std::filesystem::path slozka) : slozka_(std::move(slozka)) {
    ::chmod(slozka_.c_str(), 0555);
  }
  ~TJenCteni() { ::chmod(slozka_.c_str(), 0755); }
  TJenCteni(const TJenCteni&) = delete;
  TJenCteni& operator=(const TJenCteni&) = delete;

 private:
  std::filesystem::path slozka_;
};
