#include "Knihovna.h"

#include "Slozka.h"

#include <dlfcn.h>

namespace {

bool KonciNaDll(std::string_view jmeno) {
  if (jmeno.size() < 4) return false;
  std::string_view konec = jmeno.substr(jmeno.size() - 4);
  return konec[0] == '.' && (konec[1] | 0x20) == 'd' && (konec[2] | 0x20) == 'l' &&
         (konec[3] | 0x20) == 'l';
}

}  // namespace

std::string JmenoKnihovny(std::string_view jmeno) {
  size_t lomitko = jmeno.find_last_of("/\\");
  if (lomitko != std::string_view::npos) jmeno.remove_prefix(lomitko + 1);
  if (KonciNaDll(jmeno)) jmeno.remove_suffix(4);
  return "lib" + std::string(jmeno) + ".so";
}

std::filesystem::path CestaKnihovny(std::string_view jmeno) {
  size_t lomitko = jmeno.find_last_of("/\\");
  std::string relativni;
  if (lomitko != std::string_view::npos) relativni.assign(jmeno.substr(0, lomitko + 1));
  relativni += JmenoKnihovny(jmeno);
  // Never out of the libraries' folder: a leading '/' does not lead out of it.
  // SystemovaCesta turns the backslashes of a Windows folder part into '/'.
  return SlozkaKnihoven() / SystemovaCesta(relativni).relative_path();
}

HKnihovna NactiKnihovnu(std::string_view jmeno) {
  // The path always holds a folder part, so the loader searches nowhere else.
  std::filesystem::path cesta = CestaKnihovny(jmeno);
  if (!cesta.has_parent_path()) cesta = std::filesystem::path(".") / cesta;
  return dlopen(cesta.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* AdresaFunkce(HKnihovna knihovna, const char* jmeno) {
  if (!knihovna || !jmeno) return nullptr;
  return dlsym(knihovna, jmeno);
}

bool UvolniKnihovnu(HKnihovna knihovna) { return knihovna && dlclose(knihovna) == 0; }
