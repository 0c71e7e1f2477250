#pragma once
// A data file's dates and times are the local wall clock of the machine that
// wrote them.  Placed on one axis they become seconds since the epoch, so
// that a DST change is neither a jump nor an hour drawn twice: the hour
// that repeats in autumn is told apart by the order of the records.

#include <cstdint>
#include <limits>

#include "Hodiny.h"

inline constexpr int64_t ZadnyCas = std::numeric_limits<int64_t>::min();

class TMistniCas {
 public:
  // Seconds since the epoch of the local date and time `t` (in the zone of
  // TZ).  A time the autumn change repeats is the earlier of its two
  // instants unless that lies before `predchozi` (the record before it),
  // then the later; a time the spring change skips is read with the offset
  // before the change.
  int64_t Sekundy(const TDatumCas& t, int64_t predchozi = ZadnyCas);
  // Both instants of a local time (equal unless the autumn change repeats
  // it): a range from a time given by a person takes the earlier at its
  // start and the later at its end.
  void Okamziky(const TDatumCas& t, int64_t& prvni, int64_t& posledni);

 private:
  // The offsets valid in the minute of local time `minuta` (seconds since
  // the epoch as if local time were UTC, divided by 60); asked of the zone
  // once a minute, since localtime_r is slow against a record's parsing.
  void Priprav(int64_t minuta);
  int64_t minuta_ = ZadnyCas;
  int64_t posunPrvni_ = 0, posunDruhy_ = 0;  // offsets of the earlier and the later instant
};

// The local date and time as if it were UTC: days and seconds since the
// epoch without any zone.
int64_t NaivniSekundy(const TDatumCas& t);
