#pragma once
// The program's folder and file-system paths.

#include <filesystem>
#include <string>
#include <string_view>

// Folder of the program's executable (SlozkaProgramu).
std::filesystem::path SlozkaProgramu();

// Replaces the program's folder (tests).  An empty path restores the real one.
void NastavSlozkuProgramu(const std::filesystem::path& slozka);

// A path held as Windows-1250 text (a file name typed by the operator or read
// from a task) as the file system wants it.
std::filesystem::path SystemovaCesta(std::string_view cp1250);

// A file-system path as Windows-1250 text, for messages and records.
std::string CestaCp1250(const std::filesystem::path& cesta);

// The file `jmeno` (Windows-1250, may hold a relative folder part) in the
// program's folder.
std::filesystem::path CestaVeSlozceProgramu(std::string_view jmeno);
