#pragma once
// Why a file operation failed, in Czech words an operator can act on ("disk
// je plný", not the C library's English), Windows-1250.  One place for the
// data-file writers and everything else that reports a refused write.

#include <string>

// Causes that are not an errno value: the file is not one the program may
// write into.
inline constexpr int ChybaJinyObsah = -1;   // holds another layout than the task's
inline constexpr int ChybaNeniSoubor = -2;  // a folder, a pipe or a device
inline constexpr int ChybaVnitrni = -3;     // the writer itself failed

// The cause of `kod` (an errno value or one of the codes above) as a short
// Czech phrase; an errno without a phrase of its own gets its number.
// Empty for 0.
std::string PricinaChyby(int kod);
