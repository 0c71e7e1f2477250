#pragma once
// zq-prohlizec: data files of any size from the command line.
//
//   zq-prohlizec [--png OBRAZEK] [--csv VYSTUP] [--kanaly SEZNAM] [--od ČAS]
//                [--do ČAS] [--uloha SOUBOR.zq] SOUBOR…
//
// The files are one file or the files of one task's series, read as one.
// --csv writes the chosen channels' records in the range, --png draws them
// as the trend window's saved picture is drawn (graf/); without either it
// says what the files hold.  Exit status: 0; 1 when the output
// cannot be written; 2 for a bad call or a file that is not a data file of
// ours.

#include <ostream>
#include <string>
#include <vector>

inline constexpr int ProhlizecOk = 0;
inline constexpr int ProhlizecVystup = 1;
inline constexpr int ProhlizecChybneVolani = 2;

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
