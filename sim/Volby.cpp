// Text forms of modules and faults for the command line and the
// configuration file of zq-modsim.
#include <charconv>
#include <vector>

#include "Simulator.h"

namespace zqsim {

namespace {

std::vector<std::string_view> Rozdel(std::string_view text, char znak) {
  std::vector<std::string_view> casti;
  for (;;) {
    const size_t i = text.find(znak);
    casti.push_back(text.substr(0, i));
    if (i == std::string_view::npos) return casti;
    text.remove_prefix(i + 1);
  }
}

template <class T>
bool Cislo(std::string_view text, T& hodnota) {
  int zaklad = 10;
  if constexpr (std::is_integral_v<T>) {
    if (text.starts_with("0x") || text.starts_with("0X")) {
      text.remove_prefix(2);
      zaklad = 16;
    }
  }
  if (text.empty()) return false;
  std::from_chars_result r;
  if constexpr (std::is_integral_v<T>)
    r = std::from_chars(text.data(), text.data() + text.size(), hodnota, zaklad);
  else
    r = std::from_chars(text.data(), text.data() + text.size(), hodnota);
  return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

bool Bajt(std::string_view text, uint8_t& b) {
  unsigned v = 0;
  if (!Cislo(text, v) || v > 255) return false;
  b = static_cast<uint8_t>(v);
  return true;
}

}  // namespace

bool PrectiModul(std::string_view text, uint8_t& adresa, uint8_t& periferie, THodnota& hodnota,
                 std::string& chyba) {
  const size_t rovnitko = text.find('=');
  const size_t dvojtecka = text.find(':');
  if (rovnitko == std::string_view::npos || dvojtecka == std::string_view::npos ||
      dvojtecka > rovnitko || !Bajt(text.substr(0, dvojtecka), adresa) ||
      !Bajt(text.substr(dvojtecka + 1, rovnitko - dvojtecka - 1), periferie)) {
    chyba = "očekáváno ADRESA:PERIFERIE=FORMÁT[:DRUH][:klíč=hodnota...]";
    return false;
  }
  const std::vector<std::string_view> casti = Rozdel(text.substr(rovnitko + 1), ':');
  hodnota = THodnota{};
  if (casti[0] == "uint32")
    hodnota.Format = TFormat::Uint32;
  else if (casti[0] == "float32")
    hodnota.Format = TFormat::Float32;
  else if (casti[0] == "bool32")
    hodnota.Format = TFormat::Bool32;
  else {
    chyba = "neznámý formát '" + std::string(casti[0]) + "' (uint32, float32, bool32)";
    return false;
  }
  size_t i = 1;
  if (casti.size() > 1 && casti[1].find('=') == std::string_view::npos) {
    const std::string_view druh = casti[1];
    if (druh == "const")
      hodnota.Prubeh = TPrubeh::Konstanta;
    else if (druh == "counter")
      hodnota.Prubeh = TPrubeh::Citac;
    else if (druh == "ramp")
      hodnota.Prubeh = TPrubeh::Rampa;
    else if (druh == "sine")
      hodnota.Prubeh = TPrubeh::Sinus;
    else if (druh == "walk")
      hodnota.Prubeh = TPrubeh::PosuvnyBit;
    else {
      chyba = "neznámý druh '" + std::string(druh) + "' (const, counter, ramp, sine, walk)";
      return false;
    }
    i = 2;
  }
  for (; i < casti.size(); ++i) {
    const size_t r = casti[i].find('=');
    const std::string_view klic = casti[i].substr(0, r);
    const std::string_view hodnotaText =
        r == std::string_view::npos ? std::string_view() : casti[i].substr(r + 1);
    bool dobre = false;
    if (klic == "value" || klic == "start" || klic == "min" || klic == "offset") {
      dobre = Cislo(hodnotaText, hodnota.Zaklad);
    } else if (klic == "bits") {
      uint32_t bity = 0;
      dobre = Cislo(hodnotaText, bity);
      hodnota.Zaklad = bity;
    } else if (klic == "amp" || klic == "height") {
      dobre = Cislo(hodnotaText, hodnota.Amplituda);
    } else if (klic == "period") {
      dobre = Cislo(hodnotaText, hodnota.Perioda) && hodnota.Perioda > 0;
    } else if (klic == "step") {
      dobre = Cislo(hodnotaText, hodnota.Krok);
    } else if (klic == "dec") {
      dobre = Cislo(hodnotaText, hodnota.Mista) && hodnota.Mista >= 0 && hodnota.Mista <= 127;
    }
    if (!dobre) {
      chyba = "chybné nastavení '" + std::string(casti[i]) + "'";
      return false;
    }
  }
  return true;
}

bool PrectiPoruchu(std::string_view text, TPorucha& porucha, std::string& chyba) {
  const std::vector<std::string_view> casti = Rozdel(text, ',');
  const size_t r = casti[0].find('=');
  const std::string_view jmeno = casti[0].substr(0, r);
  std::string_view hodnota =
      r == std::string_view::npos ? std::string_view() : casti[0].substr(r + 1);
  porucha = TPorucha{};
  struct TJmeno {
    std::string_view Jmeno;
    TDruhPoruchy Druh;
  };
  constexpr TJmeno jmena[] = {
      {"silent", TDruhPoruchy::Ticho},   {"drop", TDruhPoruchy::Zahozeni},
      {"crc", TDruhPoruchy::Crc},        {"addr", TDruhPoruchy::Adresa},
      {"delay", TDruhPoruchy::Zpozdeni}, {"dup", TDruhPoruchy::Duplikat},
      {"trunc", TDruhPoruchy::Zkraceni}, {"long", TDruhPoruchy::Prodlouzeni},
      {"foreign", TDruhPoruchy::Cizi},   {"echo", TDruhPoruchy::Ozvena},
  };
  bool znama = false;
  for (const TJmeno& j : jmena)
    if (j.Jmeno == jmeno) {
      porucha.Druh = j.Druh;
      znama = true;
    }
  if (!znama) {
    chyba = "neznámá porucha '" + std::string(jmeno) +
            "' (silent, drop, crc, addr, delay, dup, trunc, long, foreign, echo)";
    return false;
  }
  bool dobre = true;
  if (porucha.Druh == TDruhPoruchy::Ticho) {
    uint8_t a = 0;
    dobre = Bajt(hodnota, a);
    porucha.Adresa = a;
  } else if (porucha.Druh == TDruhPoruchy::Zpozdeni) {
    const size_t zavinac = hodnota.find('@');
    dobre = Cislo(hodnota.substr(0, zavinac), porucha.ZpozdeniMs) && porucha.ZpozdeniMs >= 0;
    if (dobre && zavinac != std::string_view::npos)
      dobre = Cislo(hodnota.substr(zavinac + 1), porucha.Pravdepodobnost);
  } else if (!hodnota.empty()) {
    dobre = Cislo(hodnota, porucha.Pravdepodobnost);
  }
  dobre = dobre && porucha.Pravdepodobnost >= 0 && porucha.Pravdepodobnost <= 1;
  for (size_t i = 1; dobre && i < casti.size(); ++i) {
    const size_t rr = casti[i].find('=');
    const std::string_view klic = casti[i].substr(0, rr);
    const std::string_view v =
        rr == std::string_view::npos ? std::string_view() : casti[i].substr(rr + 1);
    if (klic == "count")
      dobre = Cislo(v, porucha.Pocet) && porucha.Pocet >= 0;
    else if (klic == "module" && porucha.Druh != TDruhPoruchy::Ticho) {
      uint8_t a = 0;
      dobre = Bajt(v, a);
      porucha.Adresa = a;
    } else
      dobre = false;
  }
  if (!dobre) {
    chyba = "chybná porucha '" + std::string(text) + "'";
    return false;
  }
  return true;
}

}  // namespace zqsim
