#pragma once
// Results of the modal dialogs and the one place through which every modal
// dialog of the program is shown, so a test can answer it.

#include <functional>

class QDialog;

inline constexpr int VysledekAno = 6;      // "Ano", "Použít"
inline constexpr int VysledekNe = 7;       // "Ne", "Zrušit"
inline constexpr int VysledekZavreno = 2;  // closed through the frame

// Shows `dialog` modally and returns its result (6, 7 or 2).  Normally this
// is dialog.exec(); a test may install a function that drives the dialog
// instead (it may show it, click its buttons, or just return a result).
int ZobrazModalne(QDialog& dialog);

using TZobrazovac = std::function<int(QDialog&)>;
// Installs `zobrazovac` (an empty function restores exec()).
void NastavZobrazovac(TZobrazovac zobrazovac);
