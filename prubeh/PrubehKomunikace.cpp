#include "PrubehKomunikace.h"

#include <QBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QSplitter>
#include <QTableWidget>

#include <algorithm>
#include <map>

#include "Cisla.h"
#include "Cp1250.h"
#include "MereniModel.h"
#include "Mistni.h"

namespace {

QString T(const char* utf8) { return QString::fromUtf8(utf8); }

QString Ms(double ms) { return DoQString(FixniText(ms, 1, Mistni().DesetinnyOddelovac)); }

void Bunka(QTableWidget* t, int r, int s, const QString& text, bool cislo = false) {
  QTableWidgetItem* i = t->item(r, s);
  if (!i) {
    i = new QTableWidgetItem(text);
    i->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    if (cislo) i->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    t->setItem(r, s, i);
  } else if (i->text() != text) {
    i->setText(text);
  }
}

// Reads, failures, response times and the last failure from column `od` on.
void BunkyStatistiky(QTableWidget* t, int r, int od, const TStatistikaKanalu& s) {
  Bunka(t, r, od, QString::number(s.Cteni), true);
  Bunka(t, r, od + 1, QString::number(s.Chyby), true);
  Bunka(t, r, od + 2, QString::fromStdString(s.TextPodleKodu()));
  Bunka(t, r, od + 3, s.Cteni ? Ms(s.PrumerOdezvyMs()) : QString(), true);
  Bunka(t, r, od + 4, s.Cteni ? Ms(s.MaxOdezvyMs) : QString(), true);
  Bunka(t, r, od + 5, DoQString(s.PosledniCas));
  Bunka(t, r, od + 6, DoQString(s.PosledniText));
}

QTableWidget* Tabulka(QWidget* rodic, const QStringList& hlavicky) {
  auto* t = new QTableWidget(0, static_cast<int>(hlavicky.size()), rodic);
  t->setHorizontalHeaderLabels(hlavicky);
  t->verticalHeader()->hide();
  t->verticalHeader()->setDefaultSectionSize(t->fontMetrics().height() + 6);
  t->setEditTriggers(QAbstractItemView::NoEditTriggers);
  t->setSelectionBehavior(QAbstractItemView::SelectRows);
  t->setSelectionMode(QAbstractItemView::SingleSelection);
  t->setWordWrap(false);
  t->horizontalHeader()->setStretchLastSection(true);
  t->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  return t;
}

}  // namespace

TKartaKomunikace::TKartaKomunikace(QWidget* rodic) : QWidget(rodic) {
  auto* k = new QVBoxLayout(this);
  k->setContentsMargins(6, 6, 6, 6);
  Prubehy = new QLabel(this);
  Prubehy->setWordWrap(true);
  k->addWidget(Prubehy);
  auto* tabulky = new QSplitter(Qt::Vertical, this);
  const QStringList statistika = {T("Čtení"),
                                  T("Chybných"),
                                  T("Chyby podle kódu"),
                                  T("Odezva průměr [ms]"),
                                  T("Odezva nejvýše [ms]"),
                                  T("Poslední chyba v"),
                                  T("Poslední chyba")};
  auto* moduly = new QWidget(tabulky);
  auto* m = new QVBoxLayout(moduly);
  m->setContentsMargins(0, 0, 0, 0);
  m->addWidget(new QLabel(T("Podle modulů"), moduly));
  TabulkaModulu = Tabulka(moduly, QStringList{T("Modul")} + statistika);
  m->addWidget(TabulkaModulu);
  auto* kanaly = new QWidget(tabulky);
  auto* c = new QVBoxLayout(kanaly);
  c->setContentsMargins(0, 0, 0, 0);
  c->addWidget(new QLabel(T("Podle kanálů"), kanaly));
  TabulkaKanalu = Tabulka(kanaly, QStringList{T("Kanál"), T("Název"), T("Modul")} + statistika);
  c->addWidget(TabulkaKanalu);
  tabulky->setSizes({140, 300});
  k->addWidget(tabulky, 1);
}

void TKartaKomunikace::Obnov(const THistorie* historie, const TModelMereni& seznam) {
  if (historie == nullptr) {
    Prubehy->setText(T("Tato úloha nebyla od spuštění programu měřena."));
    TabulkaModulu->setRowCount(0);
    TabulkaKanalu->setRowCount(0);
    return;
  }
  const THistorie& h = *historie;
  const TPrubehy p = h.Prubehy();
  if (p.Pocet == 0)
    Prubehy->setText(T("Průchod všemi kanály: zatím žádný celý; perioda měření ") +
                     QString::number(p.PeriodaSek) + T(" s"));
  else
    Prubehy->setText(T("Průchod všemi kanály: naposledy ") + Ms(p.PosledniMs) + T(" ms, průměr ") +
                     Ms(p.PrumerMs()) + T(" ms, nejdelší ") + Ms(p.MaxMs) + T(" ms (průchodů ") +
                     QString::number(p.Pocet) + T("); perioda měření ") +
                     QString::number(p.PeriodaSek) + T(" s"));

  const std::map<uint8_t, TStatistikaKanalu> moduly = h.PodleModulu();
  const bool noveModuly = TabulkaModulu->rowCount() != static_cast<int>(moduly.size());
  TabulkaModulu->setRowCount(static_cast<int>(moduly.size()));
  int r = 0;
  for (const auto& [adresa, s] : moduly) {
    Bunka(TabulkaModulu, r, 0, QString::number(adresa), true);
    BunkyStatistiky(TabulkaModulu, r, 1, s);
    ++r;
  }
  const int kanalu = std::min(seznam.rowCount(), h.PocetKanalu());
  const bool noveKanaly = TabulkaKanalu->rowCount() != kanalu;
  TabulkaKanalu->setRowCount(kanalu);
  for (int k = 0; k < kanalu; ++k) {
    const TStatistikaKanalu s = h.Statistika(static_cast<size_t>(k));
    Bunka(TabulkaKanalu, k, 0, QStringLiteral("Ch") + QString::number(k));
    Bunka(TabulkaKanalu, k, 1, seznam.data(seznam.index(k, 1), Qt::DisplayRole).toString());
    Bunka(TabulkaKanalu, k, 2, QString::number(s.Adresa), true);
    BunkyStatistiky(TabulkaKanalu, k, 3, s);
  }
  // Fitted once the rows are there; the last column (the error's text) takes
  // the rest of the width.
  auto prizpusob = [](QTableWidget* t) {
    for (int s = 0; s + 1 < t->columnCount(); ++s) t->resizeColumnToContents(s);
  };
  if (noveModuly) prizpusob(TabulkaModulu);
  if (noveKanaly) prizpusob(TabulkaKanalu);
}

QString VarovaniPrubehu(const THistorie& h) {
  const TPrubehy p = h.Prubehy();
  if (!p.PomalejsiNezPerioda()) return {};
  return T("Průchod všemi kanály trvá déle než perioda měření (naposledy ") + Ms(p.PosledniMs) +
         T(" ms, perioda ") + QString::number(p.PeriodaSek) +
         T(" s): vzorky opakují hodnoty z dřívějšího průchodu, jako by byly nové. "
           "Pomůže vyšší rychlost linky, méně kanálů nebo delší perioda.");
}
