#pragma once
// The look shared by every window of the program.

#include <QFont>

// The forms' font: a sans face of 11 pixels height, narrow enough for the
// Czech texts to fit the controls at their fixed sizes.
QFont PismoFormulare();
