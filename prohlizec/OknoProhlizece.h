#pragma once
// The window of zq-prohlizec: data files or a task's series of them, of any
// size, in the plot the trend window shows (prubeh/GrafKanalu.h: zoom, pan,
// "Celý rozsah", cursors with their values and differences, the statistics
// over the time in view, "Osa Y", the exports of the time in view).  The
// files are read on a worker thread (CteniDat.h): a progress bar with
// "Zrušit" while a file is indexed, the plot drawn from the first part on,
// and files being written followed.  The channels chosen and "Osa Y" are
// remembered per file or series in ZQ_prohlizec.ini in the program's folder.

#include <QMainWindow>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QAction;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class TCteniDat;
class TGrafKanalu;

inline constexpr char JmenoNastaveniProhlizece[] = "ZQ_prohlizec.ini";

// The section of ZQ_prohlizec.ini for the files (Windows-1250): a series
// (opened as one, or several files of one) by its data file's path, a
// single file by its own.
std::string SekceSouboru(const std::vector<std::filesystem::path>& soubory, bool rada);

class TOknoProhlizece : public QMainWindow {
  Q_OBJECT

 public:
  explicit TOknoProhlizece(QWidget* rodic = nullptr);
  ~TOknoProhlizece() override;

  // Opens the files as one, or with `rada` the whole series of the first.
  // `kanaly` (not empty) is the choice instead of the remembered one;
  // `rozsah` (seconds since the epoch) the time shown first.
  void Otevri(const std::vector<std::filesystem::path>& soubory, bool rada,
              const std::filesystem::path& uloha = {}, const std::vector<int>& kanaly = {},
              std::optional<std::pair<int64_t, int64_t>> rozsah = {});

  TCteniDat& Cteni() { return *cteni_; }
  TGrafKanalu* Graf = nullptr;
  QListWidget* Kanaly = nullptr;
  QProgressBar* Prubeh = nullptr;
  QPushButton* Zrusit = nullptr;
  QLabel* Stav = nullptr;
  QAction* OtevritSoubor = nullptr;
  QAction* OtevritRadu = nullptr;
  QAction* Sledovat = nullptr;

 private:
  void Otevreno(const QString& chyba);
  void ZvolSoubor(bool rada);
  void VyberZmenen();
  void UlozVolbu();
  void UkazStav();

  TCteniDat* cteni_ = nullptr;
  std::string sekce_;  // of ZQ_prohlizec.ini, for the files open
  std::vector<int> zadaneKanaly_;
  std::optional<std::pair<int64_t, int64_t>> zadanyRozsah_;
  QString nezname_;          // what ZQ_prohlizec.ini holds that nobody reads
  QString zprava_;           // the last outcome of the reading
  bool prekreslit_ = false;  // a drawing is on its way
  bool plnim_ = false;       // the channel list is being filled: no choice to remember
};
