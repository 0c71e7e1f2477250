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
#include "Hodiny.h"
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

namespace {

uint64_t Cteni(const std::map<uint8_t, TStatistikaKanalu>& moduly) {
  uint64_t n = 0;
  for (const auto& [adresa, s] : moduly) n += s.Cteni;
  return n;
}

QString SeznamModulu(const std::vector<uint8_t>& adresy) {
  // A bus full of silent modules is named by its first few.
  constexpr size_t Nejvyse = 8;
  QStringList s;
  for (size_t i = 0; i < adresy.size() && i < Nejvyse; ++i) s << QString::number(adresy[i]);
  return s.join(T(", ")) + (adresy.size() > Nejvyse ? T(" a další") : QString());
}

}  // namespace

TPricinaPomalosti PricinaPomalosti(const std::map<uint8_t, TStatistikaKanalu>& ted,
                                   const std::map<uint8_t, TStatistikaKanalu>& drive) {
  TPricinaPomalosti p;
  uint64_t vyprselo = 0, prevodnik = 0, cteniCelkem = 0, chybCelkem = 0;
  size_t ctenych = 0;
  const TStatistikaKanalu nic;
  for (const auto& [adresa, s] : ted) {
    const auto d = drive.find(adresa);
    const TStatistikaKanalu& pred = d == drive.end() ? nic : d->second;
    // Since the look before.
    auto od = [](uint64_t a, uint64_t b) { return a - std::min(a, b); };
    const uint64_t cteni = od(s.Cteni, pred.Cteni);
    if (cteni == 0) continue;
    ++ctenych;
    const uint64_t chyb = od(s.Chyby, pred.Chyby);
    const uint64_t v = std::min(chyb, od(s.Vyprselo, pred.Vyprselo));
    cteniCelkem += cteni;
    chybCelkem += chyb;
    if (2 * v < cteni) {
      if (chyb > 0) p.Selhavaji.push_back(adresa);
      continue;
    }
    p.Neodpovidaji.push_back(adresa);
    vyprselo += v;
    prevodnik += std::min(v, od(s.VyprseloPrevodniku, pred.VyprseloPrevodniku));
  }
  p.Vsechny = ctenych > 0 && p.Neodpovidaji.size() == ctenych;
  p.Prevodnik = vyprselo > 0 && 2 * prevodnik >= vyprselo;
  p.NejakeSelhalo = chybCelkem > 0;
  p.VsechnoSelhalo = cteniCelkem > 0 && chybCelkem == cteniCelkem;
  return p;
}

QString VarovaniPrubehu(const TPrubehy& p, const TPricinaPomalosti& pricina,
                        int32_t chybovaHodnota) {
  if (!p.PomalejsiNezPerioda()) return {};
  QString uvod = T("Průchod všemi kanály trvá déle než perioda měření (naposledy ") +
                 Ms(p.PosledniMs) + T(" ms, perioda ") + QString::number(p.PeriodaSek) + T(" s)");
  // What the data file holds meanwhile.
  if (!pricina.NejakeSelhalo)
    uvod += T(": vzorky opakují hodnoty z dřívějšího průchodu, jako by byly nové. ");
  else if (pricina.VsechnoSelhalo)
    uvod += chybovaHodnota == 0
                ? T(": všechna čtení selhávají a datový soubor dostává místo hodnot nuly. ")
                : T(": všechna čtení selhávají a datový soubor opakuje naposledy přečtené "
                    "hodnoty, jako by byly nové. ");
  else
    uvod += chybovaHodnota == 0
                ? T(": kanály, jejichž čtení selhalo, mají v datovém souboru nulu, ostatní "
                    "opakují hodnoty z dřívějšího průchodu, jako by byly nové. ")
                : T(": vzorky opakují hodnoty z dřívějšího průchodu (kanály, jejichž čtení "
                    "selhalo, naposledy přečtenou), jako by byly nové. ");
  const std::vector<uint8_t>& m = pricina.Neodpovidaji;
  if (pricina.Prevodnik)
    return uvod +
           (pricina.Vsechny ? T("Převodník neodpovídá")
                            : T("Převodník neodpovídá na čtení modulů ") + SeznamModulu(m)) +
           T(" a každé čtení čeká celý jeho časový limit. Zkontrolujte napájení převodníku, "
             "síťový kabel k němu, IP adresu a UDP port.");
  if (pricina.Vsechny)
    return uvod +
           T("Žádný modul neodpovídá a každé čtení čeká celý časový limit. Zkontrolujte "
             "rozhraní a číslo portu, převodník a jeho napájení, kabel a vedení RS-485, napájení "
             "modulů a rychlost linky.");
  if (m.size() == 1)
    return uvod + T("Modul ") + SeznamModulu(m) +
           T(" neodpovídá a každé jeho čtení čeká celý časový limit. Zkontrolujte adresu modulu "
             "v definici kanálů, jeho napájení a připojení k vedení RS-485; kanály modulu, který "
             "připojen není, odeberte.");
  if (!m.empty())
    return uvod + T("Moduly ") + SeznamModulu(m) +
           T(" neodpovídají a každé jejich čtení čeká celý časový limit. Zkontrolujte adresy "
             "modulů v definici kanálů, jejich napájení a připojení k vedení RS-485; kanály "
             "modulů, které připojeny nejsou, odeberte.");
  if (pricina.NejakeSelhalo)
    return uvod + (pricina.Selhavaji.size() == 1 ? T("Čtení modulu ") : T("Čtení modulů ")) +
           SeznamModulu(pricina.Selhavaji) +
           T(" občas selhávají (bez odpovědi nebo s chybnou odpovědí). Zkontrolujte vedení "
             "RS-485, jeho zakončení a rušení, napájení modulů a rychlost linky; rychlejší linka "
             "pomůže, až čtení selhávat přestanou.");
  return uvod + T("Pomůže vyšší rychlost linky, méně kanálů nebo delší perioda.");
}

const std::map<uint8_t, TStatistikaKanalu>& TDrivejsiModuly::Pred(
    const std::map<uint8_t, TStatistikaKanalu>& ted, uint64_t tikMs, uint64_t odstupMs) {
  if (!zacato_) {
    zacato_ = true;
    posledni_ = ted;
    tikPosledni_ = tikMs;
  } else if (tikMs - tikPosledni_ >= odstupMs && Cteni(ted) != Cteni(posledni_)) {
    drive_ = std::move(posledni_);
    posledni_ = ted;
    tikPosledni_ = tikMs;
  }
  return drive_;
}

void TDrivejsiModuly::Zapomen() { *this = TDrivejsiModuly(); }

QString VarovaniPrubehu(const THistorie& h, TDrivejsiModuly& drivejsi) {
  const TPrubehy p = h.Prubehy();
  if (!p.PomalejsiNezPerioda()) return {};
  const std::map<uint8_t, TStatistikaKanalu> moduly = h.PodleModulu();
  const auto odstup = static_cast<uint64_t>(std::max(10000.0, 2 * p.PosledniMs));
  return VarovaniPrubehu(p, PricinaPomalosti(moduly, drivejsi.Pred(moduly, TikMs(), odstup)),
                         h.Podminky().ChybovaHodnota);
}
