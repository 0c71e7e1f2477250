#include "ChybySouboru.h"

#include <cerrno>

#include "Cp1250.h"

std::string PricinaChyby(int kod) {
  const char* text = nullptr;
  switch (kod) {
    case 0: return {};
    case ENOSPC: text = "disk je plný"; break;
    case EDQUOT: text = "překročena disková kvóta"; break;
    case EACCES:
    case EPERM: text = "chybí oprávnění k zápisu"; break;
    case EROFS: text = "systém souborů je jen pro čtení"; break;
    case EIO: text = "chyba vstupu/výstupu disku"; break;
    case ENOENT:
    case ENOTDIR: text = "složka souboru neexistuje"; break;
    case EISDIR: text = "na místě souboru je složka"; break;
    case EFBIG: text = "soubor je příliš velký"; break;
    case ENAMETOOLONG: text = "příliš dlouhé jméno souboru"; break;
    case EMFILE:
    case ENFILE: text = "příliš mnoho otevřených souborů"; break;
    case EBUSY:
    case ETXTBSY: text = "soubor je používán"; break;
    case ChybaJinyObsah: text = "soubor obsahuje jiné sloupce než úloha"; break;
    case ChybaNeniSoubor: text = "na místě souboru je složka, roura nebo zařízení"; break;
    case ChybaVnitrni: text = "vnitřní chyba zápisu"; break;
    default: return Cp1250("systémová chyba ") + std::to_string(kod);
  }
  return Cp1250(text);
}
