#include "Zprava.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <ctime>

#include "Cisla.h"
#include "Cp1250.h"

namespace {

// A JSON string with its quotes: ", \ and control characters escaped.
void JsonText(std::string& s, std::string_view text) {
  s += '"';
  for (char c : text) {
    switch (c) {
      case '"': s += "\\\""; break;
      case '\\': s += "\\\\"; break;
      case '\n': s += "\\n"; break;
      case '\r': s += "\\r"; break;
      case '\t': s += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          static const char hex[] = "0123456789abcdef";
          s += "\\u00";
          s += hex[(c >> 4) & 0xF];
          s += hex[c & 0xF];
        } else {
          s += c;
        }
    }
  }
  s += '"';
}

// The shortest text that reads back as the same double; locale-free.
std::string Cislo(double v) {
  char buf[32];
  const auto [konec, ec] = std::to_chars(buf, buf + sizeof buf, v);
  (void)ec;  // 32 characters hold every double
  return std::string(buf, konec);
}

// A tag value of the line protocol, for InfluxDB and Telegraf alike.
// Commas, equals signs and spaces are escaped; a backslash stands for itself
// (both read \\, as a backslash and a comma), except at the end, where it
// would escape the separator after it and break the line: trailing
// backslashes are dropped.  A line break cannot be escaped, and Telegraf
// refuses TAB and FF in a tag: TAB, LF, VT, FF and CR become spaces.  An
// empty value is no tag: `nahrada` (itself plain) stands for it.
std::string InfluxTag(std::string_view t, std::string_view nahrada) {
  std::string c(t);
  for (char& z : c)
    if (z >= '\t' && z <= '\r') z = ' ';
  while (!c.empty() && c.back() == '\\') c.pop_back();
  if (c.empty()) return std::string(nahrada);
  std::string s;
  for (char z : c) {
    if (z == ',' || z == '=' || z == ' ') s += '\\';
    s += z;
  }
  return s;
}

std::tm Utc(int64_t ms) {
  const std::time_t s = static_cast<std::time_t>(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
  std::tm t{};
  gmtime_r(&s, &t);
  return t;
}

int Milisekundy(int64_t ms) { return static_cast<int>(((ms % 1000) + 1000) % 1000); }

void Pridej(std::string& s, const void* p, size_t n) { s.append(static_cast<const char*>(p), n); }
template <class T>
void PridejCislo(std::string& s, T v) {
  unsigned char b[sizeof(T)];
  for (size_t i = 0; i < sizeof(T); ++i)
    b[i] = static_cast<unsigned char>((static_cast<uint64_t>(v) >> (8 * i)) & 0xFF);
  Pridej(s, b, sizeof b);
}
void PridejText(std::string& s, std::string_view t) {
  PridejCislo<uint32_t>(s, static_cast<uint32_t>(t.size()));
  s.append(t);
}

// Reads what the writer above wrote; false past the end.
class TCtenar {
 public:
  explicit TCtenar(std::string_view d) : d_(d) {}
  template <class T>
  bool Cislo(T& v) {
    if (d_.size() < sizeof(T)) return false;
    uint64_t x = 0;
    for (size_t i = 0; i < sizeof(T); ++i)
      x |= static_cast<uint64_t>(static_cast<unsigned char>(d_[i])) << (8 * i);
    v = static_cast<T>(x);
    d_.remove_prefix(sizeof(T));
    return true;
  }
  bool Text(std::string& t) {
    uint32_t n = 0;
    if (!Cislo(n) || d_.size() < n) return false;
    t.assign(d_.substr(0, n));
    d_.remove_prefix(n);
    return true;
  }
  bool Konec() const { return d_.empty(); }

 private:
  std::string_view d_;
};

constexpr uint32_t VerzeZaznamu = 1;

}  // namespace

TVzorekZpravy VzorekZpravy(const TVzorekMereni& vzorek, std::string uloha) {
  TVzorekZpravy v;
  v.Poradi = static_cast<uint32_t>(vzorek.Poradi);
  v.CasMs = vzorek.CasMs;
  v.BehMs = vzorek.BehMs;
  v.Uloha = std::move(uloha);
  v.Kanaly.reserve(vzorek.Kanaly.size());
  for (size_t i = 0; i < vzorek.Kanaly.size(); ++i) {
    const TKanalVzorku& z = vzorek.Kanaly[i];
    TKanalZpravy k;
    k.Cislo = static_cast<int32_t>(i);
    k.Nazev = Utf8(z.Nazev);
    k.Text = Utf8(z.Text);
    k.Status = z.Chyba;
    if (k.Status == 0 && std::isfinite(z.Hodnota)) k.Hodnota = z.Hodnota;
    v.Kanaly.push_back(std::move(k));
  }
  return v;
}

std::string CasIso(int64_t ms) {
  const std::tm t = Utc(ms);
  char buf[80];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", t.tm_year + 1900,
                t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, Milisekundy(ms));
  return buf;
}

std::string CasBehu(int64_t ms) {
  const std::tm t = Utc(ms);
  char buf[80];
  std::snprintf(buf, sizeof buf, "%04d%02d%02dT%02d%02d%02d.%03dZ", t.tm_year + 1900, t.tm_mon + 1,
                t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, Milisekundy(ms));
  return buf;
}

std::string JsonZpravy(const TVzorekZpravy& v, bool historicky) {
  std::string s = "{\"ts\":";
  JsonText(s, CasIso(v.CasMs));
  s += ",\"seq\":" + std::to_string(v.Poradi) + ",\"run\":";
  JsonText(s, CasBehu(v.BehMs));
  s += ",\"task\":";
  JsonText(s, v.Uloha);
  s += historicky ? ",\"historical\":true" : ",\"historical\":false";
  s += ",\"channels\":[";
  for (size_t i = 0; i < v.Kanaly.size(); ++i) {
    const TKanalZpravy& k = v.Kanaly[i];
    if (i) s += ',';
    s += "{\"ch\":" + std::to_string(k.Cislo) + ",\"name\":";
    JsonText(s, k.Nazev);
    s += ",\"value\":";
    s += k.Hodnota ? Cislo(*k.Hodnota) : std::string("null");
    s += ",\"text\":";
    JsonText(s, k.Text);
    s += ",\"status\":" + std::to_string(k.Status) + "}";
  }
  s += "]}";
  return s;
}

std::string InfluxZpravy(const TVzorekZpravy& v) {
  const std::string cas = std::to_string(v.CasMs) + "000000";
  // The measurement, the tag keys and the field keys are plain words.
  const std::string uloha = InfluxTag(v.Uloha, "_");
  std::string s;
  for (const TKanalZpravy& k : v.Kanaly) {
    s += "zentrolix,task=" + uloha + ",ch=" + std::to_string(k.Cislo) +
         ",name=" + InfluxTag(k.Nazev, "Ch" + std::to_string(k.Cislo));
    s += ' ';
    if (k.Hodnota) s += "value=" + Cislo(*k.Hodnota) + ",";
    s += "status=" + std::to_string(k.Status) + "i " + cas + "\n";
  }
  return s;
}

std::string Serializuj(const TVzorekZpravy& v) {
  std::string s;
  PridejCislo<uint32_t>(s, VerzeZaznamu);
  PridejCislo<uint32_t>(s, v.Poradi);
  PridejCislo<int64_t>(s, v.CasMs);
  PridejCislo<int64_t>(s, v.BehMs);
  PridejText(s, v.Uloha);
  PridejCislo<uint32_t>(s, static_cast<uint32_t>(v.Kanaly.size()));
  for (const TKanalZpravy& k : v.Kanaly) {
    PridejCislo<int32_t>(s, k.Cislo);
    PridejText(s, k.Nazev);
    PridejText(s, k.Text);
    PridejCislo<uint8_t>(s, k.Status);
    PridejCislo<uint8_t>(s, k.Hodnota ? 1 : 0);
    uint64_t bity = 0;
    if (k.Hodnota) std::memcpy(&bity, &*k.Hodnota, sizeof bity);
    PridejCislo<uint64_t>(s, bity);
  }
  return s;
}

bool Deserializuj(std::string_view data, TVzorekZpravy& v) {
  TCtenar c(data);
  uint32_t verze = 0, pocet = 0;
  if (!c.Cislo(verze) || verze != VerzeZaznamu) return false;
  if (!c.Cislo(v.Poradi) || !c.Cislo(v.CasMs) || !c.Cislo(v.BehMs) || !c.Text(v.Uloha) ||
      !c.Cislo(pocet) || pocet > MaxKanalu)
    return false;
  v.Kanaly.assign(pocet, TKanalZpravy{});
  for (TKanalZpravy& k : v.Kanaly) {
    uint8_t ma = 0;
    uint64_t bity = 0;
    if (!c.Cislo(k.Cislo) || !c.Text(k.Nazev) || !c.Text(k.Text) || !c.Cislo(k.Status) ||
        !c.Cislo(ma) || !c.Cislo(bity))
      return false;
    if (ma) {
      double h = 0;
      std::memcpy(&h, &bity, sizeof h);
      k.Hodnota = h;
    } else {
      k.Hodnota.reset();
    }
  }
  return c.Konec();
}
