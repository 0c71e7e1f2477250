#include "Publikace.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "ChybySouboru.h"
#include "Cp1250.h"
#include "Slozka.h"
#include "Uloziste.h"

namespace {

using THodiny = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Records taken while the broker was not connected: historical when sent.
constexpr uint32_t PriznakOdpojeno = 1;
// Samples handed over but not stored yet: a store thread held up for
// minutes (a disk that hangs) drops the oldest rather than grow.
constexpr size_t MaxPredavanych = 1024;
// Messages published and not acknowledged at a time: libmosquitto itself
// would queue without limit.
constexpr size_t OknoOdeslani = 16;
// libmosquitto's least: with nothing to send, a broker that stopped
// answering is noticed by the keep-alive within 10 s.
constexpr int KeepaliveS = 5;
// The broker answers within this, or the link counts as dead (a frozen
// broker, a network gone without a reset, a port that swallows connection
// attempts): the connection is dropped and made again.  A connection it has
// not accepted (TCP, TLS, its CONNACK) is given up after it, as the
// keep-alive gives it up; a sample unacknowledged this long while nothing
// else came from the broker likewise.  Counted from the last
// acknowledgement too, so that a slow link that still acknowledges is no
// dead one.
constexpr auto LimitOdpovedi = 5s;
// A connection that held this long counts as working (Oznamovatel.h).
constexpr auto SpojeniDrzi = 60s;
// The last part of the time given to the end, kept for "offline" and the
// disconnect.
constexpr auto RezervaKonce = 300ms;
// A message the library refused to send: larger than the broker takes.
constexpr int KodPrilisVelka = -1;

int64_t TedMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

void InicializujKnihovnu() {
  static std::once_flag jednou;
  std::call_once(jednou, [] { mosquitto_lib_init(); });
}

// A failure of libmosquitto in the operator's words; the library's own
// (English) text follows as a detail only where no Czech one is known.
std::string TextChyby(int rc, int chybaSystemu, const std::string& broker, bool certifikat) {
  const std::string b = Cp1250(broker);
  switch (rc) {
    case MOSQ_ERR_EAI:
    case MOSQ_ERR_LOOKUP: return Cp1250("jméno serveru ") + b + Cp1250(" nelze přeložit");
    case MOSQ_ERR_TLS:
    case MOSQ_ERR_TLS_HANDSHAKE:
    case MOSQ_ERR_OCSP:
      return Cp1250("spojení TLS se ") + b +
             Cp1250(certifikat ? " nepodařilo (certifikát CA, jméno serveru, certifikát nebo klíč "
                                 "klienta)"
                               : " nepodařilo (certifikát CA, jméno serveru, nebo broker žádá "
                                 "certifikát klienta)");
    case MOSQ_ERR_CONN_LOST: return Cp1250("spojení s ") + b + Cp1250(" přerušeno");
    case MOSQ_ERR_NO_CONN: return Cp1250("s ") + b + Cp1250(" není spojení");
    case MOSQ_ERR_CONN_REFUSED: return Cp1250("broker ") + b + Cp1250(" odmítl spojení");
    case MOSQ_ERR_KEEPALIVE:
      return Cp1250("broker ") + b + Cp1250(" přestal odpovídat (keep-alive ") +
             std::to_string(KeepaliveS) + " s)";
    case MOSQ_ERR_PROTOCOL:
    case MOSQ_ERR_MALFORMED_PACKET:
    case MOSQ_ERR_MALFORMED_UTF8:
    case MOSQ_ERR_DUPLICATE_PROPERTY:
      return Cp1250("broker ") + b + Cp1250(" porušil protokol MQTT, spojení se ruší");
    case MOSQ_ERR_AUTH: return Cp1250("broker odmítl přihlášení (jméno nebo heslo)");
    case MOSQ_ERR_ADMINISTRATIVE_ACTION:
      return Cp1250("broker ") + b + Cp1250(" ukončil spojení zásahem správce");
    case MOSQ_ERR_NOMEM: return Cp1250("pro spojení s ") + b + Cp1250(" není dost paměti");
    case MOSQ_ERR_ERRNO:
      // The library's word for a failure of TLS after the handshake.
      if (chybaSystemu == EPROTO) return Cp1250("spojení TLS s ") + b + Cp1250(" selhalo");
      if (chybaSystemu == ECONNREFUSED) return Cp1250("broker ") + b + Cp1250(" nepřijímá spojení");
      if (chybaSystemu == ETIMEDOUT || chybaSystemu == EHOSTUNREACH || chybaSystemu == ENETUNREACH)
        return Cp1250("broker ") + b + Cp1250(" je nedosažitelný");
      return Cp1250("spojení s ") + b + Cp1250(" selhalo: ") + PricinaChyby(chybaSystemu);
    default:
      return Cp1250("spojení s ") + b + Cp1250(" selhalo, chyba knihovny MQTT č. ") +
             std::to_string(rc) + Cp1250(" (knihovna: ") + Cp1250(mosquitto_strerror(rc)) + ")";
  }
}

// The broker's answer to a connection that refuses it: an MQTT 3.1.1 code
// (1 to 5) or an MQTT 5 reason code (from 128), which never overlap.
std::string TextOdmitnuti(int rc, const std::string& klient) {
  switch (rc) {
    case CONNACK_REFUSED_PROTOCOL_VERSION:
    case MQTT_RC_UNSUPPORTED_PROTOCOL_VERSION:
      return Cp1250("broker nepodporuje verzi protokolu MQTT 5 ani 3.1.1");
    case CONNACK_REFUSED_IDENTIFIER_REJECTED:
    case MQTT_RC_CLIENTID_NOT_VALID:
      return Cp1250("broker odmítl identifikátor klienta \"") + Cp1250(klient) + "\"";
    case CONNACK_REFUSED_SERVER_UNAVAILABLE:
    case MQTT_RC_SERVER_UNAVAILABLE: return Cp1250("služba brokeru není dostupná");
    case CONNACK_REFUSED_BAD_USERNAME_PASSWORD:
    case CONNACK_REFUSED_NOT_AUTHORIZED:
    case MQTT_RC_BAD_USERNAME_OR_PASSWORD:
    case MQTT_RC_NOT_AUTHORIZED: return Cp1250("broker odmítl přihlášení (jméno nebo heslo)");
    case MQTT_RC_BAD_AUTHENTICATION_METHOD: return Cp1250("broker žádá jiný způsob přihlášení");
    case MQTT_RC_BANNED: return Cp1250("broker tohoto klienta vyloučil");
    case MQTT_RC_SERVER_BUSY: return Cp1250("broker je přetížený");
    case MQTT_RC_CONNECTION_RATE_EXCEEDED: return Cp1250("broker odmítá tak častá spojení");
    case MQTT_RC_USE_ANOTHER_SERVER:
    case MQTT_RC_SERVER_MOVED: return Cp1250("broker odkazuje na jiný server");
    case MQTT_RC_QOS_NOT_SUPPORTED: return Cp1250("broker nepodporuje QoS 1");
    case MQTT_RC_RETAIN_NOT_SUPPORTED:
      return Cp1250("broker nepodporuje trvalé zprávy (retain) pro téma stavu");
    case MQTT_RC_TOPIC_NAME_INVALID:
    case MQTT_RC_PAYLOAD_FORMAT_INVALID:
      return Cp1250("broker nepřijal poslední vůli (téma stavu)");
    case MQTT_RC_PACKET_TOO_LARGE: return Cp1250("broker nepřijal žádost o spojení (velikost)");
    case MQTT_RC_QUOTA_EXCEEDED: return Cp1250("klient vyčerpal svou kvótu na brokeru");
    case MQTT_RC_MALFORMED_PACKET:
    case MQTT_RC_PROTOCOL_ERROR: return Cp1250("broker hlásí chybu protokolu MQTT");
    case MQTT_RC_UNSPECIFIED:
    case MQTT_RC_IMPLEMENTATION_SPECIFIC: return Cp1250("broker odmítl spojení a neuvedl proč");
    default: return Cp1250("broker odmítl spojení (kód ") + std::to_string(rc) + ")";
  }
}

// Why the broker refused a message (its PUBACK's reason code, MQTT 5), or
// the library would not send it.
std::string TextOdmitnutiZpravy(int rc) {
  switch (rc) {
    case KodPrilisVelka:
    case MQTT_RC_PACKET_TOO_LARGE:
      return Cp1250(
          "zpráva je větší, než broker přijímá (u mosquitto message_size_limit nebo "
          "max_packet_size)");
    case MQTT_RC_IMPLEMENTATION_SPECIFIC:
      return Cp1250(
          "broker zprávu odmítl (kód 0x83; mosquitto tak odmítá i zprávu nad "
          "message_size_limit)");
    case MQTT_RC_NOT_AUTHORIZED: return Cp1250("broker nedovolil publikovat do tématu");
    case MQTT_RC_TOPIC_NAME_INVALID: return Cp1250("broker nepřijal jméno tématu");
    case MQTT_RC_QUOTA_EXCEEDED: return Cp1250("klient vyčerpal svou kvótu na brokeru");
    case MQTT_RC_PAYLOAD_FORMAT_INVALID: return Cp1250("broker nepřijal formát zprávy");
    case MQTT_RC_PACKET_ID_IN_USE: return Cp1250("broker hlásí kolizi čísla zprávy");
    case MQTT_RC_UNSPECIFIED: return Cp1250("broker zprávu odmítl a neuvedl proč");
    default: return Cp1250("broker zprávu odmítl (kód ") + std::to_string(rc) + ")";
  }
}

// A refused message: 0x80 and above (MQTT 5), or one the library would
// not send.
bool Odmitnuta(int kod) { return kod == KodPrilisVelka || kod >= MQTT_RC_UNSPECIFIED; }

}  // namespace

struct TPublikace::TJadro {
  TParametry p;
  std::string broker;  // "server:port"
  std::string temaDat, temaStavu;
  TFormatZpravy format = TFormatZpravy::Json;
  std::unique_ptr<TUloziste> uloziste;

  // The hand-over from the program's main thread to the store thread.
  std::mutex mPredani;
  std::condition_variable cvPredani;
  std::deque<TVzorekZpravy> predavane;
  uint64_t zahozenoPredanim = 0;  // dropped by the hand-over, not said yet
  bool konec = false;
  THodiny::time_point konecDo{};

  // Wakes the network thread: something was stored, or the state changed.
  std::mutex mSit;
  std::condition_variable cvSit;
  bool noveZaznamy = false;

  std::atomic<bool> pripojeno{false};
  std::atomic<bool> mereniBezi{false};
  std::atomic<bool> ulozisteSkoncilo{false};
  std::atomic<int> skoncenychVlaken{0};
  std::atomic<bool> skonceno{false};  // both threads ended and the store let go

  mutable std::mutex mStav;
  TStavPublikace stav;
  TOznamovatel oznamovatel;  // under mStav

  void Chyba(const std::string& text) {
    std::lock_guard<std::mutex> z(mStav);
    stav.Chyba = text;
  }
  // A failure: the state shows it, the operator is told as Oznamovatel.h
  // says.
  void Selhani(const std::string& text) {
    std::lock_guard<std::mutex> z(mStav);
    stav.Chyba = text;
    oznamovatel.Selhani(text, THodiny::now());
  }
  void Oznam(const std::string& text) {
    std::lock_guard<std::mutex> z(mStav);
    oznamovatel.Rekni(text);
  }
  // `pocet` samples dropped for `duvod`, said as Oznamovatel.h says.
  void Zahozeno(const std::string& duvod, uint64_t pocet, const std::string& ihned) {
    std::lock_guard<std::mutex> z(mStav);
    oznamovatel.Zahozeno(duvod, pocet, ihned, THodiny::now());
  }
  void Tik() {
    std::lock_guard<std::mutex> z(mStav);
    oznamovatel.Tik(THodiny::now());
  }

  void VlaknoUloziste();
  void VlaknoSite();
  // The last thread to end lets the store's folder go, so that the next
  // publisher of the same client finds it free.
  void VlaknoSkoncilo() {
    if (++skoncenychVlaken < 2) return;
    uloziste->Zavri();
    skonceno = true;
  }
};

// ---------------------------------------------------------------------------
// Storing.

void TPublikace::TJadro::VlaknoUloziste() {
  auto posledniZajisteni = THodiny::now();
  auto dalsiOtevreni = THodiny::now() + 1s;
  uint64_t zahozenoLimitem = uloziste->Zahozeno();
  const std::string limit = std::to_string(p.Nastaveni.FrontaMB);
  for (;;) {
    std::deque<TVzorekZpravy> davka;
    bool konci = false;
    uint64_t zahozenoPredani = 0;
    {
      std::unique_lock<std::mutex> z(mPredani);
      cvPredani.wait_for(z, 1s, [&] { return !predavane.empty() || konec; });
      davka.swap(predavane);
      konci = konec;
      std::swap(zahozenoPredani, zahozenoPredanim);
    }
    // A store another program holds is tried again each second: it goes on
    // from where that one left it.
    if (!konci && THodiny::now() >= dalsiOtevreni && !uloziste->Otevreno()) {
      dalsiOtevreni = THodiny::now() + 1s;
      if (uloziste->Otevri()) {
        Chyba({});
        {
          std::lock_guard<std::mutex> z(mSit);
          noveZaznamy = true;
        }
        cvSit.notify_one();
      }
    }
    if (zahozenoPredani > 0)
      Zahozeno(Cp1250("ukládání vzorků do fronty nestíhá"), zahozenoPredani,
               Cp1250("ukládání vzorků do fronty nestíhá: zahozeno vzorků: ") +
                   std::to_string(zahozenoPredani));
    bool ulozeno = false;
    for (const TVzorekZpravy& v : davka) {
      const uint32_t priznaky = pripojeno ? 0 : PriznakOdpojeno;
      if (uloziste->Pridej(Serializuj(v), priznaky)) {
        ulozeno = true;
      } else {
        const std::string chyba = uloziste->Chyba();
        {
          std::lock_guard<std::mutex> z(mStav);
          ++stav.Zahozeno;
          stav.Chyba = chyba;
        }
        Zahozeno(Cp1250("vzorky nelze uložit do fronty: ") + chyba, 1,
                 Cp1250("vzorek ") + std::to_string(v.Poradi) +
                     Cp1250(" zahozen, nelze jej uložit do fronty: ") + chyba);
      }
      // Said as it happens: the store dropped its oldest segment to keep
      // within its limit.
      if (const uint64_t z = uloziste->Zahozeno(); z > zahozenoLimitem) {
        Zahozeno(Cp1250("fronta na disku je plná, limit ") + limit + " MB", z - zahozenoLimitem,
                 Cp1250("fronta na disku je plná (limit ") + limit +
                     Cp1250(" MB): zahozeno nejstarších vzorků: ") +
                     std::to_string(z - zahozenoLimitem));
        zahozenoLimitem = z;
      }
    }
    Tik();
    if (ulozeno) {
      {
        std::lock_guard<std::mutex> z(mSit);
        noveZaznamy = true;
      }
      cvSit.notify_one();
    }
    // At least once a second: a power cut loses at most the last second.
    if (konci || THodiny::now() - posledniZajisteni >= 1s) {
      uloziste->Zajisti();
      posledniZajisteni = THodiny::now();
    }
    if (konci) break;
  }
  ulozisteSkoncilo = true;
  {
    std::lock_guard<std::mutex> z(mSit);
    noveZaznamy = true;
  }
  cvSit.notify_one();
  VlaknoSkoncilo();
}

// ---------------------------------------------------------------------------
// Talking to the broker.

namespace {

// A message published and not acknowledged yet.
struct TOdeslana {
  int Mid = 0;
  TMisto Zacatek, Dalsi;
  uint32_t Poradi = 0;
  int64_t CasMs = 0;
  THodiny::time_point Odeslano;
  size_t Bajtu = 0;
  bool Potvrzena = false;
  int Kod = 0;  // the broker's reason code (0 success), or KodPrilisVelka
};

// The network thread's connection: one libmosquitto instance per
// connection, so that nothing it queued survives a disconnect (the store
// is what is sent again).  Its callbacks run inside mosquitto_loop, on the
// network thread.
struct TSpojeni {
  mosquitto* m = nullptr;
  bool pripojeno = false;
  int odmitnuto = -1;  // the broker's refusal (CONNACK code), -1 while none
  std::deque<TOdeslana> odeslane;
  TMisto dalsi;                  // the next record to publish
  int stavOdeslan = -1;          // the state last published: 1 online, 0 offline
  THodiny::time_point zahajeno;  // the connection asked for
  THodiny::time_point navazano;  // the broker accepted it
  THodiny::time_point prijato;   // the broker's last acknowledgement
  int64_t zacatekMs = 0;         // the broker accepted it, ms since the epoch
  bool drzi = false;             // held for SpojeniDrzi

  ~TSpojeni() { Zrus(); }
  void Zrus() {
    if (m) mosquitto_destroy(m);
    m = nullptr;
    pripojeno = false;
    odmitnuto = -1;
    drzi = false;
    odeslane.clear();
  }
};

// A key that turns out locked by a passphrase is not asked for on a
// terminal: it fails (the settings refuse such a key beforehand).
int BezHesla(char*, int, int, void*) { return 0; }

}  // namespace

void TPublikace::TJadro::VlaknoSite() {
  InicializujKnihovnu();
  TSpojeni s;
  // Records found in the store when it was opened are historical (an
  // earlier run left them, whatever its connection was then), and so is a
  // record sent again (its first sending was not acknowledged) and one taken
  // before the connection it goes out on (while the connection before died).
  TMisto nejdale;
  uint64_t ohlasenoPreskoceni = 0;
  int verze = MQTT_PROTOCOL_V5;
  auto dalsiPokus = THodiny::now();
  auto prodleva = 1s;
  auto nastavStav = [this, &verze](bool spojeno) {
    pripojeno = spojeno;
    std::lock_guard<std::mutex> z(mStav);
    stav.Pripojeno = spojeno;
    if (spojeno) stav.Protokol = verze == MQTT_PROTOCOL_V5 ? "MQTT 5" : "MQTT 3.1.1";
  };
  auto odpoj = [&](const std::string& chyba) {
    Selhani(chyba);
    s.Zrus();
    nastavStav(false);
    dalsiPokus = THodiny::now() + prodleva;
    // Soon again, and never more than 5 s apart: a broker that comes back
    // is used within seconds, and an attempt costs next to nothing.
    prodleva = std::min<std::chrono::seconds>(prodleva * 2, 5s);
  };
  auto odmitnuti = [&](int rc) {
    if (verze == MQTT_PROTOCOL_V5 && rc == MQTT_RC_UNSUPPORTED_PROTOCOL_VERSION) {
      // A broker of MQTT 3.1.1 (it answers version 5 with its code 1, which
      // the library gives as this): spoken to in 3.1.1 from now on, at once.
      verze = MQTT_PROTOCOL_V311;
      Oznam(Cp1250("broker ") + Cp1250(broker) +
            Cp1250(" nepodporuje MQTT 5, spojení přes MQTT 3.1.1: zprávu, kterou broker odmítne "
                   "(např. větší než jeho limit), tak nelze poznat a počítá se jako odeslaná"));
      s.Zrus();
      nastavStav(false);
      dalsiPokus = THodiny::now();
      return;
    }
    odpoj(TextOdmitnuti(rc, p.Klient));
  };
  auto posliStav = [&](bool online) {
    const char* text = online ? "online" : "offline";
    if (mosquitto_publish(s.m, nullptr, temaStavu.c_str(), static_cast<int>(std::strlen(text)),
                          text, 1, true) == MOSQ_ERR_SUCCESS)
      s.stavOdeslan = online ? 1 : 0;
  };
  const bool tls = !p.Nastaveni.CA.empty();
  const bool certifikat = !p.Nastaveni.Certifikat.empty();
  const std::string ca = tls ? CestaSouboruPublikace(p.Nastaveni.CA).string() : std::string();
  const std::string cert =
      certifikat ? CestaSouboruPublikace(p.Nastaveni.Certifikat).string() : std::string();
  const std::string klic =
      certifikat ? CestaSouboruPublikace(p.Nastaveni.Klic).string() : std::string();
  const std::string neodpovedel =
      Cp1250("broker ") + Cp1250(broker) + Cp1250(" neodpověděl na spojení do ") +
      std::to_string(std::chrono::seconds(LimitOdpovedi).count()) + " s";
  // Closed by the broker before it accepted the connection: under TLS 1.3
  // that is how a broker refuses a client's certificate, or the lack of
  // one.  Its alert comes as a failed read or write (EPROTO), or the
  // connection is just gone, as the timing falls, and in the connect call
  // or in the loop alike.
  const std::string ukoncil = Cp1250("broker ") + Cp1250(broker) +
                              Cp1250(" ukončil spojení, aniž je přijal") +
                              (!tls         ? std::string()
                               : certifikat ? Cp1250("; možná nepřijal certifikát klienta")
                                            : Cp1250("; možná žádá certifikát klienta"));
  auto textSelhani = [&](int rc, int chybaSystemu) {
    if (!s.pripojeno && rc == MOSQ_ERR_KEEPALIVE) return neodpovedel;
    if (!s.pripojeno &&
        (rc == MOSQ_ERR_CONN_LOST || (tls && rc == MOSQ_ERR_ERRNO && chybaSystemu == EPROTO)))
      return ukoncil;
    return TextChyby(rc, chybaSystemu, broker, certifikat);
  };

  for (;;) {
    bool konci = false;
    THodiny::time_point konecDoKopie;
    {
      std::lock_guard<std::mutex> z(mPredani);
      konci = konec;
      konecDoKopie = konecDo;
    }
    // The end keeps to its time whatever the broker does; what is not
    // acknowledged by then stays in the store.
    if (konci && (THodiny::now() >= konecDoKopie - RezervaKonce ||
                  (ulozisteSkoncilo && uloziste->Cekajicich() == 0)))
      break;
    Tik();

    if (!s.m) {
      // A store that is not this program's: the same client id on the
      // broker would throw the other program off.
      if (THodiny::now() < dalsiPokus || !uloziste->Otevreno()) {
        const auto ted = THodiny::now();
        std::unique_lock<std::mutex> z(mSit);
        cvSit.wait_until(z, dalsiPokus > ted ? std::min(dalsiPokus, ted + 100ms) : ted + 100ms);
        noveZaznamy = false;
        continue;
      }
      s.m = mosquitto_new(p.Klient.c_str(), true, &s);
      if (!s.m) {
        odpoj(Cp1250("knihovnu MQTT nelze použít (nedostatek paměti)"));
        continue;
      }
      mosquitto_int_option(s.m, MOSQ_OPT_PROTOCOL_VERSION, verze);
      mosquitto_connect_v5_callback_set(
          s.m, [](mosquitto*, void* u, int rc, int, const mosquitto_property*) {
            auto* sp = static_cast<TSpojeni*>(u);
            if (rc == CONNACK_ACCEPTED) {
              sp->pripojeno = true;
              sp->navazano = sp->prijato = THodiny::now();
              sp->zacatekMs = TedMs();
            } else {
              sp->odmitnuto = rc;
            }
          });
      mosquitto_publish_v5_callback_set(
          s.m, [](mosquitto*, void* u, int mid, int rc, const mosquitto_property*) {
            auto* sp = static_cast<TSpojeni*>(u);
            sp->prijato = THodiny::now();
            for (TOdeslana& o : sp->odeslane)
              if (o.Mid == mid && !o.Potvrzena) {
                o.Potvrzena = true;
                o.Kod = rc;
              }
          });
      if (!p.Nastaveni.Uzivatel.empty())
        mosquitto_username_pw_set(
            s.m, Utf8(p.Nastaveni.Uzivatel).c_str(),
            p.Nastaveni.Heslo.empty() ? nullptr : Utf8(p.Nastaveni.Heslo).c_str());
      if (tls &&
          mosquitto_tls_set(s.m, ca.c_str(), nullptr, certifikat ? cert.c_str() : nullptr,
                            certifikat ? klic.c_str() : nullptr, BezHesla) != MOSQ_ERR_SUCCESS) {
        odpoj(Cp1250("soubory TLS (CA, certifikát, klíč) nelze použít"));
        continue;
      }
      // The broker tells the others when this program dies or its network
      // goes.
      mosquitto_will_set(s.m, temaStavu.c_str(), 7, "offline", 1, true);
      // Without waiting for the TCP connection: a port that swallows
      // connection attempts holds nothing up, and LimitOdpovedi gives it up.
      errno = 0;
      const int rc = mosquitto_connect_async(s.m, Utf8(p.Nastaveni.Server).c_str(),
                                             p.Nastaveni.Port, KeepaliveS);
      if (rc != MOSQ_ERR_SUCCESS) {
        odpoj(textSelhani(rc, errno));
        continue;
      }
      s.dalsi = uloziste->Potvrzeno();
      if (nejdale < uloziste->Nalezeno()) nejdale = uloziste->Nalezeno();
      s.stavOdeslan = -1;
      s.zahajeno = THodiny::now();
    }

    const auto ted = THodiny::now();
    if (!s.pripojeno && ted - s.zahajeno > LimitOdpovedi + 1s) {
      odpoj(neodpovedel);
      continue;
    }
    if (s.pripojeno && !pripojeno) {
      nastavStav(true);
      prodleva = 1s;
      Chyba({});
    }
    if (s.pripojeno && !s.drzi && ted - s.navazano >= SpojeniDrzi) {
      s.drzi = true;
      std::lock_guard<std::mutex> z(mStav);
      oznamovatel.Spojeno();
    }
    if (s.pripojeno) {
      // A dead link: checked before anything more is published, so that no
      // sample goes out as new on a link already counted dead (a payload
      // handed to the socket cannot be marked historical any more).
      const auto cekajici = std::find_if(s.odeslane.begin(), s.odeslane.end(),
                                         [](const TOdeslana& o) { return !o.Potvrzena; });
      if (cekajici != s.odeslane.end() &&
          ted - std::max(cekajici->Odeslano, s.prijato) > LimitOdpovedi) {
        odpoj(Cp1250("broker ") + Cp1250(broker) + Cp1250(" nepotvrdil vzorek ") +
              std::to_string(cekajici->Poradi) + Cp1250(" do ") +
              std::to_string(std::chrono::seconds(LimitOdpovedi).count()) +
              Cp1250(" s; spojení se ruší a naváže znovu"));
        continue;
      }
      const bool online = mereniBezi && !konci;
      if (s.stavOdeslan != (online ? 1 : 0)) posliStav(online);
      // Oldest first, as many as the window allows; new samples wait
      // behind the stored ones, so the order holds.
      std::string data;
      uint32_t priznaky = 0;
      TMisto zacatek = s.dalsi, dalsi;
      while (s.odeslane.size() < OknoOdeslani && uloziste->Cti(zacatek, data, priznaky, dalsi)) {
        TVzorekZpravy v;
        // A record whose checks held but that is no sample (a store of
        // another version): passed over, never sent as data.
        if (!Deserializuj(data, v)) {
          uloziste->Potvrd(zacatek, dalsi);
          zacatek = dalsi;
          continue;
        }
        // Historical: taken while not connected, sent before, or taken
        // before this connection began (waiting while the one before died).
        const bool historicky =
            (priznaky & PriznakOdpojeno) || zacatek < nejdale || v.CasMs < s.zacatekMs;
        const std::string zprava =
            format == TFormatZpravy::Influx ? InfluxZpravy(v) : JsonZpravy(v, historicky);
        int mid = 0;
        const int rc = mosquitto_publish(s.m, &mid, temaDat.c_str(),
                                         static_cast<int>(zprava.size()), zprava.data(), 1, false);
        TOdeslana o{mid, zacatek, dalsi, v.Poradi, v.CasMs, THodiny::now(), zprava.size()};
        if (rc == MOSQ_ERR_OVERSIZE_PACKET || rc == MOSQ_ERR_PAYLOAD_SIZE) {
          // Never to be taken by this broker: dropped in its turn, so that
          // the rest flow.
          o.Potvrzena = true;
          o.Kod = KodPrilisVelka;
        } else if (rc != MOSQ_ERR_SUCCESS) {
          break;
        }
        s.odeslane.push_back(o);
        if (nejdale < dalsi) nejdale = dalsi;
        zacatek = dalsi;
      }
      s.dalsi = zacatek;
      // Said once for each skip, after the connection's own news.
      if (const uint64_t n = uloziste->Preskoceno(); n != ohlasenoPreskoceni) {
        ohlasenoPreskoceni = n;
        Selhani(uloziste->TextPreskoceni());
      }
    }
    const int rc = mosquitto_loop(s.m, 20, 1);
    // A refusal comes as the broker's code in the callback, and the loop
    // then fails too: the code is the one failure said.
    if (s.odmitnuto >= 0) {
      odmitnuti(s.odmitnuto);
      continue;
    }
    if (rc != MOSQ_ERR_SUCCESS) {
      odpoj(textSelhani(rc, errno));
      continue;
    }
    // Acknowledged in order: the store's position moves over them.  A
    // message the broker refused moves it too, counted as dropped: sent
    // again it would be refused again and hold up the rest for ever.
    while (!s.odeslane.empty() && s.odeslane.front().Potvrzena) {
      const TOdeslana o = s.odeslane.front();
      s.odeslane.pop_front();
      uloziste->Potvrd(o.Zacatek, o.Dalsi);
      std::lock_guard<std::mutex> z(mStav);
      if (Odmitnuta(o.Kod)) {
        ++stav.Zahozeno;
        const std::string duvod = TextOdmitnutiZpravy(o.Kod);
        oznamovatel.Zahozeno(duvod, 1,
                             Cp1250("vzorek ") + std::to_string(o.Poradi) +
                                 Cp1250(" zahozen (zpráva má ") + std::to_string(o.Bajtu) +
                                 Cp1250(" bajtů): ") + duvod,
                             THodiny::now());
        continue;
      }
      ++stav.Odeslano;
      stav.PotvrzenoPoradi = o.Poradi;
      stav.PotvrzenoCasMs = o.CasMs;
    }
  }
  if (s.m && s.pripojeno) {
    // A clean stop: "offline" by the program (the will is for a death),
    // sent before the disconnect, within the time given.
    posliStav(false);
    THodiny::time_point konecDoKopie;
    {
      std::lock_guard<std::mutex> z(mPredani);
      konecDoKopie = konecDo;
    }
    for (int i = 0; i < 10 && THodiny::now() < konecDoKopie; ++i) mosquitto_loop(s.m, 20, 1);
    mosquitto_disconnect(s.m);
    mosquitto_loop(s.m, 20, 1);
  }
  s.Zrus();
  nastavStav(false);
  uloziste->Zajisti();  // the last acknowledgements
  VlaknoSkoncilo();
}

// ---------------------------------------------------------------------------

TPublikace::TPublikace(TParametry p) : j_(std::make_shared<TJadro>()) {
  j_->p = std::move(p);
  const TNastaveniPublikace& n = j_->p.Nastaveni;
  j_->broker = Utf8(n.Server) + ":" + std::to_string(n.Port);
  j_->temaDat = j_->p.Tema + "/" + j_->p.Uloha + "/data";
  j_->temaStavu = j_->p.Tema + "/" + j_->p.Uloha + "/stav";
  j_->format = FormatZpravy(n);
  j_->uloziste = std::make_unique<TUloziste>(j_->p.Slozka,
                                             static_cast<uint64_t>(std::max(n.FrontaMB, 1)) << 20);
  {
    std::lock_guard<std::mutex> z(j_->mStav);
    j_->stav.Zapnuto = true;
    j_->stav.Broker = Cp1250(j_->broker);
    j_->stav.Chyba = j_->uloziste->Chyba();
    // A store another program holds: said at once, not only as the drops
    // it causes.
    if (!j_->stav.Chyba.empty()) j_->oznamovatel.Selhani(j_->stav.Chyba, THodiny::now());
  }
  // Made at the start of a measurement: "online" from the first connection.
  j_->mereniBezi = true;
  // The threads share the core with this object: one that has not ended
  // when the object goes (a name that takes long to resolve) keeps it
  // alive.
  std::thread([j = j_] { j->VlaknoUloziste(); }).detach();
  std::thread([j = j_] { j->VlaknoSite(); }).detach();
}

TPublikace::~TPublikace() {
  ZacniKonec(5000);
  CekejNaKonec();
}

const TPublikace::TParametry& TPublikace::Parametry() const { return j_->p; }

void TPublikace::Vzorek(TVzorekZpravy v) {
  {
    std::lock_guard<std::mutex> z(j_->mPredani);
    if (j_->konec) return;
    if (j_->predavane.size() >= MaxPredavanych) {
      j_->predavane.pop_front();
      ++j_->zahozenoPredanim;
      std::lock_guard<std::mutex> s(j_->mStav);
      ++j_->stav.Zahozeno;
    }
    j_->predavane.push_back(std::move(v));
  }
  j_->cvPredani.notify_one();
}

void TPublikace::NastavMereni(bool bezi) {
  j_->mereniBezi = bezi;
  j_->cvSit.notify_one();
}

TStavPublikace TPublikace::Stav() const {
  TStavPublikace s;
  {
    std::lock_guard<std::mutex> z(j_->mStav);
    s = j_->stav;
    s.Oznameni = j_->oznamovatel.Posledni();
  }
  s.Ceka = j_->uloziste->Cekajicich();
  s.Zahozeno += j_->uloziste->Zahozeno();
  return s;
}

void TPublikace::ZacniKonec(int ms) {
  {
    std::lock_guard<std::mutex> z(j_->mPredani);
    const auto konecDo = THodiny::now() + std::chrono::milliseconds(std::max(ms, 0));
    if (j_->konec && j_->konecDo <= konecDo) return;
    j_->konec = true;
    j_->konecDo = konecDo;
  }
  j_->cvPredani.notify_one();
  j_->cvSit.notify_one();
}

bool TPublikace::Skonceno() const { return j_->skonceno; }

void TPublikace::CekejNaKonec() const {
  THodiny::time_point konecDo;
  {
    std::lock_guard<std::mutex> z(j_->mPredani);
    konecDo = j_->konecDo;
  }
  // The threads keep to the end themselves; one held up in the system is
  // not waited for past it.
  while (!Skonceno() && THodiny::now() < konecDo) std::this_thread::sleep_for(5ms);
}

bool TPublikace::Ukonci(int ms) {
  ZacniKonec(ms);
  CekejNaKonec();
  return j_->uloziste->Cekajicich() == 0;
}

// ---------------------------------------------------------------------------

TPublikaceMereni::TPublikaceMereni(TMereni& mereni, std::string program,
                                   std::filesystem::path soubor)
    : mereni_(mereni), program_(std::move(program)), soubor_(std::move(soubor)) {
  mereni_.PridejPozorovatele(this);
}

TPublikaceMereni::~TPublikaceMereni() {
  mereni_.OdeberPozorovatele(this);
  Ukonci(5000);
}

void TPublikaceMereni::Ukonci(int ms) {
  if (publikace_) konci_.push_back(std::move(publikace_));
  for (auto& p : konci_) p->ZacniKonec(ms);
  for (auto& p : konci_) {
    p->Ukonci(ms);
    posledni_ = p->Stav();
  }
  konci_.clear();
}

TStavPublikace TPublikaceMereni::Stav() const {
  return publikace_ ? publikace_->Stav() : posledni_;
}

void TPublikaceMereni::MereniZahajeno(const TUlohaMereni& uloha) {
  // Publishers of earlier tasks that have ended are let go.
  konci_.erase(
      std::remove_if(konci_.begin(), konci_.end(), [](const auto& p) { return p->Skonceno(); }),
      konci_.end());
  std::vector<std::string> nezname;
  const TNastaveniPublikace n = PrectiNastaveniPublikace(soubor_, &nezname);
  if (Hlaseni)
    for (const std::string& z : nezname) Hlaseni(z);
  chybaNastaveni_ = ::ChybaNastaveni(n);
  if (!n.Zapnuto() || !chybaNastaveni_.empty()) {
    if (publikace_) {
      publikace_->NastavMereni(false);
      publikace_->ZacniKonec(5000);
      konci_.push_back(std::move(publikace_));
    }
    if (!chybaNastaveni_.empty() && Hlaseni)
      Hlaseni(Cp1250("Publikace vypnuta: ") + chybaNastaveni_ + Cp1250(" (") +
              CestaCp1250(soubor_) + ")");
    return;
  }
  TPublikace::TParametry p;
  p.Nastaveni = n;
  p.Tema = TemaPublikace(n);
  p.Uloha = UlohaVTematu(uloha.Cfg.Uloha);
  p.Klient = KlientPublikace(n, program_, uloha.Cfg.Uloha);
  // One store per client: the window and the logger measuring the same
  // task keep their own.
  std::string slozka = p.Klient;
  for (char& c : slozka)
    if (c == '/' || c == '\\' || c == '\0') c = '_';
  p.Slozka = soubor_.parent_path() / "ZQ_publikace" / slozka;
  const bool stejna = publikace_ && publikace_->Parametry().Klient == p.Klient &&
                      publikace_->Parametry().Tema == p.Tema &&
                      publikace_->Parametry().Uloha == p.Uloha &&
                      publikace_->Parametry().Nastaveni.Server == n.Server &&
                      publikace_->Parametry().Nastaveni.Port == n.Port &&
                      publikace_->Parametry().Nastaveni.Uzivatel == n.Uzivatel &&
                      publikace_->Parametry().Nastaveni.Heslo == n.Heslo &&
                      publikace_->Parametry().Nastaveni.CA == n.CA &&
                      publikace_->Parametry().Nastaveni.Certifikat == n.Certifikat &&
                      publikace_->Parametry().Nastaveni.Klic == n.Klic &&
                      publikace_->Parametry().Nastaveni.Format == n.Format &&
                      publikace_->Parametry().Nastaveni.FrontaMB == n.FrontaMB;
  if (!stejna) {
    if (publikace_) {
      publikace_->ZacniKonec(5000);
      konci_.push_back(std::move(publikace_));
    }
    // The store of the same client is the same folder: the one before must
    // have let it go.
    for (auto& k : konci_)
      if (k->Parametry().Slozka == p.Slozka) {
        k->Ukonci(0);
        // Its threads let the store go a moment later: waited for, within
        // a second.
        for (int i = 0; i < 200 && !k->Skonceno(); ++i) std::this_thread::sleep_for(5ms);
      }
    publikace_ = std::make_unique<TPublikace>(std::move(p));
  }
  publikace_->NastavMereni(true);
}

void TPublikaceMereni::VzorekZapsan(const TVzorekMereni& vzorek, const TUlohaMereni&) {
  if (publikace_) publikace_->Vzorek(VzorekZpravy(vzorek, publikace_->Parametry().Uloha));
}

void TPublikaceMereni::MereniZastaveno() {
  if (publikace_) publikace_->NastavMereni(false);
}
