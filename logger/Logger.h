#pragma once
// zq-logger: a measuring task run without a window, on the same measurement
// object as the window, writing the same data file byte for byte.
//
//   zq-logger [-q] [--prepsat | --pokracovat] [--publikace FILE] TASK
//
// TASK is a task file in the program's folder, or a path to one (anything
// holding a "/").  A line per sample goes to standard output; SIGINT or
// SIGTERM stop the measurement as the window's stop does.  Exit status:
// 0 after a clean stop; 1 when the measurement does not start but a later
// try may (the interface does not open yet, the data file's folder cannot
// be made); 2 for what a retry cannot mend: a bad call, a task file that is
// missing, incomplete or leads to another device, a data file that exists
// without --prepsat or --pokracovat or that --pokracovat cannot continue;
// 3 when the measurement ended by itself (its interface library broke);
// 4 when a later signal ended it at once while the stop still waited.

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

inline constexpr int LoggerOk = 0;
inline constexpr int LoggerNespusteno = 1;
inline constexpr int LoggerChybneVolani = 2;
inline constexpr int LoggerSkoncilSam = 3;
// A later signal ended the program at once while its stop still waited (a
// library call that hangs, a broker that does not answer): the data file
// holds every sample written until then, the summary is not printed.
inline constexpr int LoggerPreruseno = 4;

// "1 kanál", "3 kanály", "5 kanálů": a count with the Czech plural form of
// its noun (UTF-8), given for one, for two to four, and for the rest.
std::string PocetSlovem(int64_t n, std::string_view jeden, std::string_view dva,
                        std::string_view pet);

// Runs the logger with the program's arguments (without the program's name,
// UTF-8) until it is stopped.  Needs a QCoreApplication.  Texts go to `vystup`
// and `chyby` in UTF-8.  When a worker thread is still inside a library call
// at the end, `visi` is set: the caller must leave with _Exit.
int SpustLogger(const std::vector<std::string>& argumenty, std::ostream& vystup,
                std::ostream& chyby, bool& visi);
