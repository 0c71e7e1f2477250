#include "Ctenar.h"

#include <algorithm>
#include <set>
#include <system_error>

#include "Cisla.h"
#include "Cp1250.h"
#include "Dekl.h"
#include "Mezipamet.h"
#include "Rada.h"
#include "Slozka.h"

namespace fs = std::filesystem;

namespace {

std::string Cislo(uint64_t n) { return CeleNaText(static_cast<int64_t>(n)); }

std::string Jmeno(const fs::path& p) { return Cp1250("„") + CestaCp1250(p) + Cp1250("“"); }

// The data file name a task names, without its folder (a task may name one
// by a Windows path).
std::string BezSlozky(const std::string& jmeno) {
  const size_t lomitko = jmeno.find_last_of("/\\");
  return lomitko == std::string::npos ? jmeno : jmeno.substr(lomitko + 1);
}

TUlohaSouboru ZUlohy(const fs::path& cesta, const TCFG& u, const TPoleKanal& k) {
  TUlohaSouboru v;
  v.Jmeno = CestaCp1250(cesta.filename());
  v.Volby = u.Volby;
  v.PocetKanalu = std::clamp(u.PocetKanalu, 1, MaxKanalu);
  v.JmenoSouboru = u.JmenoSouboru;
  for (int i = 0; i < v.PocetKanalu; ++i) {
    v.NazvyKanalu.push_back(k[static_cast<size_t>(i)].Nazev);
    v.DesetinnaMista.push_back(k[static_cast<size_t>(i)].DesetinnaMista);
  }
  return v;
}

}  // namespace

std::optional<TUlohaSouboru> UlohaSouboru(const fs::path& soubor, const fs::path& uloha,
                                          std::string& chyba) {
  TCFG u;
  TPoleKanal k;
  if (!uloha.empty()) {
    InitCFG(u);
    InitKanaly(k);
    std::error_code ec;
    if (!fs::is_regular_file(uloha, ec) || !PrectiCelouUlohu(uloha, u, k).Uloha) {
      chyba = Cp1250("soubor úlohy ") + Jmeno(uloha) +
              (fs::exists(uloha, ec) ? Cp1250(" neobsahuje měřicí úlohu") : Cp1250(" neexistuje"));
      return std::nullopt;
    }
    return ZUlohy(uloha, u, k);
  }
  const std::string jmeno = CestaCp1250(soubor.filename());
  const std::string zaklad = CestaCp1250(fs::path(ZakladRady(soubor.filename().string())));
  const fs::path slozka = soubor.parent_path().empty() ? fs::path(".") : soubor.parent_path();
  std::vector<fs::path> ulohy;
  std::error_code ec;
  for (fs::directory_iterator d(slozka, ec), konec; !ec && d != konec; d.increment(ec)) {
    if (d->path().extension() != ".zq" || !d->is_regular_file(ec)) continue;
    InitCFG(u);
    if (PrectiUlohuZ(d->path(), u) &&
        (BezSlozky(u.JmenoSouboru) == jmeno || BezSlozky(u.JmenoSouboru) == zaklad))
      ulohy.push_back(d->path());
  }
  std::sort(ulohy.begin(), ulohy.end());
  if (ulohy.size() != 1) {
    std::string seznam;
    for (const fs::path& p : ulohy)
      seznam += (seznam.empty() ? "" : ", ") + CestaCp1250(p.filename());
    chyba = ulohy.empty()
                ? Cp1250("ve složce ") + Jmeno(slozka) +
                      Cp1250(
                          " není úloha (*.zq), jejíž „Jméno souboru“ jej jmenuje; úlohu je "
                          "třeba zadat")
                : Cp1250("jmenuje jej více úloh (") + seznam +
                      Cp1250("), nelze rozhodnout, kterou číst; úlohu je třeba zadat");
    return std::nullopt;
  }
  InitCFG(u);
  InitKanaly(k);
  PrectiCelouUlohu(ulohy.front(), u, k);
  return ZUlohy(ulohy.front(), u, k);
}

std::unique_ptr<TSouborDat> TCtenar::OtevriSoubor(const fs::path& p, std::string& chyba) {
  TRozpoznani r;
  std::unique_ptr<TSouborDat> s = TSouborDat::Otevri(p, uloha_ ? &*uloha_ : nullptr, r);
  if (!s && r.Stav == TRozpoznani::BezZahlavi) {
    std::string proc;
    uloha_ = UlohaSouboru(p, nastaveni_.Uloha, proc);
    if (!uloha_) {
      chyba = Jmeno(p) + ": " + r.Duvod + "; " + proc;
      return nullptr;
    }
    s = TSouborDat::Otevri(p, &*uloha_, r);
  }
  if (!s) {
    chyba = Jmeno(p) + ": " + r.Duvod;
    return nullptr;
  }
  for (const std::string& n : r.Poznamky) poznamkyOtevreni_.push_back(Jmeno(p) + ": " + n);
  if (!nastaveni_.SlozkaMezipameti.empty())
    if (std::optional<TIndex> ix = NactiIndex(nastaveni_.SlozkaMezipameti, s->Klic()))
      s->PrevezmiIndex(std::move(*ix));
  return s;
}

std::unique_ptr<TCtenar> TCtenar::Otevri(const std::vector<fs::path>& soubory,
                                         const TNastaveniCteni& nastaveni, std::string& chyba) {
  std::unique_ptr<TCtenar> c(new TCtenar());
  c->nastaveni_ = nastaveni;
  std::vector<fs::path> cesty = soubory;
  std::error_code ec;
  if (cesty.size() == 1 && (nastaveni.CelaRada || !fs::exists(cesty[0], ec))) {
    std::vector<fs::path> rada = NajdiRadu(cesty[0]);
    if (!rada.empty()) {
      c->rada_ = cesty[0];
      cesty = std::move(rada);
    }
  }
  if (cesty.empty()) {
    chyba = Cp1250("není zadán žádný soubor");
    return nullptr;
  }
  // Members of one series go in their periods' order.
  const std::string zaklad = ZakladRady(cesty[0].filename().string());
  if (std::all_of(cesty.begin(), cesty.end(), [&](const fs::path& p) {
        return PoradiVRade(p.filename().string(), zaklad).has_value();
      }))
    std::stable_sort(cesty.begin(), cesty.end(), [&](const fs::path& a, const fs::path& b) {
      return *PoradiVRade(a.filename().string(), zaklad) <
             *PoradiVRade(b.filename().string(), zaklad);
    });
  for (const fs::path& p : cesty) {
    if (!fs::exists(p, ec)) {
      chyba = Jmeno(p) + Cp1250(": soubor neexistuje");
      return nullptr;
    }
    std::unique_ptr<TSouborDat> s = c->OtevriSoubor(p, chyba);
    if (!s) return nullptr;
    if (!c->soubory_.empty() && !s->Rozlozeni().StejneSloupce(c->Rozlozeni())) {
      chyba = Jmeno(p) + Cp1250(" má jiné sloupce než ") + Jmeno(c->soubory_[0]->Cesta()) +
              Cp1250(": soubory nejsou z jedné úlohy");
      return nullptr;
    }
    c->soubory_.push_back(std::move(s));
  }
  return c;
}

TCtenar::~TCtenar() = default;

const TRozlozeni& TCtenar::Rozlozeni() const { return soubory_.front()->Rozlozeni(); }

int64_t TCtenar::PosunSouboru(size_t i) const {
  if (MaCas()) return 0;
  int64_t posun = 0;
  for (size_t j = 0; j < i; ++j) posun += static_cast<int64_t>(soubory_[j]->Index().Radku);
  return posun;
}

int64_t TCtenar::Predchozi(size_t i) const {
  for (size_t j = i; j-- > 0;)
    if (!soubory_[j]->Index().Bloky.empty())
      return soubory_[j]->Index().Bloky.back().PolohaPosledni + PosunSouboru(j);
  return ZadnyCas;
}

bool TCtenar::Indexovano() const {
  return std::all_of(soubory_.begin(), soubory_.end(),
                     [](const auto& s) { return s->Indexovano(); });
}

TCtenar::TStav TCtenar::Indexuj(const std::vector<int>& kanaly, const TPrubeh& prubeh) {
  uint64_t celkem = 0, hotovo = 0;
  for (const auto& s : soubory_)
    celkem += s->KonecDat() - std::min(s->KonecDat(), s->Index().Konec);
  for (size_t i = 0; i < soubory_.size(); ++i) {
    TSouborDat& s = *soubory_[i];
    if (s.Indexovano()) continue;
    const uint64_t zbyva = s.KonecDat() - std::min(s.KonecDat(), s.Index().Konec);
    TPrubeh p;
    if (prubeh) p = [&](uint64_t h, uint64_t) { return prubeh(hotovo + h, celkem); };
    // A file without time continues its predecessor's numbering.
    const int64_t predchozi = MaCas() ? Predchozi(i) : ZadnyCas;
    switch (s.Indexuj(kanaly, nullptr, p, predchozi)) {
      case TSouborDat::Hotovo: break;
      case TSouborDat::Zruseno: return TStav::Zruseno;
      case TSouborDat::Selhalo: chyba_ = Jmeno(s.Cesta()) + ": " + s.Chyba(); return TStav::Chyba;
    }
    hotovo += zbyva;
  }
  return TStav::Hotovo;
}

uint64_t TCtenar::PocetZaznamu() const {
  uint64_t n = 0;
  for (const auto& s : soubory_) n += s->Index().Radku;
  return n;
}

std::optional<std::pair<int64_t, int64_t>> TCtenar::Rozsah() const {
  std::optional<std::pair<int64_t, int64_t>> r;
  for (size_t i = 0; i < soubory_.size(); ++i) {
    const int64_t posun = PosunSouboru(i);
    for (const TBlok& b : soubory_[i]->Index().Bloky) {
      if (!r) r = std::pair(b.PolohaMin + posun, b.PolohaMax + posun);
      r->first = std::min(r->first, b.PolohaMin + posun);
      r->second = std::max(r->second, b.PolohaMax + posun);
    }
  }
  return r;
}

int64_t TCtenar::Okamzik(const TDatumCas& t, bool konec) {
  TMistniCas m;
  int64_t prvni = 0, posledni = 0;
  m.Okamziky(t, prvni, posledni);
  return konec ? posledni : prvni;
}

// ---- the plot -----------------------------------------------------------------------

namespace {

// The columns of a plot filled record by record or block by block, and
// whether each channel's line goes on into the next value.
class TSberPrehledu {
 public:
  TSberPrehledu(TPrehled& p, size_t kanalu) : p_(p), mezera_(kanalu, true), zacato_(kanalu, false) {
    rozpeti_ = p.Do - p.Od + 1;
  }
  int Sloupec(int64_t t) const { return static_cast<int>((t - p_.Od) * p_.Sloupcu / rozpeti_); }
  bool VRozsahu(int64_t t) const { return t >= p_.Od && t <= p_.Do; }
  // A step of time from the last record seen: a gap when longer than `mez`
  // or backwards.
  bool Krok(int64_t t, int64_t mez) {
    const bool mezera = predchozi_ != ZadnyCas && (t - predchozi_ > mez || t < predchozi_);
    predchozi_ = t;
    return mezera;
  }
  void Prerus() { std::fill(mezera_.begin(), mezera_.end(), true); }
  void Hodnota(size_t k, int sloupec, float min, float max, float prvni, float posledni) {
    TBodPrehledu& b = p_.Kanaly[k][static_cast<size_t>(sloupec)];
    if (b.Prazdny()) {
      b.Min = min;
      b.Max = max;
      b.Prvni = prvni;
      b.SpojitZleva = zacato_[k] && !mezera_[k];
    } else {
      b.Min = std::min(b.Min, min);
      b.Max = std::max(b.Max, max);
    }
    b.Posledni = posledni;
    mezera_[k] = false;
    zacato_[k] = true;
  }
  void Mezera(size_t k) { mezera_[k] = true; }
  void Radek(int64_t t, int64_t mez, const double* hodnoty) {
    const bool krok = Krok(t, mez);
    if (!VRozsahu(t)) {
      Prerus();
      return;
    }
    const int s = Sloupec(t);
    for (size_t k = 0; k < mezera_.size(); ++k) {
      if (krok) mezera_[k] = true;
      if (std::isnan(hodnoty[k])) {
        mezera_[k] = true;
        continue;
      }
      const auto v = static_cast<float>(hodnoty[k]);
      Hodnota(k, s, v, v, v, v);
    }
  }
  void Predchozi(int64_t t) { predchozi_ = t; }

 private:
  TPrehled& p_;
  int64_t rozpeti_ = 1;
  int64_t predchozi_ = ZadnyCas;
  std::vector<bool> mezera_, zacato_;
};

}  // namespace

TPrehled TCtenar::Prehled(const std::vector<int>& kanaly, int64_t od, int64_t do_, int sloupcu,
                          const TPrubeh& prubeh) {
  TPrehled p;
  p.Od = od;
  p.Do = std::max(do_, od);
  p.Sloupcu = std::max(sloupcu, 1);
  p.Kanaly.assign(kanaly.size(), std::vector<TBodPrehledu>(static_cast<size_t>(p.Sloupcu)));
  if (!Indexovano() && Indexuj(kanaly, prubeh) != TStav::Hotovo) p.Uplny = false;
  TSberPrehledu sber(p, kanaly.size());
  int64_t mezPredchozi = 0;
  for (size_t i = 0; i < soubory_.size(); ++i) {
    TSouborDat& s = *soubory_[i];
    const TIndex& ix = s.Index();
    const int64_t posun = PosunSouboru(i);
    const int64_t mez = 2 * ix.Perioda;
    // Across files the longer of the two steps.
    int64_t mezRadku = std::max(mez, mezPredchozi);
    mezPredchozi = mez;
    TPrijemRadku radek = [&](const TRadekCteni& r) {
      sber.Radek(r.Poloha + posun, mezRadku, r.Hodnoty);
      mezRadku = mez;
      return true;
    };
    // A block in one column whose every channel is summed up needs no reading.
    auto zeSouhrnu = [&](size_t b) {
      const TBlok& k = ix.Bloky[b];
      if (k.PolohaMin + posun < p.Od || k.PolohaMax + posun > p.Do ||
          sber.Sloupec(k.PolohaMin + posun) != sber.Sloupec(k.PolohaMax + posun))
        return false;
      for (int kanal : kanaly)
        if (!s.Souhrn(kanal, b)) return false;
      return true;
    };
    size_t b = 0;
    while (b < ix.Bloky.size()) {
      const TBlok& k = ix.Bloky[b];
      if (k.PolohaMax + posun < p.Od || k.PolohaMin + posun > p.Do) {
        sber.Prerus();
        sber.Predchozi(k.PolohaPosledni + posun);
        mezRadku = mez;
        ++b;
        continue;
      }
      if (zeSouhrnu(b)) {
        const int sloupec = sber.Sloupec(k.PolohaMin + posun);
        const bool krok = sber.Krok(k.PolohaPrvni + posun, mezRadku);
        mezRadku = mez;
        for (size_t j = 0; j < kanaly.size(); ++j) {
          const TSouhrn& h = *s.Souhrn(kanaly[j], b);
          if (h.IPrvni == TBlok::Zadny) {
            sber.Mezera(j);
            continue;
          }
          if (krok || h.IPrvni > 0 || (k.PrvniMezera != TBlok::Zadny && k.PrvniMezera <= h.IPrvni))
            sber.Mezera(j);
          sber.Hodnota(j, sloupec, h.Min, h.Max, h.Prvni, h.Posledni);
          if (h.IPosledni + 1 < k.Radku ||
              (k.PosledniMezera != TBlok::Zadny && k.PosledniMezera > h.IPosledni))
            sber.Mezera(j);
        }
        sber.Predchozi(k.PolohaPosledni + posun);
        ++b;
        continue;
      }
      // A run of blocks to read, in one walk.
      size_t e = b + 1;
      while (e < ix.Bloky.size() && !zeSouhrnu(e) && ix.Bloky[e].PolohaMax + posun >= p.Od &&
             ix.Bloky[e].PolohaMin + posun <= p.Do)
        ++e;
      if (!s.CtiBloky(b, e, kanaly, MaCas() ? Predchozi(i) : ZadnyCas, radek)) {
        p.Uplny = false;
        chyba_ = Jmeno(s.Cesta()) + ": " + s.Chyba();
      }
      b = e;
    }
  }
  return p;
}

bool TCtenar::Vypis(const std::vector<int>& kanaly, int64_t od, int64_t do_,
                    const std::function<bool(const TZaznam&)>& zaznam, const TPrubeh& prubeh) {
  if (!Indexovano() && Indexuj({}, prubeh) == TStav::Chyba) return false;
  const TRozlozeni& r = Rozlozeni();
  TZaznam z;
  z.Texty.resize(kanaly.size());
  z.Hodnoty.resize(kanaly.size());
  z.Selhalo.resize(kanaly.size());
  bool dal = true;
  uint64_t zacatekSouboru = 0;
  for (size_t i = 0; i < soubory_.size() && dal; ++i) {
    TSouborDat& s = *soubory_[i];
    const TIndex& ix = s.Index();
    const int64_t posun = PosunSouboru(i);
    TPrijemRadku radek = [&](const TRadekCteni& c) {
      const int64_t t = c.Poloha + posun;
      if (t < od || t > do_) return true;
      z.Radek = zacatekSouboru + c.Radek;
      z.Poloha = t;
      z.Index = r.SloupecIndexu() >= 0 ? c.Pole->Pole(r.SloupecIndexu()) : std::string_view();
      z.Datum = r.SloupecDatumu() >= 0 ? c.Pole->Pole(r.SloupecDatumu()) : std::string_view();
      z.Cas = r.SloupecCasu() >= 0 ? c.Pole->Pole(r.SloupecCasu()) : std::string_view();
      for (size_t k = 0; k < kanaly.size(); ++k) {
        z.Texty[k] = c.Pole->Pole(r.SloupecKanalu(kanaly[k]));
        z.Hodnoty[k] = c.Hodnoty[k];
        z.Selhalo[k] = c.Selhalo[k];
      }
      dal = zaznam(z);
      return dal;
    };
    for (size_t b = 0; b < ix.Bloky.size() && dal;) {
      auto vRozsahu = [&](size_t j) {
        return ix.Bloky[j].PolohaMax + posun >= od && ix.Bloky[j].PolohaMin + posun <= do_;
      };
      if (!vRozsahu(b)) {
        ++b;
        continue;
      }
      size_t e = b + 1;
      while (e < ix.Bloky.size() && vRozsahu(e)) ++e;
      if (!s.CtiBloky(b, e, kanaly, MaCas() ? Predchozi(i) : ZadnyCas, radek) && dal) {
        chyba_ = Jmeno(s.Cesta()) + ": " + s.Chyba();
        return false;
      }
      b = e;
    }
    zacatekSouboru += ix.Radku;
  }
  return true;
}

// ---- following files ---------------------------------------------------------------------

TCtenar::TZmena TCtenar::Obnov() {
  TZmena z;
  for (size_t i = 0; i < soubory_.size(); ++i) {
    switch (soubory_[i]->Obnov()) {
      case TSouborDat::Beze: break;
      case TSouborDat::Pridano: z.Pridano = true; break;
      case TSouborDat::Zmizel:
        z.Chyba =
            Jmeno(soubory_[i]->Cesta()) + Cp1250(": soubor zmizel; zůstává, co bylo přečteno");
        break;
      case TSouborDat::Znovu: {
        z.Znovu = true;
        std::string chyba;
        std::unique_ptr<TSouborDat> novy = OtevriSoubor(soubory_[i]->Cesta(), chyba);
        if (novy && novy->Rozlozeni().StejneSloupce(Rozlozeni()))
          soubory_[i] = std::move(novy);
        else
          z.Chyba = novy ? Jmeno(soubory_[i]->Cesta()) + Cp1250(" má teď jiné sloupce") : chyba;
        break;
      }
    }
  }
  if (!rada_.empty()) {
    std::set<fs::path> zname;
    for (const auto& s : soubory_) zname.insert(s->Cesta());
    const std::string zaklad = ZakladRady(rada_.filename().string());
    for (const fs::path& p : NajdiRadu(rada_)) {
      if (zname.count(p)) continue;
      std::string chyba;
      std::unique_ptr<TSouborDat> novy = OtevriSoubor(p, chyba);
      // A file just made may hold no complete line yet: later.
      if (!novy) continue;
      if (!novy->Rozlozeni().StejneSloupce(Rozlozeni())) continue;
      const auto poradi = PoradiVRade(p.filename().string(), zaklad);
      auto kam = std::find_if(soubory_.begin(), soubory_.end(), [&](const auto& s) {
        const auto jeho = PoradiVRade(s->Cesta().filename().string(), zaklad);
        return poradi && jeho && *poradi < *jeho;
      });
      if (kam == soubory_.end())
        z.Pridano = true;
      else
        z.Znovu = true;
      soubory_.insert(kam, std::move(novy));
    }
  }
  return z;
}

std::vector<std::string> TCtenar::Poznamky() const {
  std::vector<std::string> v = poznamkyOtevreni_;
  for (const auto& s : soubory_) {
    const TPocty& p = s->Index().Pocty;
    const std::string j = Jmeno(s->Cesta()) + ": ";
    const bool dbf = s->Rozlozeni().Format == TFormatSouboru::DBF;
    // Lines are counted from the header line; DBF records from the first.
    const uint64_t zahlavi = !dbf && (s->Rozlozeni().Volby & VolbaZahlavi) ? 1 : 0;
    const std::string kde = dbf ? Cp1250("záznam ") : Cp1250("řádek ");
    if (p.VadneRadky > 0) {
      std::string t = j;
      t += dbf ? Cp1250("vynechány smazané nebo poškozené záznamy: ")
               : Cp1250(
                     "vynechány řádky, které nejsou záznamem (jiný počet polí, přerušený "
                     "zápis): ");
      t += Cislo(p.VadneRadky) + Cp1250(" (první je ") + kde;
      t += Cislo(p.PrvniVadny + zahlavi) + ")";
      v.push_back(std::move(t));
    }
    if (p.SpatnyCas > 0) {
      std::string t = j;
      t += Cp1250("vynechány záznamy, jejichž datum nebo čas nelze přečíst: ");
      t += Cislo(p.SpatnyCas) + Cp1250(" (první je ") + kde;
      t += Cislo(p.PrvniSpatnyCas + zahlavi) + ")";
      v.push_back(std::move(t));
    }
    if (p.NecitelneHodnoty > 0)
      v.push_back(j + Cp1250("hodnoty kanálů, které nejsou číslem (kreslí se jako mezera): ") +
                  Cislo(p.NecitelneHodnoty));
    if (s->NeuplnyKonec() > 0)
      v.push_back(j + Cp1250("neúplný poslední ") + (dbf ? Cp1250("záznam") : Cp1250("řádek")) +
                  " (" + Cislo(s->NeuplnyKonec()) + Cp1250(" B) se nečte"));
  }
  if (!chyba_.empty()) v.push_back(chyba_);
  return v;
}

void TCtenar::UlozMezipamet() {
  if (nastaveni_.SlozkaMezipameti.empty()) return;
  for (const auto& s : soubory_)
    if (s->Indexovano() && s->IndexZmenen() &&
        UlozIndex(nastaveni_.SlozkaMezipameti, s->Klic(), s->Index()))
      s->IndexUlozen();
}
