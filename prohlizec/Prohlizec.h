#pragma once
// zq-prohlizec: data files of any size from the command line.
//
//   zq-prohlizec [--png OBRAZEK] [--csv VYSTUP] [--souhrn] [--kanaly SEZNAM]
//                [--od ČAS] [--do ČAS] [--rada] [--uloha SOUBOR.zq] [SOUBOR…]
//
// The files are one file or the files of one task's series, read as one
// (--rada: the whole series the file belongs to).  --csv writes the chosen
// channels' records in the range, --png draws them as the trend window's
// saved picture is drawn (graf/), --souhrn says what the files hold.
// Without any of them the program opens its window (OknoProhlizece.h);
// without a display it says what the files hold, as it always did, since
// scripts run from cron may rely on that.  Exit status: 0; 1 when the output
// cannot be written; 2 for a bad call or a file that is not a data file of
// ours.

#include <QList>
#include <QPointF>

#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "Hodiny.h"

inline constexpr int ProhlizecOk = 0;
inline constexpr int ProhlizecVystup = 1;
inline constexpr int ProhlizecChybneVolani = 2;

struct TPrehled;
class TCtenar;

// The command line read.
struct TVolbyProhlizece {
  std::optional<std::string> Csv, Png, Kanaly, Od, Do;
  std::filesystem::path Uloha;
  bool Rada = false;    // the whole series of the file
  bool Souhrn = false;  // what the files hold, as text
  std::vector<std::filesystem::path> Soubory;
};

// Reads the arguments; false when the program ends here with `kod` (the
// help or the version asked for, or a bad call, said to `chyby`).
bool CtiVolby(const std::vector<std::string>& argumenty, TVolbyProhlizece& volby,
              std::ostream& vystup, std::ostream& chyby, int& kod);
// Whether the call asks for the window (no output to the terminal or a file).
bool ChceOkno(const TVolbyProhlizece& volby);
// Whether a display (or a platform chosen by the caller) is there to show it.
bool MaDisplej();

// The records of the channels in [od, do_] as CSV (";", the file's texts,
// CR LF) through `zapis`, which returns false when it cannot write.
bool ZapisCsvCtenare(TCtenar& c, const std::vector<int>& kanaly, int64_t od, int64_t do_,
                     const std::function<bool(const std::string&)>& zapis);
// Channel `j` of an overview as the plot's unbroken pieces: each column's
// extremes in the order the line meets them, at the column's middle (x in
// milliseconds since the epoch).
std::vector<QList<QPointF>> CastiPrehledu(const TPrehled& p, size_t j);

// "RRRR-MM-DDTHH:MM:SS" (--od, --do).
std::optional<TDatumCas> CtiCasVolby(std::string_view t);
// "0,3,8-15" (--kanaly) within `kanalu` channels; empty with `chyba`
// (UTF-8) when it does not read.
std::optional<std::vector<int>> CtiKanaly(std::string_view seznam, int kanalu, std::string& chyba);

// Runs the program with its arguments (without the program's name, the
// system's bytes).  Texts go to `vystup` and `chyby` in UTF-8; a CSV
// written to "-" goes to `vystup` as Windows-1250.
int SpustProhlizec(const std::vector<std::string>& argumenty, std::ostream& vystup,
                   std::ostream& chyby);

// Whether the arguments ask for a picture: the program then needs Qt's
// painting, and without a display the offscreen platform (ZvolPlatformu).
bool ChceObrazek(const std::vector<std::string>& argumenty);

// Without a display (cron has none) Qt is told to draw off the screen; also
// when QT_QPA_PLATFORM is set but empty, which Qt takes for unset.
void ZvolPlatformu();
