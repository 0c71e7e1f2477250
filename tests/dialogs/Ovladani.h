#pragma once
// Answers the program's modal dialogs in tests.  While a TOdpovedi lives,
// every dialog shown through ZobrazModalne goes to the next queued answer,
// in the order the dialogs appear (a dialog opened from inside another
// dialog's answer takes the next answer in the queue).

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QStringList>
#include <QTest>

#include <deque>
#include <functional>
#include <typeinfo>

#include "Modalni.h"
#include "task/Dekl.h"

class TOdpovedi {
 public:
  TOdpovedi() {
    NastavZobrazovac([this](QDialog& dialog) { return Odpovez(dialog); });
  }
  ~TOdpovedi() { NastavZobrazovac({}); }
  TOdpovedi(const TOdpovedi&) = delete;
  TOdpovedi& operator=(const TOdpovedi&) = delete;

  // Queues the answer to a dialog, which must be a T: after the answers
  // queued so far, or (`prvni`) before them.
  template <class T>
  void Pridej(std::function<int(T&)> odpoved, bool prvni = false) {
    auto obal = [this, odpoved](QDialog& dialog) {
      T* d = qobject_cast<T*>(&dialog);
      if (!d) {
        chyby_ << QStringLiteral("unexpected dialog %1").arg(dialog.metaObject()->className());
        return -1;
      }
      return odpoved(*d);
    };
    if (prvni)
      fronta_.push_front(std::move(obal));
    else
      fronta_.push_back(std::move(obal));
  }

  int PocetZobrazeni() const { return zobrazeno_; }
  int Zbyva() const { return static_cast<int>(fronta_.size()); }
  QStringList Chyby() const { return chyby_; }

 private:
  int Odpovez(QDialog& dialog) {
    ++zobrazeno_;
    if (fronta_.empty()) {
      chyby_ << QStringLiteral("no answer for %1").arg(dialog.metaObject()->className());
      return -1;
    }
    auto odpoved = std::move(fronta_.front());
    fronta_.pop_front();
    dialog.show();
    const int vysledek = odpoved(dialog);
    if (dialog.isVisible()) {
      chyby_
          << QStringLiteral("%1 still open after its answer").arg(dialog.metaObject()->className());
      dialog.hide();
    }
    return vysledek;
  }

  std::deque<std::function<int(QDialog&)>> fronta_;
  int zobrazeno_ = 0;
  QStringList chyby_;
};

// Clicks a button the way the operator does and returns the dialog's result.
inline int Klikni(QDialog& dialog, QAbstractButton* tlacitko) {
  QTest::mouseClick(tlacitko, Qt::LeftButton);
  return dialog.result();
}

// Replaces the text of an entry field by typing: select all, then type
// (or delete the selection when `text` is empty).
inline void Napis(QLineEdit* pole, const QString& text) {
  pole->setFocus();
  QTest::keyClick(pole, Qt::Key_A, Qt::ControlModifier);
  if (text.isEmpty())
    QTest::keyClick(pole, Qt::Key_Delete);
  else
    for (const QChar znak : text) {
      if (znak.unicode() < 0x80)
        QTest::keyClick(pole, znak.toLatin1());
      else  // a letter of a national keyboard
        QTest::sendKeyEvent(QTest::Click, pole, Qt::Key_unknown, QString(znak), Qt::NoModifier);
    }
}

// Makes the dialog the active window so that keys go where the focus is.
inline bool Aktivuj(QDialog& dialog) {
  dialog.activateWindow();
  return QTest::qWaitForWindowActive(&dialog);
}

// Types Esc where the focus is; true when the dialog stayed open with the
// focus where it was.
inline bool EscNechaOtevreno(QDialog& dialog) {
  QWidget* fokus = QApplication::focusWidget();
  if (!fokus) return false;
  QTest::keyClick(fokus, Qt::Key_Escape);
  return dialog.isVisible() && QApplication::focusWidget() == fokus;
}

inline QString U(const char* utf8) { return QString::fromUtf8(utf8); }

// Every field of two channels alike.
inline bool Stejne(const TKanal& a, const TKanal& b) {
  return a.Nazev == b.Nazev && a.Adresa == b.Adresa && a.Funkce == b.Funkce &&
         a.Periferie == b.Periferie && a.Format == b.Format &&
         a.DesetinnaMista == b.DesetinnaMista && a.KonstK == b.KonstK && a.KonstQ == b.KonstQ &&
         a.HodnotaU32 == b.HodnotaU32 && a.HodnotaF32 == b.HodnotaF32 &&
         a.HodnotaB32 == b.HodnotaB32 && a.Hodnota == b.Hodnota && a.Chyba == b.Chyba;
}
