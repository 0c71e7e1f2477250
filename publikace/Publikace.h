#pragma once
// Samples leave the machine: each sample of the data file goes to an MQTT
// broker, through a store on disk that keeps what the broker has not
// acknowledged (Uloziste.h), so nothing is lost while the broker or the
// network is away.
//
// The promise: every sample is delivered at least once, in the order of
// the samples; one that was not delivered while it was new goes out from
// the store after an outage, marked historical; a power cut loses at most
// the last second of samples, kill -9 at most the sample being handed over.
//
// Two threads of its own do the work, never the main thread (which serves
// the acquisition thread): one appends the samples to the store and makes
// them durable each second, the other talks to the broker (connecting,
// resolving names, reconnecting with a growing pause, publishing at QoS 1
// only while connected and only as many as its in-flight window allows).
// A broker that is down, slow, unreachable or refusing never delays a read
// or a data-file write and never grows memory without bound.  A broker that
// stops answering (frozen, a link that died without a reset) is noticed
// within seconds: a sample unacknowledged for 5 s with nothing else heard
// from the broker drops the connection, and it is made again.
//
// It speaks MQTT 5, whose acknowledgement says when the broker refused a
// message (too large, not allowed): such a sample is counted as dropped and
// said, never as sent.  A broker that refuses version 5 is spoken to in
// MQTT 3.1.1, which cannot tell a refusal from success.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Mereni.h"
#include "Nastaveni.h"
#include "Oznamovatel.h"
#include "Zprava.h"

// What the publishing does now.  Texts are Windows-1250.
struct TStavPublikace {
  bool Zapnuto = false;          // settings turn it on and can be used
  bool Pripojeno = false;        // connected to the broker
  std::string Broker;            // "server:port"
  uint64_t Odeslano = 0;         // acknowledged by the broker since the program started
  uint64_t Ceka = 0;             // in the store, not acknowledged yet
  uint64_t Zahozeno = 0;         // dropped: the store was full or could not be written, the
                                 // broker refused the message
  int64_t PotvrzenoPoradi = -1;  // the last sample acknowledged: its number,
  int64_t PotvrzenoCasMs = 0;    // and when it was taken (ms since the epoch)
  std::string Chyba;             // the last failure, empty while all is well
  std::string Protokol;          // "MQTT 5", "MQTT 3.1.1"; empty before the first connection
  // The latest texts for the operator (failures, drops), oldest first; a
  // reader says those numbered above the last it said.
  std::vector<TOznameniPublikace> Oznameni;
};

class TPublikace {
 public:
  struct TParametry {
    TNastaveniPublikace Nastaveni;
    std::string Tema;              // the topic prefix, UTF-8
    std::string Klient;            // the client id, UTF-8
    std::string Uloha;             // the task's name in topics, UTF-8
    std::filesystem::path Slozka;  // the store's folder
  };
  explicit TPublikace(TParametry p);
  // Stops as Ukonci(5000) does; after Ukonci or ZacniKonec it waits no
  // longer than the end they set.
  ~TPublikace();
  TPublikace(const TPublikace&) = delete;
  TPublikace& operator=(const TPublikace&) = delete;

  // Hands a sample over without waiting (any thread; the window's and the
  // logger's main thread).
  void Vzorek(TVzorekZpravy v);
  // The state topic: "online" while measuring, "offline" after it.
  void NastavMereni(bool bezi);
  TStavPublikace Stav() const;
  const TParametry& Parametry() const;
  // Ends the publishing within `ms` milliseconds: the samples handed over
  // are stored, the broker's acknowledgements of what is stored are awaited
  // (what is not acknowledged stays in the store for the next run), then
  // "offline" and a clean disconnect, all before the end.  Waits for it, and
  // never past the end (a thread held up in the system, resolving a name, is
  // left to end by itself); true when nothing was left unacknowledged.  An
  // end set before stays when it is sooner.
  bool Ukonci(int ms);
  // The same without waiting: the threads end by themselves.
  void ZacniKonec(int ms);
  bool Skonceno() const;

 private:
  struct TJadro;
  std::shared_ptr<TJadro> j_;
  void CekejNaKonec() const;
};

// Publishing for a measurement, as the window and the logger use it: an
// observer of the measurement that reads the settings at each start
// (`soubor`), publishes every sample written, and keeps publishing what is
// stored after the measurement has stopped, until the program ends.  One
// publisher per task and program; another task's replaces it.
class TPublikaceMereni : private TPozorovatelMereni {
 public:
  // `program` names the program in the default client id ("zq-datalogger",
  // "zq-logger").
  TPublikaceMereni(TMereni& mereni, std::string program, std::filesystem::path soubor);
  // Ends every publisher, all within 5 s.
  ~TPublikaceMereni();
  TPublikaceMereni(const TPublikaceMereni&) = delete;
  TPublikaceMereni& operator=(const TPublikaceMereni&) = delete;

  // The settings file and the state of the current publisher (off: none).
  const std::filesystem::path& Soubor() const { return soubor_; }
  TStavPublikace Stav() const;
  // What is wrong with the settings read at the last start (Windows-1250);
  // empty when they were fine or publishing is off.
  const std::string& ChybaNastaveni() const { return chybaNastaveni_; }
  // Told of a text the operator should read, Windows-1250: what the
  // settings file holds that nobody reads (a text per key or section, each
  // once per start, which reads the file) and settings that cannot be used
  // (after those).
  std::function<void(const std::string&)> Hlaseni;
  // Ends the publishing now, every publisher within the same `ms` (the
  // program's exit); the state stays readable.
  void Ukonci(int ms);

 private:
  void MereniZahajeno(const TUlohaMereni& uloha) override;
  void VzorekZapsan(const TVzorekMereni& vzorek, const TUlohaMereni& uloha) override;
  void MereniZastaveno() override;

  TMereni& mereni_;
  std::string program_;
  std::filesystem::path soubor_;
  std::string chybaNastaveni_;
  std::unique_ptr<TPublikace> publikace_;
  std::vector<std::unique_ptr<TPublikace>> konci_;  // others' publishers draining
  TStavPublikace posledni_;                         // of the one that ended
};
