#pragma once
// The question whether an existing data file may be overwritten.

#include <string>

#include "Potvrzeni.h"

class TFormSouborExistuje : public TFormPotvrzeni {
  Q_OBJECT
 public:
  explicit TFormSouborExistuje(QWidget* parent);

  // The file's path as the task holds it (Windows-1250); set before the
  // dialog is shown.
  std::string Soubor;

  // Puts the whole path into the first line, then sizes the window to it.
  void FormShow() override;
};
