#pragma once
// The program's icon: the picture of the main window's corner (a blue curve
// over a light grid, red letters ZQ) on a white square tile.  The viewer's
// icon is the same tile and curve under a red magnifier, so the two read as
// one family in a menu and apart at a glance.  One drawing serves the
// window icon, the PNG files of the icon theme and the SVG file
// (packaging/ikony.cpp writes both), so they cannot drift apart.
//
// The drawing is a list of SVG paths on a 64 x 64 canvas, absolute commands
// M, L, H, V, C and Z only; the letters are outlines, so no font is needed
// and the picture is the same on every machine.

#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <charconv>
#include <cstdint>
#include <span>
#include <string_view>
#include <system_error>
#include <vector>

namespace ikona {

inline constexpr int Platno = 64;

// Sizes of the PNG files and of the window icon's pixmaps.
inline constexpr int Velikosti[] = {16, 24, 32, 48, 64, 128, 256};

struct TPrvek {
  const char* Cesta;
  const char* Barva;       // #rrggbb
  const char* Tah;         // stroke width; nullptr: the path is filled
  bool Kulate = false;     // round caps and joins of the stroke
  bool SudaLicha = false;  // even-odd fill (a letter with a hole)
};

inline constexpr const char* Dlazdice =
    "M9 2H55C58.87 2 62 5.13 62 9V55C62 58.87 58.87 62 55 62H9C5.13 62 2 58.87 2 55V9"
    "C2 5.13 5.13 2 9 2Z";

inline constexpr TPrvek Mrizka = {
    "M8 5V59M20 5V59M32 5V59M44 5V59M56 5V59M5 8H59M5 20H59M5 32H59M5 44H59M5 56H59", "#cddceb",
    "1.2"};
inline constexpr TPrvek Krivka = {"M5 40C14 10 24 52 33 31C39 17 49 36 59 12", "#005aaa", "3.5",
                                  true};

inline constexpr TPrvek Prvky[] = {
    {Dlazdice, "#ffffff", nullptr},
    Mrizka,
    {Dlazdice, "#8ca0b4", "1.5"},
    Krivka,
    // Z
    {"M26 39H40V43L31.5 54H40V58H26V54L34.5 43H26Z", "#c81e1e", nullptr},
    // Q: the ring, then its tail
    {"M58.5 48.5C58.5 53.747 54.918 58 50.5 58C46.082 58 42.5 53.747 42.5 48.5"
     "C42.5 43.253 46.082 39 50.5 39C54.918 39 58.5 43.253 58.5 48.5Z"
     "M54.5 48.5C54.5 51.538 52.709 54 50.5 54C48.291 54 46.5 51.538 46.5 48.5"
     "C46.5 45.462 48.291 43 50.5 43C52.709 43 54.5 45.462 54.5 48.5Z",
     "#c81e1e", nullptr, false, true},
    {"M50 51.5L53.5 49.5L60.5 57L57 59Z", "#c81e1e", nullptr},
};

// The lens of the viewer's magnifier: a circle of radius 14 around (38, 38).
inline constexpr const char* Cocka =
    "M52 38C52 45.732 45.732 52 38 52C30.268 52 24 45.732 24 38C24 30.268 30.268 24 38 24"
    "C45.732 24 52 30.268 52 38Z";

inline constexpr TPrvek PrvkyProhlizece[] = {
    {Dlazdice, "#ffffff", nullptr},
    Mrizka,
    {Dlazdice, "#8ca0b4", "1.5"},
    Krivka,
    // The lens hides the curve behind it and shows a piece of it enlarged,
    // drawn within the ring's inner edge.
    {Cocka, "#ffffff", nullptr},
    {"M28 42C31 32 35 32 38 38C41 44 45 44 48 34", "#005aaa", "3", true},
    {Cocka, "#c81e1e", "4"},
    {"M48.5 48.5L58 58", "#c81e1e", "6", true},
};

// The path of an element; the commands are the ones Prvky uses.
inline QPainterPath Cesta(std::string_view d) {
  QPainterPath p;
  size_t i = 0;
  auto cislo = [&]() {
    while (i < d.size() && (d[i] == ' ' || d[i] == ',')) ++i;
    double x = 0;
    const auto [konec, chyba] = std::from_chars(d.data() + i, d.data() + d.size(), x);
    // A number that does not read ends the path rather than loop on it.
    i = chyba == std::errc() ? static_cast<size_t>(konec - d.data()) : d.size();
    return x;
  };
  char prikaz = 0;
  while (i < d.size()) {
    if (d[i] == ' ') {
      ++i;
      continue;
    }
    if ((d[i] >= 'A' && d[i] <= 'Z')) prikaz = d[i++];
    const QPointF bod = p.currentPosition();
    switch (prikaz) {
      case 'M': {
        const double x = cislo();
        p.moveTo(x, cislo());
        break;
      }
      case 'L': {
        const double x = cislo();
        p.lineTo(x, cislo());
        break;
      }
      case 'H': p.lineTo(cislo(), bod.y()); break;
      case 'V': p.lineTo(bod.x(), cislo()); break;
      case 'C': {
        double k[6];
        for (double& h : k) h = cislo();
        p.cubicTo(k[0], k[1], k[2], k[3], k[4], k[5]);
        break;
      }
      case 'Z': p.closeSubpath(); break;
      default: return p;  // not a command of the list: stop rather than loop
    }
  }
  return p;
}

using TKresba = std::span<const TPrvek>;

// The icon at `velikost` x `velikost` pixels, transparent around the tile.
inline QImage Obraz(int velikost, TKresba prvky = Prvky) {
  QImage obraz(velikost, velikost, QImage::Format_ARGB32_Premultiplied);
  obraz.fill(Qt::transparent);
  QPainter g(&obraz);
  g.setRenderHint(QPainter::Antialiasing);
  g.scale(velikost / double(Platno), velikost / double(Platno));
  for (const TPrvek& prvek : prvky) {
    QPainterPath cesta = Cesta(prvek.Cesta);
    const QColor barva(QString::fromLatin1(prvek.Barva));
    if (prvek.Tah) {
      double tloustka = 1;
      const std::string_view t(prvek.Tah);
      std::from_chars(t.data(), t.data() + t.size(), tloustka);
      QPen pero(barva, tloustka);
      pero.setCapStyle(prvek.Kulate ? Qt::RoundCap : Qt::FlatCap);
      pero.setJoinStyle(prvek.Kulate ? Qt::RoundJoin : Qt::MiterJoin);
      g.strokePath(cesta, pero);
    } else {
      cesta.setFillRule(prvek.SudaLicha ? Qt::OddEvenFill : Qt::WindingFill);
      g.fillPath(cesta, barva);
    }
  }
  return obraz;
}

// The same drawing as an SVG document.
inline QByteArray Svg(TKresba prvky = Prvky) {
  QByteArray s =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"64\" height=\"64\" "
      "viewBox=\"0 0 64 64\">\n";
  for (const TPrvek& prvek : prvky) {
    s += "  <path d=\"";
    s += prvek.Cesta;
    s += "\"";
    if (prvek.Tah) {
      s += " fill=\"none\" stroke=\"";
      s += prvek.Barva;
      s += "\" stroke-width=\"";
      s += prvek.Tah;
      s += prvek.Kulate ? "\" stroke-linecap=\"round\" stroke-linejoin=\"round\""
                        : "\" stroke-linecap=\"butt\" stroke-linejoin=\"miter\"";
    } else {
      s += " fill=\"";
      s += prvek.Barva;
      s += "\"";
      if (prvek.SudaLicha) s += " fill-rule=\"evenodd\"";
    }
    s += "/>\n";
  }
  s += "</svg>\n";
  return s;
}

// The window icon (needs a QGuiApplication); the viewer's window takes
// Ikona(PrvkyProhlizece).
inline QIcon Ikona(TKresba prvky = Prvky) {
  QIcon ikona;
  for (int velikost : Velikosti) ikona.addPixmap(QPixmap::fromImage(Obraz(velikost, prvky)));
  return ikona;
}

}  // namespace ikona
