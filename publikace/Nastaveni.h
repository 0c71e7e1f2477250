#pragma once
// The settings of publishing samples to an MQTT broker: ZQ_publikace.ini
// beside ZQ_datalogger.ini, section "MQTT".  The file is UTF-8 or
// Windows-1250 (TKodovani::Utf8NeboCp1250: administrators type it on
// servers); the texts here are Windows-1250 as everywhere in the program.
// An empty or missing "Server" turns publishing off, which is the default:
// nothing changes for anyone who never sets it.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::string_view JmenoNastaveniPublikace = "ZQ_publikace.ini";

enum class TFormatZpravy { Json, Influx };

struct TNastaveniPublikace {
  // Why the file, which is there, could not be read (Windows-1250); the
  // publishing is then off, and says so.
  std::string ChybaCteni;
  std::string Server;    // host name or address; empty: publishing off
  int32_t Port = 1883;   // 1..65535
  std::string Tema;      // topic prefix; empty: "zentrolix/<host name>"
  std::string Klient;    // client id; empty: "<host name>-<program>-<task name>"
  std::string Uzivatel;  // empty: no login
  std::string Heslo;
  std::string CA;          // a CA file: TLS when given
  std::string Certifikat;  // the client's certificate and its private key
  std::string Klic;        // (PEM files), both or neither; they need CA
  std::string Format;      // "json" (default) or "influx"
  int32_t FrontaMB = 256;  // the store's limit on disk
  bool Zapnuto() const { return !Server.empty(); }
};

// Reads the file; defaults for what is missing.  `nezname` gets what the
// file holds that is not read (a misspelt key, a section nobody reads), a
// message each in Czech (Windows-1250).
TNastaveniPublikace PrectiNastaveniPublikace(const std::filesystem::path& soubor,
                                             std::vector<std::string>* nezname = nullptr);
// Writes every key; a file holding a password is readable by its owner
// only.  Throws TChybaZapisu (platform/Profil.h) when refused.
void ZapisNastaveniPublikace(const std::filesystem::path& soubor, const TNastaveniPublikace& n);

// What is wrong with settings that turn publishing on, in Czech
// (Windows-1250): an unknown format, a port or limit out of range, a CA,
// certificate or key file that cannot be read, a key that others can read
// or that is locked by a passphrase.  Empty when they can be used.  The
// password is never part of a text.
std::string ChybaNastaveni(const TNastaveniPublikace& n);
TFormatZpravy FormatZpravy(const TNastaveniPublikace& n);
// A file of the settings (CA, Certifikat, Klic) as a path: a relative name
// lies in the program's folder.
std::filesystem::path CestaSouboruPublikace(std::string_view jmenoCp1250);

// The name of this machine, for the default topic and client id.
std::string JmenoStroje();
// The task's name in topics: the task file's name without ".zq", the
// characters MQTT reserves in topics ('+', '#', '/') replaced by '_'.
// UTF-8.
std::string UlohaVTematu(std::string_view ulohaCp1250);
// The topic prefix and the client id the settings give (UTF-8): the
// defaults filled in for `program` ("zq-datalogger", "zq-logger") and the
// task.
std::string TemaPublikace(const TNastaveniPublikace& n);
std::string KlientPublikace(const TNastaveniPublikace& n, std::string_view program,
                            std::string_view ulohaCp1250);
