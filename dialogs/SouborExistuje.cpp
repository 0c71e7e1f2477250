#include "SouborExistuje.h"

#include <QLabel>

#include "platform/Cp1250.h"

TFormSouborExistuje::TFormSouborExistuje(QWidget* parent)
    : TFormPotvrzeni(parent, "  Uložit jako", "Soubor již existuje.", "Chcete jej přepsat?") {}

void TFormSouborExistuje::FormShow() {
  Label1->setText(QString::fromUtf8("Soubor \"") + DoQString(Soubor) +
                  QString::fromUtf8("\" již existuje."));
  TFormPotvrzeni::FormShow();
}
