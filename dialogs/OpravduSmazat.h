#pragma once
// The question whether the current measuring task may be discarded unsaved.

#include "Potvrzeni.h"

class TFormOpravduSmazat : public TFormPotvrzeni {
  Q_OBJECT
 public:
  explicit TFormOpravduSmazat(QWidget* parent);
};
