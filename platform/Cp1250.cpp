#include "Cp1250.h"

#include <QString>

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

namespace {

constexpr char32_t Nedefinovano = 0xFFFD;

// Unicode of the bytes 0x80..0xFF; U+FFFD for the five undefined bytes.
constexpr std::array<char16_t, 128> Horni = {
    0x20AC, 0xFFFD, 0x201A, 0xFFFD, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0xFFFD, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,  // 88
    0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0xFFFD, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,  // 98
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,  // A0
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,  // A8
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,  // B8
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,  // C0
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,  // C8
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,  // D0
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,  // D8
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,  // E0
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,  // E8
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,  // F0
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,  // F8
};

char32_t ZnakBajtu(unsigned char b) { return b < 0x80 ? char32_t(b) : char32_t(Horni[b - 0x80]); }

// Unicode -> byte, sorted by the code point, for the reverse look-up.
using TZpetna = std::array<std::pair<char16_t, unsigned char>, 123>;

const TZpetna& Zpetna() {
  static const TZpetna tabulka = [] {
    TZpetna t{};
    size_t n = 0;
    for (int b = 0x80; b <= 0xFF; ++b)
      if (Horni[b - 0x80] != Nedefinovano)
        t[n++] = {Horni[b - 0x80], static_cast<unsigned char>(b)};
    std::sort(t.begin(), t.end());
    return t;
  }();
  return tabulka;
}

char BajtZnaku(char32_t znak) {
  if (znak < 0x80) return static_cast<char>(znak);
  if (znak > 0xFFFF) return '?';
  const auto& t = Zpetna();
  auto it =
      std::lower_bound(t.begin(), t.end(), std::pair<char16_t, unsigned char>{char16_t(znak), 0});
  if (it != t.end() && it->first == znak) return static_cast<char>(it->second);
  return '?';
}

void PridejUtf8(std::string& vysledek, char32_t z) {
  if (z < 0x80) {
    vysledek += static_cast<char>(z);
  } else if (z < 0x800) {
    vysledek += static_cast<char>(0xC0 | (z >> 6));
    vysledek += static_cast<char>(0x80 | (z & 0x3F));
  } else {
    vysledek += static_cast<char>(0xE0 | (z >> 12));
    vysledek += static_cast<char>(0x80 | ((z >> 6) & 0x3F));
    vysledek += static_cast<char>(0x80 | (z & 0x3F));
  }
}

// The character of the UTF-8 sequence at utf8[i] and its length in bytes;
// length 0 for a broken sequence or an over-long form.
struct TZnakUtf8 {
  char32_t Znak = 0;
  size_t Delka = 0;
};

TZnakUtf8 ZnakUtf8(std::string_view utf8, size_t i) {
  const auto b = static_cast<unsigned char>(utf8[i]);
  if (b < 0x80) return {b, 1};
  size_t delka = 0;
  char32_t z = 0;
  if ((b & 0xE0) == 0xC0) {
    delka = 2;
    z = b & 0x1F;
  } else if ((b & 0xF0) == 0xE0) {
    delka = 3;
    z = b & 0x0F;
  } else if ((b & 0xF8) == 0xF0) {
    delka = 4;
    z = b & 0x07;
  }
  if (delka == 0 || i + delka > utf8.size()) return {};
  for (size_t j = 1; j < delka; ++j) {
    const auto c = static_cast<unsigned char>(utf8[i + j]);
    if ((c & 0xC0) != 0x80) return {};
    z = (z << 6) | (c & 0x3F);
  }
  if ((delka == 2 && z < 0x80) || (delka == 3 && z < 0x800) || (delka == 4 && z < 0x10000))
    return {};
  return {z, delka};
}

}  // namespace

std::string Cp1250(std::string_view utf8) {
  std::string vysledek;
  vysledek.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    const TZnakUtf8 z = ZnakUtf8(utf8, i);
    if (z.Delka == 0) {  // a broken sequence: one '?' for its first byte
      vysledek += '?';
      ++i;
      continue;
    }
    vysledek += BajtZnaku(z.Znak);
    i += z.Delka;
  }
  return vysledek;
}

bool JePlatneUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    const TZnakUtf8 z = ZnakUtf8(text, i);
    if (z.Delka == 0 || (z.Znak >= 0xD800 && z.Znak <= 0xDFFF) || z.Znak > 0x10FFFF) return false;
    i += z.Delka;
  }
  return true;
}

std::string Utf8(std::string_view cp1250) {
  std::string vysledek;
  vysledek.reserve(cp1250.size() + cp1250.size() / 4);
  for (char c : cp1250) PridejUtf8(vysledek, ZnakBajtu(static_cast<unsigned char>(c)));
  return vysledek;
}

QString DoQString(std::string_view cp1250) {
  QString vysledek;
  vysledek.resize(static_cast<qsizetype>(cp1250.size()));
  QChar* cil = vysledek.data();
  for (char c : cp1250)
    *cil++ = QChar(static_cast<char16_t>(ZnakBajtu(static_cast<unsigned char>(c))));
  return vysledek;
}

std::string ZQString(const QString& text) {
  std::string vysledek;
  vysledek.reserve(static_cast<size_t>(text.size()));
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar z = text.at(i);
    if (z.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
      vysledek += '?';  // outside the basic plane: not in the code page
      ++i;
      continue;
    }
    vysledek += BajtZnaku(z.unicode());
  }
  return vysledek;
}

unsigned char MalePismeno1250(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 0x20);
  switch (c) {
    case 0x8A:
    case 0x8C:
    case 0x8D:
    case 0x8E:
    case 0x8F:  // Š Ś Ť Ž Ź
      return static_cast<unsigned char>(c + 0x10);
    case 0xA3: return 0xB3;  // Ł
    case 0xA5: return 0xB9;  // Ą
    case 0xAA: return 0xBA;  // Ş
    case 0xAF: return 0xBF;  // Ż
    case 0xBC: return 0xBE;  // Ľ
    default: break;
  }
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
    return static_cast<unsigned char>(c + 0x20);  // Ŕ..Ţ, not ×
  return c;
}
