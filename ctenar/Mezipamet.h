#pragma once
// Indexes kept between runs in the user's cache folder, never beside the
// data: $XDG_CACHE_HOME/zentrolix-datalogger (~/.cache/zentrolix-datalogger).
// One file per data file, named by its device and inode; inside, the data
// file's size and modification time and the signature of its layout, which
// must all be the same for the index to be taken, and a checksum over the
// whole.  A stale or damaged index is made again, never trusted.

#include <filesystem>
#include <optional>

#include "Soubor.h"

// The cache folder ($XDG_CACHE_HOME when absolute, else ~/.cache), with the
// program's folder name.  Empty when neither names one.
std::filesystem::path SlozkaMezipameti();

// The index cached for the file of key `klic`; empty when there is none,
// or it is another file's, stale or damaged.
std::optional<TIndex> NactiIndex(const std::filesystem::path& slozka,
                                 const TSouborDat::TKlic& klic);

// Writes the index (a temporary file renamed over the old one), and keeps
// the folder to the newest NejvicIndexu files.  False when it could not.
inline constexpr int NejvicIndexu = 256;
bool UlozIndex(const std::filesystem::path& slozka, const TSouborDat::TKlic& klic,
               const TIndex& index);
