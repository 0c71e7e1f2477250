#include "Nastaveni.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <utility>

#include "ChybySouboru.h"
#include "Cp1250.h"
#include "Profil.h"
#include "Slozka.h"

namespace {

// Section and key names, Windows-1250.
struct TKlice {
  std::string Sekce = "MQTT";
  std::string Server = "Server";
  std::string Port = "Port";
  std::string Tema = Cp1250("Téma");
  std::string Klient = "Klient";
  std::string Uzivatel = Cp1250("Uživatel");
  std::string Heslo = "Heslo";
  std::string CA = "CA";
  std::string Certifikat = Cp1250("Certifikát");
  std::string Klic = Cp1250("Klíč");
  std::string Format = Cp1250("Formát");
  std::string Fronta = "Fronta MB";
};

const TKlice& K() {
  static const TKlice k;
  return k;
}

const std::vector<TZnameKlice>& Zname() {
  static const std::vector<TZnameKlice> zname = [] {
    const TKlice& k = K();
    return std::vector<TZnameKlice>{{k.Sekce,
                                     {k.Server, k.Port, k.Tema, k.Klient, k.Uzivatel, k.Heslo, k.CA,
                                      k.Certifikat, k.Klic, k.Format, k.Fronta}}};
  }();
  return zname;
}

bool LzeCist(const std::filesystem::path& p) {
  std::ifstream f(p);
  char c = 0;
  return f && f.get(c);
}

// A PEM key encrypted by a passphrase: PKCS#8 or the older form with its
// header.
bool ZasifrovanyKlic(const std::filesystem::path& p) {
  std::ifstream f(p);
  std::string radek;
  for (int i = 0; i < 4 && std::getline(f, radek); ++i)
    if (radek.find("ENCRYPTED") != std::string::npos) return true;
  return false;
}

bool MaleRovno(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char c = a[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != b[i]) return false;
  }
  return true;
}

}  // namespace

TNastaveniPublikace PrectiNastaveniPublikace(const std::filesystem::path& soubor,
                                             std::vector<std::string>* nezname) {
  const TKlice& k = K();
  const TProfil p(soubor, TKodovani::Utf8NeboCp1250);
  if (nezname) *nezname = p.Nezname(Zname());
  TNastaveniPublikace n;
  // A file the program may not read (root's 0600 under the service) would
  // read as none, and publishing would be off without a word.
  if (p.ChybaCteni() != 0)
    n.ChybaCteni = Cp1250("soubor nastavení nelze číst (") + PricinaChyby(p.ChybaCteni()) + ")";
  n.Server = p.CtiText(k.Sekce, k.Server, "");
  n.Port = p.CtiCislo(k.Sekce, k.Port, n.Port);
  n.Tema = p.CtiText(k.Sekce, k.Tema, "");
  n.Klient = p.CtiText(k.Sekce, k.Klient, "");
  n.Uzivatel = p.CtiText(k.Sekce, k.Uzivatel, "");
  n.Heslo = p.CtiText(k.Sekce, k.Heslo, "");
  n.CA = p.CtiText(k.Sekce, k.CA, "");
  n.Certifikat = p.CtiText(k.Sekce, k.Certifikat, "");
  n.Klic = p.CtiText(k.Sekce, k.Klic, "");
  n.Format = p.CtiText(k.Sekce, k.Format, "json");
  n.FrontaMB = p.CtiCislo(k.Sekce, k.Fronta, n.FrontaMB);
  return n;
}

void ZapisNastaveniPublikace(const std::filesystem::path& soubor, const TNastaveniPublikace& n) {
  const TKlice& k = K();
  TProfil p(soubor, TKodovani::Utf8NeboCp1250);
  if (!n.Heslo.empty()) p.NastavSoukromy();
  p.ZapisText(k.Sekce, k.Server, n.Server);
  p.ZapisCislo(k.Sekce, k.Port, n.Port);
  p.ZapisText(k.Sekce, k.Tema, n.Tema);
  p.ZapisText(k.Sekce, k.Klient, n.Klient);
  p.ZapisText(k.Sekce, k.Uzivatel, n.Uzivatel);
  p.ZapisText(k.Sekce, k.Heslo, n.Heslo);
  p.ZapisText(k.Sekce, k.CA, n.CA);
  p.ZapisText(k.Sekce, k.Certifikat, n.Certifikat);
  p.ZapisText(k.Sekce, k.Klic, n.Klic);
  p.ZapisText(k.Sekce, k.Format, n.Format);
  p.ZapisCislo(k.Sekce, k.Fronta, n.FrontaMB);
  p.Uloz();
}

std::filesystem::path CestaSouboruPublikace(std::string_view jmenoCp1250) {
  std::filesystem::path p = SystemovaCesta(jmenoCp1250);
  if (p.is_relative()) p = SlozkaProgramu() / p;
  return p;
}

TFormatZpravy FormatZpravy(const TNastaveniPublikace& n) {
  return MaleRovno(n.Format, "influx") ? TFormatZpravy::Influx : TFormatZpravy::Json;
}

std::string ChybaNastaveni(const TNastaveniPublikace& n) {
  if (!n.ChybaCteni.empty()) return n.ChybaCteni;
  if (!n.Zapnuto()) return {};
  if (!n.Format.empty() && !MaleRovno(n.Format, "json") && !MaleRovno(n.Format, "influx"))
    return Cp1250("neznámý formát zpráv \"") + n.Format + Cp1250("\" (json nebo influx)");
  if (n.Port < 1 || n.Port > 65535)
    return Cp1250("port ") + std::to_string(n.Port) + Cp1250(" mimo rozsah 1 až 65535");
  if (n.FrontaMB < 1 || n.FrontaMB > 1048576)
    return Cp1250("velikost fronty ") + std::to_string(n.FrontaMB) +
           Cp1250(" MB mimo rozsah 1 až 1048576");
  for (const auto& [jmeno, co] : {std::pair{&n.CA, "CA"}, std::pair{&n.Certifikat, "certifikátu"},
                                  std::pair{&n.Klic, "klíče"}})
    if (!jmeno->empty() && !LzeCist(CestaSouboruPublikace(*jmeno)))
      return Cp1250("soubor ") + Cp1250(co) + " \"" + *jmeno + Cp1250("\" nelze číst");
  if (n.Certifikat.empty() != n.Klic.empty())
    return Cp1250("certifikát a klíč klienta se zadávají spolu");
  if (!n.Certifikat.empty() && n.CA.empty())
    return Cp1250("k certifikátu klienta patří i CA, které ověří brokera");
  if (!n.Klic.empty()) {
    const std::filesystem::path klic = CestaSouboruPublikace(n.Klic);
    struct stat st {};
    // A private key that others can read is no secret any more: refused,
    // as ssh refuses one, and the operator told how to mend it.
    if (::stat(klic.c_str(), &st) == 0 && (st.st_mode & (S_IRGRP | S_IROTH)) != 0) {
      char prava[8];
      std::snprintf(prava, sizeof prava, "%04o", static_cast<unsigned>(st.st_mode & 07777));
      return Cp1250("soubor klíče \"") + n.Klic + Cp1250("\" mohou číst i jiní uživatelé (práva ") +
             prava + Cp1250("); povolte jej jen vlastníkovi: chmod 600");
    }
    // A key locked by a passphrase would make the TLS library ask for it on
    // a terminal nobody watches.
    if (ZasifrovanyKlic(klic))
      return Cp1250("klíč \"") + n.Klic +
             Cp1250("\" je zašifrovaný heslem; je třeba klíč bez hesla");
  }
  for (char c : n.Tema)
    if (c == '+' || c == '#') return Cp1250("téma \"") + n.Tema + Cp1250("\" obsahuje + nebo #");
  return {};
}

std::string JmenoStroje() {
  char jmeno[256] = {};
  if (::gethostname(jmeno, sizeof jmeno - 1) != 0 || jmeno[0] == '\0') return "localhost";
  return jmeno;
}

std::string UlohaVTematu(std::string_view ulohaCp1250) {
  std::string u(ulohaCp1250);
  if (u.size() > 3 && MaleRovno(u.substr(u.size() - 3), ".zq")) u.resize(u.size() - 3);
  for (char& c : u)
    if (c == '+' || c == '#' || c == '/') c = '_';
  return Utf8(u);
}

std::string TemaPublikace(const TNastaveniPublikace& n) {
  std::string t = n.Tema.empty() ? "zentrolix/" + JmenoStroje() : Utf8(n.Tema);
  while (!t.empty() && t.back() == '/') t.pop_back();
  return t;
}

std::string KlientPublikace(const TNastaveniPublikace& n, std::string_view program,
                            std::string_view ulohaCp1250) {
  if (!n.Klient.empty()) return Utf8(n.Klient);
  return JmenoStroje() + "-" + std::string(program) + "-" + UlohaVTematu(ulohaCp1250);
}
