#pragma once
// Qt's own texts (the file dialogs, their questions and buttons) in the
// user's language.

class QLocale;

// Loads Qt's translations for `locale` into the application when it is
// Czech (Debian ships them in qt6-translations-l10n).  True when they were
// loaded; every other language keeps Qt's English.
bool NactiPrekladyQt(const QLocale& locale);
