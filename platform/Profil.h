#pragma once
// Profile (INI) files: one read and one write per operation.
//
// The whole file is read into memory when a TProfil is made; keys are read
// and written in memory; Uloz() writes the file back once, atomically.
//
// Rules:
//  - section and key names match without regard to letter case, Czech
//    letters of Windows-1250 included (MalePismeno1250);
//  - a value is the text after the first '=' of its line, blanks at both
//    ends removed, one pair of enclosing quotation marks removed, at most
//    2047 characters;
//  - the first of duplicate sections or keys is the one read and written;
//  - writing replaces the value of an existing key where it stands, appends
//    a missing key at the end of its section and a missing section at the
//    end of the file; nothing is ever removed; lines that are neither
//    section headers nor keys stay as they are;
//  - lines end in CR LF when written; a file with LF-only or CR-only line
//    ends, NUL bytes, binary junk or a UTF-8 byte-order mark is still read
//    without failing.
//
// Names, values and defaults pass in and out as Windows-1250 whatever the
// file's encoding (TKodovani).

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// A write the system refused.  what() is "Unable to write to <path>" with the
// path as Windows-1250 text.
class TChybaZapisu : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// How a profile file's bytes are text.
enum class TKodovani {
  // The task files and ZQ_datalogger.ini, whose bytes are given: Windows-1250
  // as they stand; only ';' begins a comment.
  Cp1250,
  // The program's own settings files, which people also type in editors of
  // their own: UTF-8 when the whole file (after a byte-order mark) is valid
  // UTF-8, Windows-1250 otherwise; written back in the encoding it was read
  // in, a new file in UTF-8.  ';' or '#' as the first non-blank character
  // of a line begins a comment.  Writing the value a key already reads
  // leaves its line as it is, characters Windows-1250 lacks included.
  Utf8NeboCp1250,
};

// A section a settings file of ours may hold and its keys (Windows-1250).
// An empty Sekce stands for every section not named in another entry (a
// section per task).
struct TZnameKlice {
  std::string Sekce;
  std::vector<std::string> Klice;
};

class TProfil {
 public:
  // Reads the file; a missing or unreadable file gives an empty profile.
  explicit TProfil(std::filesystem::path cesta, TKodovani kodovani = TKodovani::Cp1250);

  const std::filesystem::path& Cesta() const { return cesta_; }
  // True when the file existed and was read.
  bool Precten() const { return precten_; }
  // Why a file that is there could not be read (an errno value: EACCES for
  // a file of another user); 0 when it was read or is not there.
  int ChybaCteni() const { return chybaCteni_; }
  // True when there was no file or it held nothing.
  bool Prazdny() const { return !precten_ || prazdny_; }

  // Whether the file holds the section, or the key in its section.
  bool MaSekci(std::string_view sekce) const;
  bool MaKlic(std::string_view sekce, std::string_view klic) const;

  std::string CtiText(std::string_view sekce, std::string_view klic,
                      std::string_view vychozi) const;
  // Rule of TextNaCele; a missing key or a text that does not convert gives
  // `vychozi`.
  int32_t CtiCislo(std::string_view sekce, std::string_view klic, int32_t vychozi) const;

  // True when the file's text is UTF-8 (a new file of ours included).
  bool JeUtf8() const { return utf8_; }

  // What the file holds that nobody reads, as the operator should be told:
  // a message per section or key not among `zname`, per repeated section or
  // key (only the first is read), per key before the first section and per
  // line that is neither a key, a section, a comment nor blank; in Czech
  // (Windows-1250), each naming the file, in the order of the file.  Line
  // numbers are those of the file as read: ask before writing.
  std::vector<std::string> Nezname(const std::vector<TZnameKlice>& zname) const;

  // The file will hold a secret (a password): Uloz() leaves it readable and
  // writable by its owner only, whatever its mode was.
  void NastavSoukromy() { soukromy_ = true; }

  void ZapisText(std::string_view sekce, std::string_view klic, std::string_view hodnota);
  void ZapisCislo(std::string_view sekce, std::string_view klic, int32_t hodnota);

  // Writes the file: a temporary file in the same folder, flushed and
  // renamed over the old one.  Throws TChybaZapisu when refused (also when
  // the file is there but could not be read, or is read-only); the file on
  // disk is then unchanged.  Does nothing when nothing was written since the
  // file was read.
  void Uloz();

 private:
  // One section: its header line and the lines after it up to the next
  // header.  The lines before the first header form a section of their own
  // with an empty header that is never looked up.
  struct TSekce {
    std::string Hlavicka;
    std::vector<std::string> Radky;                 // lines without their line ends
    std::unordered_map<std::string, size_t> Klice;  // folded name -> first line of the key
  };

  void Nacti(std::string_view obsah);
  // Text of the file <-> Windows-1250.
  std::string ZeSouboru(std::string_view text) const;
  std::string DoSouboru(std::string_view cp1250) const;
  std::optional<std::string_view> Klic(std::string_view radek) const;
  std::string Slozene(std::string_view jmeno) const;
  const std::string* NajdiRadek(std::string_view sekce, std::string_view klic) const;
  std::string Obsah() const;

  std::filesystem::path cesta_;
  TKodovani kodovani_;
  bool utf8_ = false;  // lines are held as the file has them: UTF-8 bytes
  bool precten_ = false;
  bool prazdny_ = true;
  bool zmeneno_ = false;
  bool soukromy_ = false;
  bool bom_ = false;        // the file began with a UTF-8 byte-order mark; kept
  bool nelzeCist_ = false;  // the file is there but could not be read: never overwritten
  int chybaCteni_ = 0;
  std::vector<TSekce> sekce_;
  std::unordered_map<std::string, size_t> indexSekci_;  // folded name -> first section
};

// How many times a profile file was opened for reading or writing since the
// program started (the benchmark's check of one read and one write per
// operation).
uint64_t PocetOtevreniProfilu();
