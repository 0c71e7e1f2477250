#include "Umisteni.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <vector>

// The private library folder relative to the executable's folder, from the
// install layout (packaging/Instalace.cmake): a build that installed its
// libraries elsewhere than where the program looks would load none of them.
#ifndef ZQ_KNIHOVNY_Z_BIN
#error "ZQ_KNIHOVNY_Z_BIN (the library folder relative to the executable's) is not defined"
#endif

namespace fs = std::filesystem;

namespace zqumisteni {

namespace {

// For a system call that failed: its reason, from errno, into `duvod`; false.
bool Selhalo(std::string& duvod) {
  duvod = std::generic_category().message(errno);
  return false;
}

// Creates the one folder with 0700; one already there is no failure.
bool VytvorSlozku(const fs::path& slozka, std::string& duvod) {
  return ::mkdir(slozka.c_str(), 0700) == 0 || errno == EEXIST || Selhalo(duvod);
}

// The user may create and open files in `slozka`.
bool Zapisovatelna(const fs::path& slozka, std::string& duvod) {
  return ::access(slozka.c_str(), W_OK | X_OK) == 0 || Selhalo(duvod);
}

// Creates the missing folders of `slozka` with 0700 and checks that the user
// may write into it; the reason of a failure in `duvod`.
bool Vytvor(const fs::path& slozka, std::string& duvod) {
  fs::path cast;
  for (const fs::path& dil : slozka) {
    cast /= dil;
    if (!VytvorSlozku(cast, duvod)) return false;
  }
  struct stat st {};
  if (::stat(slozka.c_str(), &st) != 0) return Selhalo(duvod);
  if (!S_ISDIR(st.st_mode)) {
    duvod = "není to složka";
    return false;
  }
  return Zapisovatelna(slozka, duvod);
}

// A folder of this user alone in a folder everybody may write (/tmp): it must
// be a real folder (not a link someone else put there), owned by the user and
// closed to others, or somebody else could read or replace the files.
bool VytvorSoukromou(const fs::path& slozka, uid_t uid, std::string& duvod) {
  if (!VytvorSlozku(slozka, duvod)) return false;
  struct stat st {};
  if (::lstat(slozka.c_str(), &st) != 0) return Selhalo(duvod);
  if (!S_ISDIR(st.st_mode) || st.st_uid != uid || (st.st_mode & 077) != 0) {
    duvod = "patří jinému uživateli nebo je přístupná ostatním";
    return false;
  }
  return Zapisovatelna(slozka, duvod);
}

std::string DomovskaSlozka() {
  // The environment is read, never changed, by this program: getenv is safe.
  if (const char* home = std::getenv("HOME"); home && *home)  // NOLINT(concurrency-mt-unsafe)
    return home;
  long velikost = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buf(velikost > 0 ? static_cast<size_t>(velikost) : 16384);
  struct passwd pw {};
  struct passwd* nalezeno = nullptr;
  if (::getpwuid_r(::geteuid(), &pw, buf.data(), buf.size(), &nalezeno) == 0 && nalezeno &&
      nalezeno->pw_dir)
    return nalezeno->pw_dir;
  return {};
}

fs::path DocasnaSlozka() {
  if (const char* tmp = std::getenv("TMPDIR"); tmp && *tmp == '/')  // NOLINT(concurrency-mt-unsafe)
    return tmp;
  return "/tmp";
}

}  // namespace

TUmisteni Rozhodni(const TVstup& v) {
  TUmisteni u;
  u.Knihovny =
      v.KnihovnyInstalovane ? (v.SlozkaExe / v.RelKnihovny).lexically_normal() : v.SlozkaExe;
  // An installed program keeps nothing of the user's beside itself even where
  // it could write (root, an install into the user's home): the folder belongs
  // to the installation and goes with it.
  u.Uzivatelska = v.KnihovnyInstalovane || !v.ExeZapisovatelna;
  if (!u.Uzivatelska) {
    u.Program = v.SlozkaExe;
    return u;
  }
  // XDG: a relative $XDG_DATA_HOME is invalid and ignored.
  fs::path zaklad;
  if (!v.XdgDataHome.empty() && v.XdgDataHome.front() == '/')
    zaklad = v.XdgDataHome;
  else if (!v.Domov.empty() && v.Domov.front() == '/')
    zaklad = fs::path(v.Domov) / ".local" / "share";
  if (!zaklad.empty()) u.Program = zaklad / JmenoSlozky;
  return u;
}

fs::path PripravUzivatelskou(const fs::path& slozka, const fs::path& docasna, uid_t uid,
                             std::string& upozorneni) {
  upozorneni.clear();
  std::string duvod = "není známa domovská složka";
  if (!slozka.empty() && Vytvor(slozka, duvod)) return slozka;
  const std::string jmeno =
      slozka.empty() ? std::string("$HOME/.local/share/") + JmenoSlozky : slozka.string();
  fs::path nahradni = docasna / (std::string(JmenoSlozky) + "-" + std::to_string(uid));
  std::string duvod2;
  if (VytvorSoukromou(nahradni, uid, duvod2)) {
    upozorneni = "Složku " + jmeno + " nelze použít (" + duvod +
                 "); úlohy, nastavení a data se ukládají do dočasné složky " + nahradni.string() +
                 ", kterou systém může smazat";
    return nahradni;
  }
  upozorneni = "Složku " + jmeno + " nelze použít (" + duvod + ") a ani dočasnou složku " +
               nahradni.string() + " (" + duvod2 + "); úlohy, nastavení ani data nelze uložit";
  return slozka;
}

TUmisteni UrciUmisteni(std::string& upozorneni) {
  upozorneni.clear();
  TVstup v;
  std::error_code chyba;
  const fs::path exe = fs::read_symlink("/proc/self/exe", chyba);
  v.SlozkaExe = chyba || exe.empty() ? fs::current_path(chyba) : exe.parent_path();
  v.RelKnihovny = ZQ_KNIHOVNY_Z_BIN;
  v.ExeZapisovatelna = ::access(v.SlozkaExe.c_str(), W_OK | X_OK) == 0;
  v.KnihovnyInstalovane = fs::is_directory(v.SlozkaExe / v.RelKnihovny, chyba);
  if (const char* xdg = std::getenv("XDG_DATA_HOME"))  // NOLINT(concurrency-mt-unsafe)
    v.XdgDataHome = xdg;
  v.Domov = DomovskaSlozka();
  TUmisteni u = Rozhodni(v);
  if (u.Uzivatelska)
    u.Program = PripravUzivatelskou(u.Program, DocasnaSlozka(), ::geteuid(), upozorneni);
  return u;
}

}  // namespace zqumisteni
