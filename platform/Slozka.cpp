#include "Slozka.h"

#include <cerrno>
#include <cstdio>

#include "Cp1250.h"
#include "Umisteni.h"

namespace {

std::filesystem::path& NahradniSlozka() {
  static std::filesystem::path slozka;
  return slozka;
}

struct TSkutecne {
  zqumisteni::TUmisteni Umisteni;
  std::string Upozorneni;  // UTF-8
};

// Decided once, at the first question: the folders must not change under a
// running program.
const TSkutecne& Skutecne() {
  static const TSkutecne skutecne = [] {
    TSkutecne s;
    s.Umisteni = zqumisteni::UrciUmisteni(s.Upozorneni);
    if (!s.Upozorneni.empty())
      std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, s.Upozorneni.c_str());
    return s;
  }();
  return skutecne;
}

}  // namespace

std::filesystem::path SlozkaProgramu() {
  const auto& nahradni = NahradniSlozka();
  return nahradni.empty() ? Skutecne().Umisteni.Program : nahradni;
}

std::filesystem::path SlozkaKnihoven() {
  const auto& nahradni = NahradniSlozka();
  return nahradni.empty() ? Skutecne().Umisteni.Knihovny : nahradni;
}

std::string UpozorneniSlozkyProgramu() { return Cp1250(Skutecne().Upozorneni); }

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
