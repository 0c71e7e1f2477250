#include "Potvrzeni.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

#include <algorithm>

#include "Modalni.h"
#include "Vzhled.h"

namespace {
constexpr int PocatecniSirka = 352;
constexpr int Vyska = 137;
constexpr int SirkaPanelu = 163;
}  // namespace

QPixmap IkonaVarovani() {
  QPixmap obraz(48, 48);
  obraz.fill(Qt::transparent);
  QPainter p(&obraz);
  p.setRenderHint(QPainter::Antialiasing);

  QPainterPath trojuhelnik;
  trojuhelnik.moveTo(24.0, 3.0);
  trojuhelnik.lineTo(45.5, 43.0);
  trojuhelnik.lineTo(2.5, 43.0);
  trojuhelnik.closeSubpath();
  p.setPen(QPen(QColor(0x40, 0x30, 0x00), 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(QColor(0xFF, 0xD7, 0x00));
  p.drawPath(trojuhelnik);

  p.setPen(Qt::NoPen);
  p.setBrush(Qt::black);
  QPainterPath drik;  // the stroke of the mark, narrowing downwards
  drik.moveTo(21.0, 15.0);
  drik.lineTo(27.0, 15.0);
  drik.lineTo(25.3, 31.0);
  drik.lineTo(22.7, 31.0);
  drik.closeSubpath();
  p.drawPath(drik);
  p.drawEllipse(QPointF(24.0, 36.5), 2.6, 2.6);
  return obraz;
}

int SirkaPotvrzeni(const QString& prvniRadek) {
  const int w = QFontMetrics(PismoFormulare()).horizontalAdvance(prvniRadek);
  return std::max(w + 110, 210);
}

TFormPotvrzeni::TFormPotvrzeni(QWidget* parent, const char* titulek, const char* radek1,
                               const char* radek2)
    // A small-caption tool window with a sizeable frame.
    : TModalniFormular(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                   Qt::WindowCloseButtonHint) {
  setWindowTitle(QString::fromUtf8(titulek));
  // The window manager draws the frame on X11, so the outer size of the
  // window is taken to be the size of the widget itself.
  resize(PocatecniSirka, Vyska);

  Image1 = new QLabel(this);
  Image1->setGeometry(8, 8, 49, 49);
  Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Image1->setPixmap(IkonaVarovani());
  Label1 = NovyPopisek(QString::fromUtf8(radek1), this, 72, 20);
  Label2 = NovyPopisek(QString::fromUtf8(radek2), this, 72, 36);

  Panel1 = new QWidget(this);
  Panel1->setGeometry((PocatecniSirka - SirkaPanelu) / 2, 64, SirkaPanelu, 33);
  Button1 = new TTlacitko(QStringLiteral("Ano"), Panel1);
  Button1->setGeometry(0, 8, 75, 21);
  Button2 = new TTlacitko(QStringLiteral("Ne"), Panel1);
  Button2->setGeometry(88, 8, 75, 21);
  // The controls keep their form names.
  Image1->setObjectName(QStringLiteral("Image1"));
  Label1->setObjectName(QStringLiteral("Label1"));
  Label2->setObjectName(QStringLiteral("Label2"));
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Button1->setObjectName(QStringLiteral("Button1"));
  Button2->setObjectName(QStringLiteral("Button2"));
  // "Ne" comes first, so Enter or Space at once refuses.
  setTabOrder(Button2, Button1);
  Button2->setFocus();

  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
}

void TFormPotvrzeni::FormShow() {
  Label1->adjustSize();
  const int sirka = SirkaPotvrzeni(Label1->text());
  resize(sirka, height());
  Panel1->move((sirka - SirkaPanelu) / 2, Panel1->y());

  const QScreen* obrazovka = parentWidget() ? parentWidget()->screen() : screen();
  if (!obrazovka) obrazovka = QGuiApplication::primaryScreen();
  if (obrazovka) {
    const QRect plocha = obrazovka->availableGeometry();
    move(plocha.x() + (plocha.width() - sirka) / 2, plocha.y() + (plocha.height() - height()) / 2);
  }
  Button2->setFocus();
}

void TFormPotvrzeni::Button1Click() { done(VysledekAno); }

void TFormPotvrzeni::Button2Click() { done(VysledekNe); }
