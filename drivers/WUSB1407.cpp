// Interface library of the USB-1407 converter, which Linux presents as a
// USB serial port.  The device is, in this order: the one named by
// dosdevices/usb1407 in the program's folder; the first entry of
// /dev/serial/by-id whose name holds "1407"; the first of /dev/ttyUSB0 to
// /dev/ttyUSB9 that exists.  A converter pulled out and plugged in again is
// looked for by a later read where the opening found it: one named by the
// override only through the override (while it is gone the converter is
// away; the search might find another device), any other by the search, so
// it may come back under another node.
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "Ovladac.h"
#include "Seriova.h"

namespace {

zqdrv::TTabulka tabulka;

// The converter's device where no override names it.
std::optional<std::string> NajdiPrevodnik() {
  const std::string slozka = "/dev/serial/by-id/";
  std::error_code ec;
  std::vector<std::string> jmena;
  for (const auto& e : std::filesystem::directory_iterator(slozka, ec))
    if (e.path().filename().string().find("1407") != std::string::npos)
      jmena.push_back(e.path().filename().string());
  std::sort(jmena.begin(), jmena.end());
  if (!jmena.empty()) return slozka + jmena.front();
  for (int i = 0; i < 10; ++i) {
    const std::string zarizeni = "/dev/ttyUSB" + std::to_string(i);
    struct stat st {};
    if (stat(zarizeni.c_str(), &st) == 0) return zarizeni;
  }
  return std::nullopt;
}

}  // namespace

ZQ_VEREJNE int32_t WUSB1407_Init(int32_t* handle) {
  return zqdrv::Chranene(zqdrv::KodOtevreni, [&] {
    if (handle == nullptr) return zqdrv::KodParametr;
    std::unique_ptr<zqdrv::TSpojeni> spojeni;
    const int32_t kod = zqdrv::OtevriSeriovyPort(zqdrv::PrepisNeboJinak("usb1407", NajdiPrevodnik),
                                                 spojeni, zqdrv::KodUsbNenalezen);
    if (kod != zqdrv::KodOk) return kod;
    return tabulka.Pridej(std::move(spojeni), handle);
  });
}

ZQ_SPOLECNE_VSTUPY(WUSB1407, tabulka)
