#pragma once
// A sample as it leaves the machine: the messages a broker gets (a JSON
// object, or InfluxDB line protocol) and the record the store keeps on
// disk until the broker has acknowledged it.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Mereni.h"

struct TKanalZpravy {
  int32_t Cislo = 0;
  std::string Nazev;              // UTF-8
  std::string Text;               // the value as the data file shows it, UTF-8
  uint8_t Status = 0;             // 0: the read succeeded
  std::optional<double> Hodnota;  // none when the read failed
};

struct TVzorekZpravy {
  uint32_t Poradi = 0;  // the sample's number in its run ("Uloženo")
  int64_t CasMs = 0;    // when the logging thread took it, ms since the epoch
  int64_t BehMs = 0;    // when the run started, ms since the epoch
  std::string Uloha;    // the task's name in topics, UTF-8
  std::vector<TKanalZpravy> Kanaly;
};

// A sample of the data file as the measurement handed it on: names, value
// texts and statuses (Windows-1250 in, UTF-8 out), and the numbers the
// acquisition converted (none when the read failed or the number is not
// finite), of the task `uloha` (its name in topics).
TVzorekZpravy VzorekZpravy(const TVzorekMereni& vzorek, std::string uloha);

// {"ts": "2026-12-08T09:15:00.123Z", "seq": 1, "run": "20261208T091500.123Z",
//  "task": "...", "historical": false, "channels": [{"ch": 0, "name": "...",
//  "value": 21.5 or null, "text": "21,500", "status": 0}, ...]}, UTF-8.
std::string JsonZpravy(const TVzorekZpravy& v, bool historicky);
// A line per channel: zentrolix,task=...,ch=0,name=... value=21.5,status=0i
// <ns since the epoch>; the value left out when the read failed.  A name
// or task the protocol cannot carry as it is follows a fixed rule (trailing
// backslashes dropped, TAB … CR as spaces, an empty name as "Ch<n>", an
// empty task as "_").
std::string InfluxZpravy(const TVzorekZpravy& v);

// UTC times: "2026-12-08T09:15:00.123Z" and "20261208T091500.123Z".
std::string CasIso(int64_t ms);
std::string CasBehu(int64_t ms);

// The store's form of a sample (binary, little-endian) and back; false for
// bytes that are no such record.
std::string Serializuj(const TVzorekZpravy& v);
bool Deserializuj(std::string_view data, TVzorekZpravy& v);
