#include "OpravduSmazat.h"

TFormOpravduSmazat::TFormOpravduSmazat(QWidget* parent)
    : TFormPotvrzeni(parent, "  Upozornění", "Stávající měřicí úloha bude bez uložení smazána.",
                     "Opravdu ji chcete smazat?") {}
