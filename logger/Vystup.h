#pragma once
// Standard output and standard error that never hold the program up.
//
// A pipe nobody reads (a stalled consumer, a journal that stopped reading,
// a terminal stopped with Ctrl-S) fills up, and a plain write() to it then
// blocks the thread that writes: for the logger that is the main thread,
// which also writes the data file and serves the stop.  Here every write is
// tried without blocking; complete lines that do not go out at once wait in
// a bounded buffer and go out with the next write, and lines that do not
// fit in it are dropped whole and counted.  When the output flows again the
// first line says how many were dropped; at the end the program waits a
// bounded time for what is still waiting.
//
// The descriptor's open file description is shared with whoever else writes
// to the same pipe or terminal (the shell that started the program), so its
// flags are left alone: a pipe or a terminal is opened once more through
// /proc/self/fd with O_NONBLOCK of its own, a socket (the journal's) is
// written with MSG_DONTWAIT, and a regular file, which never blocks on a
// reader, as it is.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <streambuf>
#include <string>
#include <string_view>

class TNeblokujiciVystup : public std::streambuf {
 public:
  // `fd` stays open and is not closed here; `kapacita` bytes of complete
  // lines may wait for the reader.
  explicit TNeblokujiciVystup(int fd, size_t kapacita = 64 * 1024);
  ~TNeblokujiciVystup() override;
  TNeblokujiciVystup(const TNeblokujiciVystup&) = delete;
  TNeblokujiciVystup& operator=(const TNeblokujiciVystup&) = delete;

  // Any thread: appends `text` as if written through the stream (Qt's
  // messages come from any thread).
  void Pridej(std::string_view text);
  // Waits at most `ms` milliseconds for what waits to go out; what is left
  // then is dropped and counted.  The count of dropped lines is said first
  // if it fits.
  void Dopis(int ms);
  // Lines dropped so far, and whether the output failed for good (its
  // reader is gone: EPIPE).
  uint64_t Vynechano() const;
  bool Selhal() const;
  // The descriptor that writes without blocking (for a signal handler's
  // last words); the original one where no other exists.
  int Popisovac() const { return fd_; }

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* s, std::streamsize n) override;
  int sync() override;

 private:
  enum class TDruh { Soubor, Soket, Vlastni, Hlidany };
  // Under the lock: takes `text` in, queues the complete lines, writes.
  void PridejZamceno(std::string_view text);
  void ZaradRadek(const std::string& radek);
  // Writes what waits as far as it goes now; false when the output failed.
  bool Zapis();
  ssize_t ZapisKus(const char* data, size_t n);

  mutable std::mutex m_;
  int fd_ = -1;
  bool vlastni_ = false;  // fd_ was opened here
  TDruh druh_ = TDruh::Soubor;
  size_t kapacita_;
  std::string radek_;     // the line being composed
  std::string cekajici_;  // complete lines not written yet
  uint64_t vynechano_ = 0;
  uint64_t oznameno_ = 0;  // dropped lines already said
  bool selhal_ = false;
};
