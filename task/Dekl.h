#pragma once
// The measuring task: records, defaults, valid ranges, the task file and the
// settings file.  Every text is Windows-1250.

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

struct TCFG {
  std::string Uloha;     // bare file name of the task file
  std::string Rozhrani;  // interface type name
  int32_t PortCOM = 0;
  int32_t BazovaAdresa = 0;
  std::string IPAdresa;
  int32_t UDPPort = 0;
  int32_t LANTimeout = 0;
  int32_t RS485Rychlost = 0;
  int32_t RS485Timeout = 0;
  int32_t RS485Opakovani = 0;
  int32_t Perioda = 0;  // index into the period table
  int32_t PocetKanalu = 0;
  int32_t ChybovaHodnota = 0;  // 0 clear the value on a failed read, 1 keep it
  std::string JmenoSouboru;    // data file
  int32_t Volby = 0;           // option bits of the data file
};

struct TKanal {
  std::string Nazev;
  uint8_t Adresa = 0;
  uint8_t Funkce = 0;
  uint8_t Periferie = 0;
  std::string Format;
  int32_t DesetinnaMista = 0;
  double KonstK = 0.0;
  double KonstQ = 0.0;
  // last reading
  int32_t HodnotaU32 = 0;
  double HodnotaF32 = 0.0;
  uint32_t HodnotaB32 = 0;
  std::string Hodnota;
  uint8_t Chyba = 0;
};

// Entries 0..255 are channels (the first PocetKanalu of them are defined);
// entry 256 is the spare slot of the channel list dialog.
using TPoleKanal = std::array<TKanal, 257>;

inline constexpr int MaxKanalu = 256;

// Option bits of Volby.
inline constexpr int32_t VolbaZahlavi = 1;
inline constexpr int32_t VolbaIndex = 2;
inline constexpr int32_t VolbaDatum = 4;
inline constexpr int32_t VolbaCas = 8;
inline constexpr int32_t VolbaChyba = 16;

// Interface type names.
inline constexpr std::string_view RozhraniCOM = "COMx";
inline constexpr std::string_view RozhraniPCI407 = "PCI-407";
inline constexpr std::string_view RozhraniPCI1407 = "PCI-1407";
inline constexpr std::string_view RozhraniUSB = "USB-1407";
inline constexpr std::string_view RozhraniZQ = "ZQ-1407";
inline constexpr std::string_view RozhraniZQU = "ZQ-1407U";

// Default IP address of the LAN converter.
inline constexpr std::string_view VychoziIPAdresa = "192.168.1.100";
inline constexpr std::string_view VychoziUloha = "NovaUloha.zq";
inline constexpr std::string_view VychoziJmenoSouboru = "ZQ_datalogger.txt";
inline constexpr std::string_view JmenoNastaveni = "ZQ_datalogger.ini";

void InitCFG(TCFG& u);
void InitKanaly(TPoleKanal& k);

// Base-address text ("300h", "0300H", "$300", "0x300", "768") to a number.
// Returns false (and 768) when the text does not convert.
bool AdresaZTextu(std::string_view text, int32_t& adresa);

// What the readers of a task file found missing or out of range.  The
// readers themselves go on as designed (defaults for what is missing,
// replacements for what is out of range); whoever asked for this list
// decides what the operator is told, and the headless logger whether it
// may measure at all.  Texts are Windows-1250.
struct TNalezyUlohy {
  // Sections and keys a save always writes that the file lacks:
  // "[Ch3]", "[Ch5] až [Ch7]", "[Ch2] Formát", "[Konfigurace] Počet kanálů".
  std::vector<std::string> Chybi;
  // What a replaced value changes of a measurement.
  enum class TDopad {
    // Only when and how fast the bus is read, or how a value is rounded:
    // the period, the line's speed, time-outs and retries, a channel's
    // decimals or name.
    Casovani,
    // What is read, how it is converted, or where and in which columns it
    // is written: every other key.
    Mereni,
    // The interface's name, or a field by which the interface reaches its
    // device: the COM port number (COMx), the base address (PCI-407), the IP
    // address and UDP port (LAN converter).
    Rozhrani,
  };
  struct TNahrada {
    std::string Klic;  // "[Připojení] UDP port"
    std::string Bylo;  // the file's text, or the number read
    std::string Je;    // what the task holds instead
    TDopad Dopad = TDopad::Mereni;
  };
  std::vector<TNahrada> Nahrazeno;
  bool Prazdne() const { return Chybi.empty() && Nahrazeno.empty(); }
  // Something missing, or a replaced value that changes more than timing
  // or rounding: a task that must not be measured without a person, since
  // it would measure something else than its file says.
  bool Zavazne() const;
  // A replaced value that would lead the interface to another device.
  bool JineZarizeni() const;
  // One line for a status bar: what was missing, then what was replaced, at
  // most `polozek` items of each with a count of the rest.
  std::string Text(size_t polozek = 3) const;
};

// Replaces values outside their ranges after a task was read from a file;
// each replacement is noted in `nalezy` when given.
void NormalizujCFG(TCFG& u, TNalezyUlohy* nalezy = nullptr);
// Decimal places clamped to 0..7; the format lower-cased, unknown -> "uint32".
void NormalizujKanal(TKanal& k);

// Measuring-period table.
inline constexpr int PocetPeriod = 11;
int32_t PeriodaSekund(int32_t perioda);  // 1 for an index outside the table
// Window list entry of a period index ("1 sek" .. "1 hod"), Windows-1250.
std::string PeriodaText(int32_t perioda);

// Task file in the program's folder.  The writers throw TChybaZapisu
// (platform/Profil.h) when the system refuses the write; the file is then
// unchanged.  Each operation reads and writes the file once.
bool ZapisUlohu(const TCFG& u);
bool ZapisKanaly(const TCFG& u, const TPoleKanal& k);
bool PrectiUlohu(TCFG& u);
bool PrectiKanaly(const TCFG& u, TPoleKanal& k);
// ZapisUlohu and ZapisKanaly with one reading and one writing of the file.
// False, with nothing written, when the file is there, not empty, and holds
// no task: what is not a task file is never written into.
bool ZapisCelouUlohu(const TCFG& u, const TPoleKanal& k);
// The same readers for a task file anywhere (the headless logger's task
// given by a path).  Uloha is not touched.
bool PrectiUlohuZ(const std::filesystem::path& soubor, TCFG& u);
bool PrectiKanalyZ(const std::filesystem::path& soubor, TPoleKanal& k);

// PrectiUlohuZ and PrectiKanalyZ from one reading of the file, with what
// they found missing or out of range (the channels 0..PocetKanalu-1 of the
// task as read).
struct TCteniUlohy {
  bool Uloha = false;   // PrectiUlohuZ's result
  bool Kanaly = false;  // PrectiKanalyZ's result
  TNalezyUlohy Nalezy;
};
TCteniUlohy PrectiCelouUlohu(const std::filesystem::path& soubor, TCFG& u, TPoleKanal& k);
// The same for the task file u.Uloha in the program's folder (PrectiUlohu
// and PrectiKanaly from one reading).
TCteniUlohy PrectiCelouUlohu(TCFG& u, TPoleKanal& k);

// Settings file "ZQ_datalogger.ini" in the program's folder.
bool PrectiNastaveni(TCFG& u);
bool ZapisNastaveni(const TCFG& u);

// The file name in the program's folder that a task name stands for: the
// name without any folder part; empty, "." and ".." give "NovaUloha.zq".
// A name that differs from its JmenoUlohy would lead elsewhere: the window
// takes the bare name instead and says so.
std::string JmenoUlohy(std::string_view uloha);
