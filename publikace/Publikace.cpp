#include "Publikace.h"

#include <mosquitto.h>

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
constexpr int KeepaliveS = 30;

void InicializujKnihovnu() {
  static std::once_flag jednou;
  std::call_once(jednou, [] { mosquitto_lib_init(); });
}

// A failure of libmosquitto in the operator's words.
std::string TextChyby(int rc, int chybaSystemu, const std::string& broker) {
  switch (rc) {
    case MOSQ_ERR_EAI: return Cp1250("jméno serveru ") + Cp1250(broker) + Cp1250(" nelze přeložit");
    case MOSQ_ERR_TLS:
    case MOSQ_ERR_TLS_HANDSHAKE:
      return Cp1250("spojení TLS se ") + Cp1250(broker) +
             Cp1250(" nepodařilo (certifikát CA, jméno serveru)");
    case MOSQ_ERR_CONN_LOST: return Cp1250("spojení s ") + Cp1250(broker) + Cp1250(" přerušeno");
    case MOSQ_ERR_NO_CONN: return Cp1250("s ") + Cp1250(broker) + Cp1250(" není spojení");
    case MOSQ_ERR_ERRNO:
      if (chybaSystemu == ECONNREFUSED)
        return Cp1250("broker ") + Cp1250(broker) + Cp1250(" nepřijímá spojení");
      if (chybaSystemu == ETIMEDOUT || chybaSystemu == EHOSTUNREACH || chybaSystemu == ENETUNREACH)
        return Cp1250("broker ") + Cp1250(broker) + Cp1250(" je nedosažitelný");
      return Cp1250("spojení s ") + Cp1250(broker) + Cp1250(" selhalo: ") +
             PricinaChyby(chybaSystemu);
    default:
      return Cp1250("spojení s ") + Cp1250(broker) + Cp1250(" selhalo (") +
             Cp1250(mosquitto_strerror(rc)) + ")";
  }
}

std::string TextOdmitnuti(int rc) {
  if (rc == 4 || rc == 5) return Cp1250("broker odmítl přihlášení (jméno nebo heslo)");
  return Cp1250("broker odmítl spojení: ") + Cp1250(mosquitto_connack_string(rc));
}

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

  void Chyba(const std::string& text) {
    std::lock_guard<std::mutex> z(mStav);
    stav.Chyba = text;
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
  for (;;) {
    std::deque<TVzorekZpravy> davka;
    bool konci = false;
    {
      std::unique_lock<std::mutex> z(mPredani);
      cvPredani.wait_for(z, 1s, [&] { return !predavane.empty() || konec; });
      davka.swap(predavane);
      konci = konec;
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
    bool ulozeno = false;
    for (const TVzorekZpravy& v : davka) {
      const uint32_t priznaky = pripojeno ? 0 : PriznakOdpojeno;
      if (uloziste->Pridej(Serializuj(v), priznaky)) {
        ulozeno = true;
      } else {
        std::lock_guard<std::mutex> z(mStav);
        ++stav.Zahozeno;
        stav.Chyba = uloziste->Chyba();
      }
    }
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
  bool Potvrzena = false;
};

// The network thread's connection: one libmosquitto instance per
// connection, so that nothing it queued survives a disconnect (the store
// is what is sent again).
struct TSpojeni {
  mosquitto* m = nullptr;
  bool pripojeno = false;
  int odmitnuto = 0;  // the broker's refusal (CONNACK code), 0 while none
  std::deque<TOdeslana> odeslane;
  TMisto dalsi;          // the next record to publish
  int stavOdeslan = -1;  // the state last published: 1 online, 0 offline

  ~TSpojeni() { Zrus(); }
  void Zrus() {
    if (m) mosquitto_destroy(m);
    m = nullptr;
    pripojeno = false;
    odeslane.clear();
  }
};

}  // namespace

void TPublikace::TJadro::VlaknoSite() {
  InicializujKnihovnu();
  TSpojeni s;
  // Records found in the store when it was opened are historical (an
  // earlier run left them, whatever its connection was then), and so is a
  // record sent again (its first sending was not acknowledged).
  TMisto nejdale;
  uint64_t ohlasenoPreskoceni = 0;
  auto dalsiPokus = THodiny::now();
  auto prodleva = 1s;
  auto nastavStav = [this](bool spojeno) {
    pripojeno = spojeno;
    std::lock_guard<std::mutex> z(mStav);
    stav.Pripojeno = spojeno;
  };
  auto odpoj = [&](const std::string& chyba) {
    if (!chyba.empty()) Chyba(chyba);
    s.Zrus();
    nastavStav(false);
    dalsiPokus = THodiny::now() + prodleva;
    // Soon again, and never more than 5 s apart: a broker that comes back
    // is used within seconds, and an attempt costs next to nothing.
    prodleva = std::min<std::chrono::seconds>(prodleva * 2, 5s);
  };
  auto posliStav = [&](bool online) {
    const char* text = online ? "online" : "offline";
    if (mosquitto_publish(s.m, nullptr, temaStavu.c_str(), static_cast<int>(std::strlen(text)),
                          text, 1, true) == MOSQ_ERR_SUCCESS)
      s.stavOdeslan = online ? 1 : 0;
  };

  for (;;) {
    bool konci = false;
    THodiny::time_point konecDoKopie;
    {
      std::lock_guard<std::mutex> z(mPredani);
      konci = konec;
      konecDoKopie = konecDo;
    }
    const bool vseOdeslano = uloziste->Cekajicich() == 0;
    if (konci && ulozisteSkoncilo && (vseOdeslano || THodiny::now() >= konecDoKopie)) break;

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
      mosquitto_int_option(s.m, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
      mosquitto_connect_callback_set(s.m, [](mosquitto*, void* u, int rc) {
        auto* sp = static_cast<TSpojeni*>(u);
        if (rc == 0)
          sp->pripojeno = true;
        else
          sp->odmitnuto = rc;
      });
      mosquitto_publish_callback_set(s.m, [](mosquitto*, void* u, int mid) {
        auto* sp = static_cast<TSpojeni*>(u);
        for (TOdeslana& o : sp->odeslane)
          if (o.Mid == mid) o.Potvrzena = true;
      });
      if (!p.Nastaveni.Uzivatel.empty())
        mosquitto_username_pw_set(
            s.m, Utf8(p.Nastaveni.Uzivatel).c_str(),
            p.Nastaveni.Heslo.empty() ? nullptr : Utf8(p.Nastaveni.Heslo).c_str());
      if (!p.Nastaveni.CA.empty()) {
        const std::string ca = CestaCA(p.Nastaveni).string();
        if (mosquitto_tls_set(s.m, ca.c_str(), nullptr, nullptr, nullptr, nullptr) !=
            MOSQ_ERR_SUCCESS) {
          odpoj(Cp1250("soubor CA \"") + p.Nastaveni.CA + Cp1250("\" nelze použít"));
          continue;
        }
      }
      // The broker tells the others when this program dies or its network
      // goes.
      mosquitto_will_set(s.m, temaStavu.c_str(), 7, "offline", 1, true);
      errno = 0;
      const int rc =
          mosquitto_connect(s.m, Utf8(p.Nastaveni.Server).c_str(), p.Nastaveni.Port, KeepaliveS);
      if (rc != MOSQ_ERR_SUCCESS) {
        odpoj(TextChyby(rc, errno, broker));
        continue;
      }
      s.dalsi = uloziste->Potvrzeno();
      if (nejdale < uloziste->Nalezeno()) nejdale = uloziste->Nalezeno();
      s.stavOdeslan = -1;
    }

    // Connected (or waiting for the broker's answer to the connection).
    if (s.odmitnuto != 0) {
      const int rc = s.odmitnuto;
      s.odmitnuto = 0;
      odpoj(TextOdmitnuti(rc));
      continue;
    }
    if (s.pripojeno && !pripojeno) {
      nastavStav(true);
      prodleva = 1s;
      Chyba({});
    }
    if (s.pripojeno) {
      const bool online = mereniBezi && !konci;
      if (s.stavOdeslan != (online ? 1 : 0)) posliStav(online);
      // Oldest first, as many as the window allows; new samples wait
      // behind the stored ones, so the order holds.
      std::string data;
      uint32_t priznaky = 0;
      TMisto zacatek = s.dalsi, dalsi;
      while (s.odeslane.size() < OknoOdeslani && uloziste->Cti(zacatek, data, priznaky, dalsi)) {
        TVzorekZpravy v;
        if (!Deserializuj(data, v)) {  // cannot be: the checksum held
          uloziste->Potvrd(zacatek, dalsi);
          zacatek = dalsi;
          continue;
        }
        const bool historicky = (priznaky & PriznakOdpojeno) || zacatek < nejdale;
        const std::string zprava =
            format == TFormatZpravy::Influx ? InfluxZpravy(v) : JsonZpravy(v, historicky);
        int mid = 0;
        const int rc = mosquitto_publish(s.m, &mid, temaDat.c_str(),
                                         static_cast<int>(zprava.size()), zprava.data(), 1, false);
        if (rc != MOSQ_ERR_SUCCESS) break;
        s.odeslane.push_back({mid, zacatek, dalsi, v.Poradi, v.CasMs, false});
        if (nejdale < dalsi) nejdale = dalsi;
        zacatek = dalsi;
      }
      s.dalsi = zacatek;
      // Said once for each skip, after the connection's own news.
      if (const uint64_t n = uloziste->Preskoceno(); n != ohlasenoPreskoceni) {
        ohlasenoPreskoceni = n;
        Chyba(uloziste->TextPreskoceni());
      }
    }
    const int rc = mosquitto_loop(s.m, 20, 1);
    if (rc != MOSQ_ERR_SUCCESS) {
      odpoj(TextChyby(rc, errno, broker));
      continue;
    }
    // Acknowledged in order: the store's position moves over them.
    while (!s.odeslane.empty() && s.odeslane.front().Potvrzena) {
      const TOdeslana o = s.odeslane.front();
      s.odeslane.pop_front();
      uloziste->Potvrd(o.Zacatek, o.Dalsi);
      std::lock_guard<std::mutex> z(mStav);
      ++stav.Odeslano;
      stav.PotvrzenoPoradi = o.Poradi;
      stav.PotvrzenoCasMs = o.CasMs;
    }
  }
  if (s.m && s.pripojeno) {
    // A clean stop: "offline" by the program (the will is for a death),
    // sent before the disconnect.
    posliStav(false);
    for (int i = 0; i < 10; ++i) mosquitto_loop(s.m, 20, 1);
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
  }
  // Made at the start of a measurement: "online" from the first connection.
  j_->mereniBezi = true;
  // The threads share the core with this object: one that has not ended
  // when the object goes (a connection attempt hanging) keeps it alive.
  std::thread([j = j_] { j->VlaknoUloziste(); }).detach();
  std::thread([j = j_] { j->VlaknoSite(); }).detach();
}

TPublikace::~TPublikace() { Ukonci(5000); }

const TPublikace::TParametry& TPublikace::Parametry() const { return j_->p; }

void TPublikace::Vzorek(TVzorekZpravy v) {
  {
    std::lock_guard<std::mutex> z(j_->mPredani);
    if (j_->konec) return;
    if (j_->predavane.size() >= MaxPredavanych) {
      j_->predavane.pop_front();
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
  }
  s.Ceka = j_->uloziste->Cekajicich();
  s.Zahozeno += j_->uloziste->Zahozeno();
  return s;
}

void TPublikace::ZacniKonec(int ms) {
  {
    std::lock_guard<std::mutex> z(j_->mPredani);
    if (j_->konec) return;
    j_->konec = true;
    j_->konecDo = THodiny::now() + std::chrono::milliseconds(ms);
  }
  j_->cvPredani.notify_one();
  j_->cvSit.notify_one();
}

bool TPublikace::Skonceno() const { return j_->skonceno; }

bool TPublikace::Ukonci(int ms) {
  ZacniKonec(ms);
  // The threads keep to the deadline themselves, apart from a connection
  // attempt that hangs in the system: that one is left behind.
  const auto do_ = THodiny::now() + std::chrono::milliseconds(ms) + 500ms;
  while (!Skonceno() && THodiny::now() < do_) std::this_thread::sleep_for(5ms);
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
      if (k->Parametry().Slozka == p.Slozka) k->Ukonci(0);
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
