#pragma once
// Where the program keeps its files and where its interface libraries are.
// Plain C++ and POSIX, without Qt: the interface libraries share it.
//
// Two layouts:
//  - portable (a build tree, an unpacked archive): the executable's folder is
//    writable and holds everything: tasks, the settings file, relative data
//    files, the interface libraries and their dosdevices/;
//  - installed (cmake --install, the Debian package): the libraries lie in a
//    private library folder at a fixed place relative to the executable's
//    folder, and the files the program writes go to a per-user folder,
//    $XDG_DATA_HOME/zentrolix-datalogger (~/.local/share/zentrolix-datalogger).
// A portable copy in a folder the user cannot write (a read-only share) keeps
// its libraries beside the executable but writes to the per-user folder too.

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace zqumisteni {

// Name of the per-user folder and of the private library folder.
inline constexpr const char* JmenoSlozky = "zentrolix-datalogger";

// What the decision depends on, gathered from the system by UrciUmisteni.
struct TVstup {
  std::filesystem::path SlozkaExe;    // absolute folder of the executable
  std::filesystem::path RelKnihovny;  // private library folder, relative to SlozkaExe
  bool ExeZapisovatelna = false;      // the user may create files in SlozkaExe
  bool KnihovnyInstalovane = false;   // SlozkaExe / RelKnihovny is a folder
  std::string XdgDataHome;            // $XDG_DATA_HOME, empty when unset
  std::string Domov;                  // the user's home folder, empty when unknown
};

struct TUmisteni {
  std::filesystem::path Program;   // tasks, settings file, relative data files
  std::filesystem::path Knihovny;  // the interface libraries
  bool Uzivatelska = false;        // Program is a per-user folder, not SlozkaExe
};

// The decision itself.  Program is empty when a per-user folder is needed but
// neither $XDG_DATA_HOME (absolute) nor a home folder names one.
TUmisteni Rozhodni(const TVstup& vstup);

// Makes `slozka` usable as the per-user folder: creates the missing folders
// (0700, as XDG wants) and checks that the user may write into it.  When that
// fails, a private folder of the user below `docasna` (zentrolix-datalogger-
// <uid>) is used instead, and `upozorneni` says so; when that fails too,
// `slozka` is kept (every save then reports its failure) and `upozorneni` says
// that nothing can be saved.  `upozorneni` stays empty when `slozka` is usable.
std::filesystem::path PripravUzivatelskou(const std::filesystem::path& slozka,
                                          const std::filesystem::path& docasna, uid_t uid,
                                          std::string& upozorneni);

// The answer for this process: the executable from /proc/self/exe, the
// library layout compiled in, the environment; the per-user folder is
// prepared when it is used.  Computed anew on every call.
TUmisteni UrciUmisteni(std::string& upozorneni);

}  // namespace zqumisteni
