#pragma once
// The look shared by every window of the program.

#include <QFont>

// The forms' font: a sans face of 11 pixels height, narrow enough for the
// Czech texts to fit the controls at their fixed sizes.
QFont PismoFormulare();

// Style sheet of the main window: group boxes with their title on the frame
// line.  Widgets it styles take the application's font, which the program
// sets to PismoFormulare() at start.
QString StylFormulare();
