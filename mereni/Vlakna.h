#pragma once
// The two worker threads of a measurement.  Neither touches the window: each
// runs its window work in the main thread through a blocking call.  Both free
// themselves when their loops return.

#include <QObject>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "Dekl.h"
#include "Mereni.h"

class QTimer;

// Work the worker threads hand to the main thread.  A worker queues a job
// and blocks until the main thread has run it; the main thread is woken
// through an event descriptor its event loop watches, so every wait of the
// main thread that keeps the loop going (the stop, a modal dialog) serves
// the jobs.  Only standard locks guard the hand-over, so the thread checkers
// the tests run under see it.
class TFrontaHlavnihoVlakna : public QObject {
 public:
  explicit TFrontaHlavnihoVlakna(QObject* rodic);  // in the main thread
  ~TFrontaHlavnihoVlakna() override;
  // Any thread but the main one: runs `prace` in the main thread and returns
  // when it has run.
  void Proved(std::function<void()> prace);
  // Any thread: has `prace` run in the main thread soon, without waiting for
  // it (for work that itself waits for the calling thread to end).
  void Posli(std::function<void()> prace);

 private:
  struct TUkol;
  // Queues a job and wakes the main thread.
  void Zarad(TUkol* ukol);
  void Obsluz();
  int fd_ = -1;
  std::mutex m_;
  std::deque<TUkol*> fronta_;
};

// Reads handed from the acquisition thread to the main thread without
// waiting for it: the thread queues a record per read and goes on with the
// next request; the main thread applies what is queued, in order, in a
// batch per turn of its event loop.  The thread wakes it (an event
// descriptor its loop watches) only when it is idle; a main thread that has
// just taken a batch looks again by itself a few milliseconds later, so a
// busy line costs the main thread tens of wakes a second, not one per read.
// Bounded: a thread that finds a pass's worth of records not yet applied
// waits until the main thread takes them, so memory never grows with a
// main thread that is held up.
class TFrontaCteni : public QObject {
 public:
  using TZaznam = std::pair<uint64_t, TPrecteno>;  // the measurement's generation, the read
  // In the main thread; `zpracuj` gets the records taken in a batch.
  TFrontaCteni(std::function<void(std::deque<TZaznam>&)> zpracuj, QObject* rodic);
  ~TFrontaCteni() override;
  TFrontaCteni(const TFrontaCteni&) = delete;
  TFrontaCteni& operator=(const TFrontaCteni&) = delete;
  // The acquisition thread: queues a record; with `kapacita` records queued
  // already, waits until the main thread has taken them or `konec()`
  // (the record is then dropped).
  void Vloz(TZaznam zaznam, size_t kapacita, const std::function<bool()>& konec);
  // The main thread: applies what is queued now.
  void Zpracuj();

 private:
  std::function<void(std::deque<TZaznam>&)> zpracuj_;
  int fd_ = -1;
  std::mutex m_;
  std::condition_variable misto_;  // the main thread took a batch
  std::deque<TZaznam> fronta_;
  // The main thread will look again by itself (it took a batch and has its
  // timer set, or it has been woken): nobody needs to wake it.
  bool podivaSe_ = false;
  QTimer* znovu_ = nullptr;
};

// Waiting that an end request cuts short.
class TPreruseni {
 public:
  void Pozadej();
  bool Pozadano() const;
  // Sleeps `ms` milliseconds or until an end is requested; true when requested.
  bool Cekej(uint32_t ms);

 private:
  mutable std::mutex m_;
  std::condition_variable cv_;
  bool pozadano_ = false;
};

// What the two worker threads share: the end request, the measurement
// generation they belong to, the blocking call into the main thread, and
// freeing themselves once their loop has returned.
//
// A plain std::thread, not a QThread: a QThread runs Qt's own code around
// the loop (its event dispatcher, the `finished` signal posted to the main
// thread's queue) under locks a thread checker cannot see, while everything
// this thread hands over goes through the standard locks of the queues above.
// Its last act is to ask the main thread, through that same queue, to join
// it and free it; a thread stuck in a library call is never joined (the
// program leaves with _Exit).
class TPracovniVlakno {
 public:
  TPracovniVlakno(TMereni* mereni, uint64_t generace);
  virtual ~TPracovniVlakno();
  TPracovniVlakno(const TPracovniVlakno&) = delete;
  TPracovniVlakno& operator=(const TPracovniVlakno&) = delete;
  // Main thread: starts the thread, named `jmeno` for debuggers (at most 15
  // characters).
  void Spust(const char* jmeno);
  void Ukonci();  // requests the end; the thread ends at its next test

 protected:
  virtual void Smycka() = 0;
  bool Konec() const { return preruseni_.Pozadano(); }
  // Sleeps `ms` milliseconds or until the end is requested; true when requested.
  bool Spi(uint32_t ms) { return preruseni_.Cekej(ms); }
  // This thread belongs to the measurement that runs now.
  bool Moje() const;
  // The measurement generation this thread was started for.
  uint64_t Generace() const { return generace_; }
  // Runs `prace` in the main thread and waits until it has run.
  void VHlavnimVlakne(std::function<void()> prace);

  TMereni* mereni_;

 private:
  void Beh(const std::string& jmeno);
  // Main thread, once the loop has returned: joins the thread and frees it.
  void Uvolni();

  uint64_t generace_;
  TPreruseni preruseni_;
  std::thread vlakno_;
};

// The acquisition thread: reads every channel about once a second.
class TKomThread : public TPracovniVlakno {
 public:
  using TPracovniVlakno::TPracovniVlakno;

  TCFG Cfg;
  uint8_t TypRozhrani = 0;
  int32_t HandleRozhrani = 0;
  bool ChybaKomunikace = false;
  std::string PosledniChyba;

 private:
  void Smycka() override;
  // Reads channel i, stores the reading and hands it to the main thread.
  void CtiKanal(size_t i);

  // The interface library broke during this pass (a fault inside one of its
  // calls): the pass ends and the measurement is asked to stop.
  bool KnihovnaPorouchana = false;
};

// The logging thread: one sample of all channels per measuring period.
class TFileThread : public TPracovniVlakno {
 public:
  using TPracovniVlakno::TPracovniVlakno;

  TCFG Cfg;

 private:
  void Smycka() override;
};
