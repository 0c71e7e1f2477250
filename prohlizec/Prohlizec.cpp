#include "Prohlizec.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <tuple>
#include <utility>

#include <QImage>

#include "ChybySouboru.h"
#include "Cisla.h"
#include "Cp1250.h"
#include "Ctenar.h"
#include "KresbaGrafu.h"
#include "Mezipamet.h"
#include "Rada.h"
#include "Slozka.h"
#include "Stupnice.h"

namespace fs = std::filesystem;

namespace {

const char* const Napoveda =
    "Použití: zq-prohlizec [volby] [SOUBOR…]\n"
    "Čte datové soubory programu (text, CSV, DBF) libovolné velikosti: jeden soubor,\n"
    "nebo soubory jedné úlohy rozdělené po dnech, týdnech, měsících či velikosti,\n"
    "čtené jako jeden.  Jméno souboru, který neexistuje, ale jeho řada ano\n"
    "(data.csv -> data_2026-12-08.csv …), čte celou řadu.\n"
    "\n"
    "Volby:\n"
    "  --csv VYSTUP      zapsat záznamy vybraných kanálů v rozsahu do souboru CSV\n"
    "                    (\";\", Windows-1250, CR LF; \"-\" je standardní výstup)\n"
    "  --png OBRAZEK     nakreslit vybrané kanály v rozsahu do obrázku PNG (1200 bodů\n"
    "                    široký, jako obrázek okna průběhu; bez displeje také)\n"
    "  --kanaly SEZNAM   kanály podle pořadí od 0 (0 je první sloupec kanálu),\n"
    "                    oddělené čárkou, i rozsahy: 0,3,8-15 (výchozí: všechny)\n"
    "  --od ČAS          začátek rozsahu, RRRR-MM-DDTHH:MM:SS místního času\n"
    "  --do ČAS          konec rozsahu (včetně)\n"
    "  --rada            otevřít celou řadu, do níž SOUBOR patří (i soubory, které\n"
    "                    přibudou, když okno sleduje zápis)\n"
    "  --souhrn          vypsat, co soubory obsahují, místo okna\n"
    "  --uloha SOUBOR.zq úloha souboru zapsaného bez řádku záhlaví (jinak se hledá\n"
    "                    úloha ve složce souboru, jejíž Jméno souboru jej jmenuje)\n"
    "  -h, --help        tato nápověda\n"
    "      --version     verze programu\n"
    "\n"
    "Bez --csv, --png a --souhrn otevře okno prohlížeče se zadanými soubory\n"
    "(bez souborů prázdné); bez displeje vypíše, co soubory obsahují, jako\n"
    "--souhrn.  Hodnota, jejíž čtení skupina chyb označuje za neúspěšné, je\n"
    "mezera: v CSV prázdné pole.\n"
    "Návratový kód: 0; 1 když výstup nelze zapsat; 2 při chybném volání nebo\n"
    "souboru, který není datovým souborem tohoto programu.\n";

const char* const KratkaNapoveda = "(nápověda: zq-prohlizec --help)\n";

std::string CasText(int64_t sekundy) {
  const std::time_t t = static_cast<std::time_t>(sekundy);
  std::tm tm{};
  char buf[32] = "?";
  if (localtime_r(&t, &tm)) std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &tm);
  return buf;
}

std::string Format(TFormatSouboru f) {
  switch (f) {
    case TFormatSouboru::Text: return "text";
    case TFormatSouboru::CSV: return "CSV";
    case TFormatSouboru::DBF: return "DBF";
  }
  return {};
}

// What the files hold, for a person.
void Prehled(const TCtenar& c, std::ostream& vystup) {
  const TRozlozeni& r = c.Rozlozeni();
  vystup << "Soubory: " << c.PocetSouboru() << " (" << Format(r.Format) << ")\n";
  for (size_t i = 0; i < c.PocetSouboru(); ++i)
    vystup << "  " << c.Soubor(i).Cesta().string() << ": "
           << PocetSlovem(static_cast<int64_t>(c.Soubor(i).Index().Radku), "záznam", "záznamy",
                          "záznamů")
           << "\n";
  vystup << "Sloupce:";
  if (r.SloupecIndexu() >= 0) vystup << " Index";
  if (r.SloupecDatumu() >= 0) vystup << " Datum (" << r.ObrazDatumu << ")";
  if (r.SloupecCasu() >= 0) vystup << " Čas (" << r.ObrazCasu << ")";
  if (r.PocetSkupin() > 0) vystup << " skupiny chyb (" << r.PocetSkupin() << ")";
  vystup << (r.Format == TFormatSouboru::DBF || (r.Volby & VolbaZahlavi) ? ""
                                                                         : "; bez řádku záhlaví")
         << "\n";
  vystup << "Kanály (" << r.PocetKanalu << "):";
  for (int k = 0; k < r.PocetKanalu; ++k)
    vystup << (k ? ", " : " ") << k << " " << Utf8(r.NazvyKanalu[static_cast<size_t>(k)]);
  vystup << "\nZáznamů: " << c.PocetZaznamu();
  if (const auto rozsah = c.Rozsah(); rozsah && c.MaCas())
    vystup << ", od " << CasText(rozsah->first) << " do " << CasText(rozsah->second);
  vystup << "\n";
}

}  // namespace

bool ZapisCsvCtenare(TCtenar& c, const std::vector<int>& kanaly, int64_t od, int64_t do_,
                     const std::function<bool(const std::string&)>& zapis) {
  const TRozlozeni& r = c.Rozlozeni();
  std::string radek;
  bool prvni = true;
  auto pole = [&](std::string_view text) {
    if (!prvni) radek += ';';
    prvni = false;
    radek += PoleCSV(std::string(text));
  };
  if (r.SloupecIndexu() >= 0) pole("Index");
  if (r.SloupecDatumu() >= 0) pole("Datum");
  if (r.SloupecCasu() >= 0) pole(Cp1250("Čas"));
  for (int k : kanaly) pole(r.NazvyKanalu[static_cast<size_t>(k)]);
  radek += "\r\n";
  bool ok = zapis(radek);
  prvni = true;
  const bool precteno = c.Vypis(kanaly, od, do_, [&](const TZaznam& z) {
    radek.clear();
    if (r.SloupecIndexu() >= 0) pole(z.Index);
    if (r.SloupecDatumu() >= 0) pole(z.Datum);
    if (r.SloupecCasu() >= 0) pole(z.Cas);
    for (size_t k = 0; k < kanaly.size(); ++k) {
      // A failed read is a gap, never its value: the field stays empty.
      pole(z.Selhalo[k] ? std::string_view() : z.Texty[k]);
    }
    radek += "\r\n";
    ok = zapis(radek);
    prvni = true;
    return ok;
  });
  return ok && precteno;
}

std::vector<QList<QPointF>> CastiPrehledu(const TPrehled& p, size_t j) {
  std::vector<QList<QPointF>> casti;
  if (j >= p.Kanaly.size()) return casti;
  const double odMs = static_cast<double>(p.Od) * 1000;
  const double krokMs = static_cast<double>(p.Do - p.Od + 1) * 1000 / p.Sloupcu;
  QList<QPointF> cast;
  for (int s = 0; s < p.Sloupcu; ++s) {
    const TBodPrehledu& b = p.Kanaly[j][static_cast<size_t>(s)];
    if (b.Prazdny()) continue;
    if (!b.SpojitZleva && !cast.isEmpty()) casti.push_back(std::exchange(cast, {}));
    const double x = odMs + (s + 0.5) * krokMs;
    const bool minPrvni = std::abs(b.Prvni - b.Min) <= std::abs(b.Prvni - b.Max);
    cast.append(QPointF(x, minPrvni ? b.Min : b.Max));
    if (b.Min != b.Max) cast.append(QPointF(x, minPrvni ? b.Max : b.Min));
  }
  if (!cast.isEmpty()) casti.push_back(std::move(cast));
  return casti;
}

namespace {

// The title's name: the file, or for several the series' data file.
std::string JmenoProNadpis(const std::vector<fs::path>& zadane, const TCtenar& c) {
  if (c.PocetSouboru() == 1) return CestaCp1250(c.Soubor(0).Cesta().filename());
  return CestaCp1250(fs::path(ZakladRady(zadane.front().filename().string())));
}

// The chosen channels over the range drawn as the trend window's saved
// picture is (graf/): each pixel column's extremes, in the order the line
// meets them, broken where the reader finds a gap.
bool ZapisPng(TCtenar& c, const std::vector<int>& kanaly, int64_t od, int64_t do_,
              const std::string& cesta, const std::string& jmeno) {
  const TRozlozeni& r = c.Rozlozeni();
  const auto rozsah = c.Rozsah();
  if (rozsah) {
    od = std::max(od, rozsah->first);
    do_ = std::min(do_, rozsah->second);
  }
  if (!rozsah || od > do_) od = do_ = rozsah ? rozsah->first : 0;
  TZadaniGrafu z;
  z.OdMs = od * 1000;
  z.DoMs = std::max(do_ + 1, od + 1) * 1000 - 1;
  z.Nadpis = NadpisGrafu(jmeno, z.OdMs, z.DoMs);
  z.Oddelovac = r.DesetinnyOddelovac ? r.DesetinnyOddelovac : ',';
  for (int k : kanaly) {
    TKanalGrafu g;
    g.Cislo = g.Barva = k;
    g.Nazev = DoQString(r.NazvyKanalu[static_cast<size_t>(k)]);
    g.DesetinnaMista = r.DesetinnaMista.empty() ? 2 : r.DesetinnaMista[static_cast<size_t>(k)];
    z.Kanaly.push_back(std::move(g));
  }
  z.Velikost = QSize(1200, 600);
  z.Velikost.rheight() += VyskaNadpisuALegendy(z);
  const int sloupcu = std::max(RozvrhniGraf(z).Plocha.width(), 1);
  const TPrehled p = c.Prehled(kanaly, od, do_, sloupcu);
  for (size_t j = 0; j < kanaly.size(); ++j) z.Kanaly[j].Casti = CastiPrehledu(p, j);
  return p.Uplny && ObrazekGrafu(z).save(QString::fromStdString(cesta), "PNG");
}

}  // namespace

std::optional<TDatumCas> CtiCasVolby(std::string_view t) {
  if (t.size() != 19 || t[4] != '-' || t[7] != '-' || t[10] != 'T' || t[13] != ':' || t[16] != ':')
    return std::nullopt;
  auto cislo = [&](size_t od, size_t delka, int& v) {
    v = 0;
    for (size_t i = od; i < od + delka; ++i) {
      if (t[i] < '0' || t[i] > '9') return false;
      v = v * 10 + (t[i] - '0');
    }
    return true;
  };
  TDatumCas d;
  if (!cislo(0, 4, d.Rok) || !cislo(5, 2, d.Mesic) || !cislo(8, 2, d.Den) ||
      !cislo(11, 2, d.Hodina) || !cislo(14, 2, d.Minuta) || !cislo(17, 2, d.Sekunda))
    return std::nullopt;
  if (d.Mesic < 1 || d.Mesic > 12 || d.Den < 1 || d.Den > DniVMesici(d.Rok, d.Mesic) ||
      d.Hodina > 23 || d.Minuta > 59 || d.Sekunda > 59)
    return std::nullopt;
  return d;
}

std::optional<std::vector<int>> CtiKanaly(std::string_view seznam, int kanalu, std::string& chyba) {
  std::vector<int> v;
  while (true) {
    const size_t carka = seznam.find(',');
    const std::string_view kus = seznam.substr(0, carka);
    const size_t pomlcka = kus.find('-', 1);
    const std::optional<int32_t> od = TextNaCele(kus.substr(0, pomlcka));
    const std::optional<int32_t> po =
        pomlcka == std::string_view::npos ? od : TextNaCele(kus.substr(pomlcka + 1));
    if (kus.empty() || !od || !po || *od < 0 || *po < *od) {
      chyba = "seznam kanálů \"" + std::string(seznam) + "\" není čísla oddělená čárkou";
      return std::nullopt;
    }
    if (*po >= kanalu) {
      chyba = "kanál " + std::to_string(*po) + " neexistuje: soubor má " +
              PocetSlovem(kanalu, "kanál", "kanály", "kanálů") + " (0 až " +
              std::to_string(kanalu - 1) + ")";
      return std::nullopt;
    }
    for (int k = *od; k <= *po; ++k) v.push_back(k);
    if (carka == std::string_view::npos) break;
    seznam.remove_prefix(carka + 1);
  }
  return v;
}

bool ChceObrazek(const std::vector<std::string>& argumenty) {
  for (const std::string& a : argumenty)
    if (a == "--png") return true;
  return false;
}

void ZvolPlatformu() {
  if (!MaDisplej())
    setenv("QT_QPA_PLATFORM", "offscreen", 1);  // NOLINT(concurrency-mt-unsafe): before any thread
}

bool CtiVolby(const std::vector<std::string>& argumenty, TVolbyProhlizece& v, std::ostream& vystup,
              std::ostream& chyby, int& kod) {
  kod = ProhlizecOk;
  for (size_t i = 0; i < argumenty.size(); ++i) {
    const std::string& a = argumenty[i];
    if (a == "-h" || a == "--help") {
      vystup << Napoveda;
      return false;
    }
    if (a == "--version") {
      vystup << "zq-prohlizec " << ZQ_VERZE << "\n";
      return false;
    }
    std::optional<std::string>* hodnota = a == "--csv"      ? &v.Csv
                                          : a == "--png"    ? &v.Png
                                          : a == "--kanaly" ? &v.Kanaly
                                          : a == "--od"     ? &v.Od
                                          : a == "--do"     ? &v.Do
                                                            : nullptr;
    if (a == "--rada" || a == "--souhrn") {
      (a == "--rada" ? v.Rada : v.Souhrn) = true;
    } else if (hodnota || a == "--uloha") {
      if (i + 1 >= argumenty.size()) {
        chyby << "zq-prohlizec: volba " << a << " potřebuje hodnotu " << KratkaNapoveda;
        kod = ProhlizecChybneVolani;
        return false;
      }
      if (hodnota && *hodnota) {
        chyby << "zq-prohlizec: volba " << a << " je zadána dvakrát " << KratkaNapoveda;
        kod = ProhlizecChybneVolani;
        return false;
      }
      if (hodnota)
        *hodnota = argumenty[++i];
      else
        v.Uloha = argumenty[++i];
    } else if (a.size() > 1 && a[0] == '-') {
      chyby << "zq-prohlizec: neznámá volba " << a << " " << KratkaNapoveda;
      kod = ProhlizecChybneVolani;
      return false;
    } else {
      v.Soubory.emplace_back(a);
    }
  }
  return true;
}

bool ChceOkno(const TVolbyProhlizece& v) { return !v.Csv && !v.Png && !v.Souhrn; }

bool MaDisplej() {
  auto je = [](const char* promenna) {
    const char* v = std::getenv(promenna);  // NOLINT(concurrency-mt-unsafe): before any thread
    return v != nullptr && *v != '\0';
  };
  return je("DISPLAY") || je("WAYLAND_DISPLAY") || je("QT_QPA_PLATFORM");
}

int SpustProhlizec(const std::vector<std::string>& argumenty, std::ostream& vystup,
                   std::ostream& chyby) {
  TVolbyProhlizece v;
  int kodVolani = ProhlizecOk;
  if (!CtiVolby(argumenty, v, vystup, chyby, kodVolani)) return kodVolani;
  const std::optional<std::string>&csv = v.Csv, &png = v.Png, &kanalyText = v.Kanaly,
        &odText = v.Od, &doText = v.Do;
  const std::vector<fs::path>& soubory = v.Soubory;
  if (soubory.empty()) {
    chyby << "zq-prohlizec: chybí datový soubor " << KratkaNapoveda;
    return ProhlizecChybneVolani;
  }
  std::optional<TDatumCas> od, do_;
  for (auto [text, cas, volba] :
       {std::tuple(&odText, &od, "--od"), std::tuple(&doText, &do_, "--do")})
    if (*text && !(*cas = CtiCasVolby(**text))) {
      chyby << "zq-prohlizec: čas " << volba << " \"" << **text
            << "\" nemá tvar RRRR-MM-DDTHH:MM:SS (např. 2026-12-08T14:25:30)\n";
      return ProhlizecChybneVolani;
    }
  TNastaveniCteni nastaveni;
  nastaveni.Uloha = v.Uloha;
  nastaveni.CelaRada = v.Rada;
  nastaveni.SlozkaMezipameti = SlozkaMezipameti();
  std::string chyba;
  std::unique_ptr<TCtenar> c = TCtenar::Otevri(soubory, nastaveni, chyba);
  if (!c) {
    if (chyba.find(Cp1250("úlohu je třeba zadat")) != std::string::npos)
      chyba += Cp1250(" (volba --uloha)");
    chyby << "zq-prohlizec: " << Utf8(chyba) << "\n";
    return ProhlizecChybneVolani;
  }
  const TRozlozeni& r = c->Rozlozeni();
  std::vector<int> kanaly;
  if (kanalyText) {
    std::optional<std::vector<int>> k = CtiKanaly(*kanalyText, r.PocetKanalu, chyba);
    if (!k) {
      chyby << "zq-prohlizec: " << chyba << " " << KratkaNapoveda;
      return ProhlizecChybneVolani;
    }
    kanaly = std::move(*k);
  } else {
    for (int k = 0; k < r.PocetKanalu; ++k) kanaly.push_back(k);
  }
  if ((od || do_ || png) && !c->MaCas()) {
    chyby << "zq-prohlizec: soubor nemá sloupce Datum a Čas, "
          << (png ? "obrázek nemá časovou osu" : "--od a --do nelze použít") << "\n";
    return ProhlizecChybneVolani;
  }
  const int64_t odS = od ? TCtenar::Okamzik(*od, false) : INT64_MIN;
  const int64_t doS = do_ ? TCtenar::Okamzik(*do_, true) : INT64_MAX;
  if (odS > doS) {
    chyby << "zq-prohlizec: --od je po --do\n";
    return ProhlizecChybneVolani;
  }

  int kod = ProhlizecOk;
  const TCtenar::TStav stav = c->Indexuj(kanaly);
  if (stav != TCtenar::TStav::Hotovo) {
    chyby << "zq-prohlizec: " << Utf8(c->Chyba()) << "\n";
    return ProhlizecChybneVolani;
  }
  if (csv) {
    bool ok = false;
    if (*csv == "-") {
      ok = ZapisCsvCtenare(*c, kanaly, odS, doS, [&](const std::string& radek) {
        vystup.write(radek.data(), static_cast<std::streamsize>(radek.size()));
        return vystup.good();
      });
    } else {
      FILE* f = std::fopen(csv->c_str(), "wb");
      if (!f) {
        chyby << "zq-prohlizec: soubor \"" << *csv
              << "\" nelze vytvořit: " << Utf8(PricinaChyby(errno)) << "\n";
        return ProhlizecVystup;
      }
      ok = ZapisCsvCtenare(*c, kanaly, odS, doS, [&](const std::string& radek) {
        return std::fwrite(radek.data(), 1, radek.size(), f) == radek.size();
      });
      ok = std::fclose(f) == 0 && ok;
    }
    if (!ok) {
      chyby << "zq-prohlizec: "
            << (c->Chyba().empty() ? "výstup \"" + *csv + "\" nelze zapsat" : Utf8(c->Chyba()))
            << "\n";
      kod = c->Chyba().empty() ? ProhlizecVystup : ProhlizecChybneVolani;
    }
  }
  if (png && !ZapisPng(*c, kanaly, odS, doS, *png, JmenoProNadpis(soubory, *c))) {
    chyby << "zq-prohlizec: "
          << (c->Chyba().empty() ? "obrázek \"" + *png + "\" nelze zapsat" : Utf8(c->Chyba()))
          << "\n";
    kod = c->Chyba().empty() ? ProhlizecVystup : ProhlizecChybneVolani;
  }
  if (!csv && !png) Prehled(*c, vystup);
  for (const std::string& p : c->Poznamky()) chyby << "zq-prohlizec: poznámka: " << Utf8(p) << "\n";
  c->UlozMezipamet();
  return kod;
}
