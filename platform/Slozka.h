#pragma once
// The program's folder and file-system paths.
//
// The program's folder holds the task files, the settings file and the data
// files named without a folder.  In a portable copy (a build tree, an
// unpacked archive) it is the executable's folder; once installed it is the
// user's own folder ($XDG_DATA_HOME/zentrolix-datalogger), since the
// installation's folders are not the user's to write.  Umisteni.h decides;
// nothing else needs to know which it is.

#include <filesystem>
#include <string>
#include <string_view>

// The program's folder (see above).
std::filesystem::path SlozkaProgramu();

// The folder of the interface libraries: the executable's folder in a
// portable copy, the installation's private library folder otherwise.
std::filesystem::path SlozkaKnihoven();

// Replaces the program's folder and the libraries' folder (tests).  An empty
// path restores the real ones.
void NastavSlozkuProgramu(const std::filesystem::path& slozka);

// Why the user's folder could not be used and where the files go instead
// (Windows-1250); empty when all is well.  Also written to stderr once.
std::string UpozorneniSlozkyProgramu();

// A path held as Windows-1250 text (a file name typed by the operator or read
// from a task) as the file system wants it.
std::filesystem::path SystemovaCesta(std::string_view cp1250);

// A file-system path as Windows-1250 text, for messages and records.
std::string CestaCp1250(const std::filesystem::path& cesta);

// The file `jmeno` (Windows-1250, may hold a relative folder part) in the
// program's folder.
std::filesystem::path CestaVeSlozceProgramu(std::string_view jmeno);
