#pragma once
// What the operator reads of the publishing, said so that a journal stays
// readable however long a fault lasts.  A failure is said once; the same
// failure again is only counted, and said with its count when it comes 5
// minutes or more after its last line (a wrong password retried every few
// seconds makes a line every 5 minutes, not 1,200 an hour).  A connection
// that held for a minute forgets what was said, so the next outage is said
// at once.  Dropped samples are said at once, then at most a line a minute
// for each reason with how many more were dropped.
//
// Not thread-safe: its owner serialises the calls.  Texts are Windows-1250.

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

struct TOznameniPublikace {
  uint64_t Cislo = 0;  // grows by one with each text, over all publishers of the program
  int64_t CasMs = 0;   // when it was said, ms since the epoch
  std::string Text;
};

class TOznamovatel {
 public:
  using THodiny = std::chrono::steady_clock;
  static constexpr auto OpakovaniSelhani = std::chrono::minutes(5);
  static constexpr auto OpakovaniZahozeni = std::chrono::minutes(1);
  static constexpr size_t Uchovano = 16;  // the latest texts kept for readers

  // A connection attempt or a connection failed for `text`.
  void Selhani(const std::string& text, THodiny::time_point kdy);
  // A connection held long enough to count as working.
  void Spojeno();
  // `pocet` samples dropped for `duvod`; `ihned` is the line said when the
  // drop is said at once (it may name the sample, a size).
  void Zahozeno(const std::string& duvod, uint64_t pocet, const std::string& ihned,
                THodiny::time_point kdy);
  // Said as it is.
  void Rekni(const std::string& text);
  // Says the counts of drops whose minute has passed.
  void Tik(THodiny::time_point kdy);

  // The latest texts, oldest first.
  std::vector<TOznameniPublikace> Posledni() const;

 private:
  struct TRecene {
    THodiny::time_point Kdy;  // its last line
    uint64_t Pocet = 0;       // what came since then and was not said
  };
  void ZahozenoDalsich(const std::string& duvod, TRecene& r, THodiny::time_point kdy);

  std::map<std::string, TRecene> selhani_;
  std::map<std::string, TRecene> zahozeni_;
  std::deque<TOznameniPublikace> posledni_;
};
