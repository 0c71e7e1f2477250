#include "Slozka.h"

#include <system_error>

#include "Cp1250.h"

namespace {

std::filesystem::path& NahradniSlozka() {
  static std::filesystem::path slozka;
  return slozka;
}

const std::filesystem::path& SkutecnaSlozka() {
  static const std::filesystem::path slozka = [] {
    std::error_code chyba;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", chyba);
    if (chyba || exe.empty()) return std::filesystem::current_path(chyba);
    return exe.parent_path();
  }();
  return slozka;
}

}  // namespace

std::filesystem::path SlozkaProgramu() {
  const auto& nahradni = NahradniSlozka();
  return nahradni.empty() ? SkutecnaSlozka() : nahradni;
}

void NastavSlozkuProgramu(const std::filesystem::path& slozka) { NahradniSlozka() = slozka; }

std::filesystem::path SystemovaCesta(std::string_view cp1250) {
  // A folder part typed the Windows way ("Mereni\Linka1.zq") means the same
  // folder here.
  std::string utf8 = Utf8(cp1250);
  for (char& c : utf8)
    if (c == '\\') c = '/';
  return std::filesystem::path(utf8);
}

std::string CestaCp1250(const std::filesystem::path& cesta) { return Cp1250(cesta.string()); }

std::filesystem::path CestaVeSlozceProgramu(std::string_view jmeno) {
  // Always inside the program's folder: a leading '/' does not lead out of it.
  return SlozkaProgramu() / SystemovaCesta(jmeno).relative_path();
}
