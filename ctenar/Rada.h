#pragma once
// A series: the files of one task split by day, week, month or size, and
// the further parts of a DBF table that reached its format's 2 GiB.  They
// are named by the task's "Jméno souboru" with the period before the
// extension:
//   data.csv                      not split
//   data_2026-12-08.csv           a day
//   data_2026-W50.csv             an ISO week (2027-01-01 is in 2026-W53)
//   data_2026-12.csv              a month
//   data_2026-12-08_142530.csv    by size: the first sample's time,
//   data_2026-12-08_142530-2.csv    -2, -3 ... when two would be named alike
//   data_2.dbf, data_2026-12-08_2.dbf   the second part of a table
// File names are the file system's bytes.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Where a member stands in its series: its period's beginning (local time
// as seconds since the epoch as if it were UTC; 0 for the name without a
// period), then the order of names that share it.
struct TPoradiVRade {
  int64_t Zacatek = 0;
  int Kolize = 1;  // 2, 3 ... for "-2", "-3"
  int Dil = 1;     // 2, 3 ... for a table's "_2", "_3"
  auto operator<=>(const TPoradiVRade&) const = default;
};

// The order of the file named `jmeno` in the series of the data file named
// `zaklad` (both bare names); empty when it is no member.
std::optional<TPoradiVRade> PoradiVRade(std::string_view jmeno, std::string_view zaklad);

// The name of the series' data file that `jmeno` would be a member of, the
// period and part taken off ("data_2026-12-08.csv" -> "data.csv"); `jmeno`
// itself when it carries none.
std::string ZakladRady(std::string_view jmeno);

// The members of the series of `soubor` (a member, or the task's data file
// name, which need not exist) in its folder, in their order.
std::vector<std::filesystem::path> NajdiRadu(const std::filesystem::path& soubor);
