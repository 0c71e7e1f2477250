#pragma once
// The viewer window's data: a TCtenar read on a worker thread of its own,
// offered to the plot component (prubeh/GrafKanalu.h) as its source of lines
// and of exact values.  The main thread asks and never waits: each question
// is a job for the worker, and each answer comes back through the main
// thread's event loop.  A question asked again before the worker took it
// replaces the one waiting (the plot asks at every step of a wheel zoom).
//
// Indexing goes in slices of a fifth of a second: after each the plot is
// told that there is more to draw (the first picture comes with the first
// part of a large file), and what the operator asks meanwhile is answered
// between slices.  Following a file being written: Sleduj asks the reader
// for appended records (Obnov), on each change notification of the files
// and their folder and, where notifications do not arrive (a network
// share), every half second.

#include <QObject>
#include <QString>

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "Ctenar.h"
#include "GrafKanalu.h"

class QFileSystemWatcher;
class TFrontaHlavnihoVlakna;
class QTimer;

class TCteniDat : public QObject, public TZdrojKrivek, public TZdrojHodnot {
  Q_OBJECT

 public:
  explicit TCteniDat(QObject* rodic = nullptr);
  ~TCteniDat() override;

  // Opens the files (or the series, nastaveni.CelaRada) on the worker,
  // closing what was open; Otevreno tells how it went.
  void Otevri(const std::vector<std::filesystem::path>& soubory, const TNastaveniCteni& nastaveni);
  bool JeOtevreno() const { return otevreno_; }
  // Of the files open: their columns, paths and what the reading passed over.
  const TRozlozeni& Rozlozeni() const { return rozlozeni_; }
  const std::vector<std::filesystem::path>& Soubory() const { return soubory_; }
  const std::vector<std::string>& Poznamky() const { return poznamky_; }
  // The records indexed, and their first and last second on the axis.
  uint64_t PocetZaznamu() const { return zaznamu_; }
  std::optional<std::pair<int64_t, int64_t>> Rozsah() const { return rozsah_; }
  bool Indexuje() const { return indexuje_; }
  // How many times the files were looked at for changes (and the answer
  // came): a follower's step.
  uint64_t PocetObnov() const { return obnov_; }

  // The channels plotted, ascending.
  void NastavVybrane(std::vector<int> kanaly);
  // Stops the indexing: the plot shows what was indexed until then.  Opening
  // again starts it anew.
  void ZrusIndexovani();
  // Follows the files as they are written (on by default).
  void Sleduj(bool ano);
  bool Sleduje() const { return sleduj_; }
  // Asks the reader for appended records now (the timer and the change
  // notifications call this).
  void ObnovSoubory();
  // The name the window's title and a picture's title give what is open.
  void NastavJmeno(std::string jmeno) { jmeno_ = std::move(jmeno); }
  // A header-less file's channels have no decimals of their own.
  static int MistaTextu(std::string_view text);

  // TZdrojKrivek
  std::vector<int> Vybrane() const override { return vybrane_; }
  std::string NazevKanalu(int kanal) const override;
  int MistaKanalu(int kanal) const override;
  std::string Jmeno() const override { return jmeno_; }
  QString ZakladJmenaExportu() const override;
  QString SlozkaExportu() const override;
  std::pair<double, double> RozsahCasu() const override;
  void Priprav(double odMs, double doMs, double krokMs) override;
  std::vector<QList<QPointF>> Casti(int kanal, double odMs, double doMs, double krokMs) override;
  std::pair<double, double> RozsahHodnot(int kanal) override;
  QString NelzeUlozitCsv() const override;
  void UlozCsv(const std::vector<int>& kanaly, double odMs, double doMs, const QString& soubor,
               std::function<void(const QString&)> hotovo) override;

  // TZdrojHodnot
  uint64_t Generace() const override { return generace_; }
  void Zaznam(int kurzor, double casMs, double okoliMs, const std::vector<int>& kanaly,
              std::function<void(const TZaznamKurzoru&)> odpoved) override;
  void Souhrn(const std::vector<int>& kanaly, double odMs, double doMs,
              std::function<void(const std::vector<TSouhrnKanalu>&)> odpoved) override;

 signals:
  // The files were opened (chyba empty) or not (Czech).
  void Otevreno(const QString& chyba);
  // The indexing's bytes done of the bytes to do; Indexovano when it ended.
  void Prubeh(qint64 hotovo, qint64 celkem);
  void Indexovano(bool zruseno);
  // There is more to draw: records indexed or appended, the lines asked
  // for have come, a file was read anew.
  void Zmeneno();
  // A text for the status line.
  void Zprava(const QString& text);

 private:
  // The jobs of the worker, in the order it takes them: the one with the
  // lowest kind first, one of each kind waiting at most.
  enum TDruh {
    DruhOtevri,
    DruhObnov,
    DruhPrehled,
    DruhKurzor0,
    DruhKurzor1,
    DruhIndex,
    DruhSouhrn,
    DruhCsv,
  };
  using TUloha = std::function<void(std::unique_ptr<TCtenar>&)>;
  void Zadej(TDruh druh, TUloha uloha);
  bool Ceka(TDruh predNez) const;  // a job of a kind before `predNez` is waiting (under zamek_)
  void Pracuj();
  // On the worker: one slice of indexing, given again until done.
  void IndexujKus(TCtenar& c, uint64_t cislo);
  // On the worker: the range, the count and the files, sent to the main
  // thread; `zmena`: the data changed (cursors and statistics are asked
  // again), `znovu`: a file was read anew (what was drawn is void).  Answers
  // carry the opening they belong to (`cislo`).
  void PosliStav(TCtenar& c, uint64_t cislo, bool zmena, bool znovu);
  // Runs `f` on the main thread, unless this object is gone by then (any
  // thread).
  void NaHlavnim(std::function<void()> f);

  // A question for statistics: its channels and its start.
  struct TKlicSouhrnu {
    std::vector<int> Kanaly;
    int64_t Od = 0;
    bool operator==(const TKlicSouhrnu&) const = default;
  };

  // Main thread.
  TRozlozeni rozlozeni_;
  std::vector<std::filesystem::path> soubory_;
  std::vector<std::string> poznamky_;
  std::string jmeno_;
  std::vector<int> vybrane_;
  bool otevreno_ = false;
  bool indexuje_ = false;
  bool sleduj_ = true;
  uint64_t zaznamu_ = 0;
  std::optional<std::pair<int64_t, int64_t>> rozsah_;
  int64_t perioda_ = 1;
  uint64_t generace_ = 0;
  uint64_t obnov_ = 0;
  uint64_t otevreni_ = 0;  // counts the openings: answers about earlier files are dropped
  // The overview the lines come from, and what it was asked for.
  struct TDotazPrehledu {
    std::vector<int> Kanaly;
    int64_t Od = 0, Do = -1;
    int Sloupcu = 0;
    uint64_t Generace = 0;
    bool operator==(const TDotazPrehledu&) const = default;
  };
  TDotazPrehledu dotaz_;
  std::shared_ptr<const TPrehled> prehled_;
  std::vector<int> kanalyPrehledu_;
  std::map<int, std::pair<double, double>> rozsahyHodnot_;
  // The statistics last asked for, and whom to tell (main thread).
  TKlicSouhrnu klicSouhrnu_;
  std::function<void(const std::vector<TSouhrnKanalu>&)> odpovedSouhrnu_;
  TFrontaHlavnihoVlakna* fronta_ = nullptr;
  QFileSystemWatcher* hlidac_ = nullptr;
  QTimer* casovac_ = nullptr;

  // Shared with the worker, under zamek_.
  std::mutex zamek_;
  std::condition_variable budik_;
  std::map<int, TUloha> ulohy_;
  bool konec_ = false;
  bool zrusit_ = false;  // the indexing is stopped
  // The statistics asked for last: a reading of others stops.
  TKlicSouhrnu posledniSouhrn_;
  std::thread vlakno_;

  // The worker's own: the decimals of a text file's channels were sent.
  bool mistaPoslana_ = false;
};
