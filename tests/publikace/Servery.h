#pragma once
// The servers the publishing tests run against, each started by the test
// on a free port of 127.0.0.1 with a folder of its own (an InfluxDB with its
// HTTP API), a subscriber that collects what a broker passes on, and the
// brokers' misbehaviours: a port that swallows connection attempts, a
// broker of MQTT 3.1.1 only.

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <QUrlQuery>

#include <fcntl.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

// A port of 127.0.0.1 held for the test from the making of the object to
// its end: a socket bound to it that never listens.  Neither another
// program's bind nor an outgoing connection gets the port meanwhile (a port
// probed and let go could be taken before the server binds it, or be
// probed again), while a server of the test's, binding with SO_REUSEADDR as
// mosquitto and influxd do, listens on it, also when started again.
class TPort {
 public:
  TPort() : s_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    const int ano = 1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t d = sizeof a;
    if (s_ >= 0 && ::setsockopt(s_, SOL_SOCKET, SO_REUSEADDR, &ano, sizeof ano) == 0 &&
        ::bind(s_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(s_, reinterpret_cast<sockaddr*>(&a), &d) == 0)
      cislo_ = ntohs(a.sin_port);
  }
  ~TPort() {
    if (s_ >= 0) ::close(s_);
  }
  TPort(const TPort&) = delete;
  TPort& operator=(const TPort&) = delete;
  // 0 when no port could be had.
  uint16_t Cislo() const { return cislo_; }

 private:
  int s_;
  uint16_t cislo_ = 0;
};

// True once something accepts TCP connections on the port (at most `ms`).
inline bool Nasloucha(uint16_t port, int ms) {
  return QTest::qWaitFor(
      [&] {
        QTcpSocket s;
        s.connectToHost(QStringLiteral("127.0.0.1"), port);
        return s.waitForConnected(200);
      },
      ms);
}

// A server process of the test's own, ended when the object goes.
class TServer {
 public:
  ~TServer() { Zastav(); }
  // Starts `program` with `argumenty`; true once it listens on `port`.
  bool Spust(const QString& program, const QStringList& argumenty, uint16_t port) {
    p_.setProcessChannelMode(QProcess::MergedChannels);
    p_.start(program, argumenty);
    if (!p_.waitForStarted(5000)) {
      Chyba = program + QStringLiteral(" did not start: ") + p_.errorString();
      return false;
    }
    if (!Nasloucha(port, 15000)) {
      Chyba = program + QStringLiteral(" does not listen on ") + QString::number(port) + ": " +
              QString::fromUtf8(p_.readAll());
      Zastav();
      return false;
    }
    return true;
  }
  void Zastav() {
    if (p_.state() == QProcess::NotRunning) return;
    // A frozen one takes SIGTERM only when it runs again.
    ::kill(static_cast<pid_t>(p_.processId()), SIGCONT);
    p_.terminate();
    if (!p_.waitForFinished(5000)) {
      p_.kill();
      p_.waitForFinished(5000);
    }
  }
  // Frozen (SIGSTOP): its connections stay open and nothing is answered,
  // as with a broker that hangs; and running again.
  void Zmraz() { ::kill(static_cast<pid_t>(p_.processId()), SIGSTOP); }
  void Rozmraz() { ::kill(static_cast<pid_t>(p_.processId()), SIGCONT); }
  // What it printed so far (its output and errors on one channel).
  QByteArray Vystup() {
    vystup_ += p_.readAll();
    return vystup_;
  }
  QString Chyba;

 private:
  QProcess p_;
  QByteArray vystup_;
};

// A port of 127.0.0.1 that swallows connection attempts: it listens and
// never accepts, and its queue is full, so that a SYN goes unanswered as
// with a firewall that drops it.
class TPolykac {
 public:
  TPolykac() {
    s_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t d = sizeof a;
    if (::bind(s_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(s_, 0) != 0 ||
        ::getsockname(s_, reinterpret_cast<sockaddr*>(&a), &d) != 0)
      return;
    Port = ntohs(a.sin_port);
    // The queue of a backlog of 0 holds one connection; the next SYNs are
    // dropped.
    for (int i = 0; i < 2; ++i) {
      const int c = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
      ::connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a);
      vyplne_.push_back(c);
    }
  }
  ~TPolykac() {
    for (int c : vyplne_) ::close(c);
    ::close(s_);
  }
  uint16_t Port = 0;

 private:
  int s_ = -1;
  std::vector<int> vyplne_;
};

// A broker of MQTT 3.1.1 only, in front of a real one on `cil`: a CONNECT
// of MQTT 5 is answered as such a broker answers it (CONNACK of 3.1.1 with
// code 1, "unacceptable protocol version") and the connection closed; any
// other is passed on to the real broker, both ways.
class TBroker311 : public QObject {
 public:
  explicit TBroker311(uint16_t cil) : cil_(cil) {
    server_.listen(QHostAddress::LocalHost, 0);
    Port = server_.serverPort();
    connect(&server_, &QTcpServer::newConnection, this, [this] {
      while (QTcpSocket* k = server_.nextPendingConnection()) Obsluz(k);
    });
  }
  uint16_t Port = 0;
  std::vector<int> Verze;  // the protocol level of each CONNECT, in order

 private:
  void Obsluz(QTcpSocket* k) {
    auto* prijato = new QByteArray;
    auto* dal = new QTcpSocket(k);
    connect(k, &QObject::destroyed, [prijato] { delete prijato; });
    connect(k, &QTcpSocket::readyRead, this, [this, k, dal, prijato] {
      if (dal->state() != QAbstractSocket::UnconnectedState) {
        if (dal->state() == QAbstractSocket::ConnectedState) dal->write(k->readAll());
        return;
      }
      *prijato += k->readAll();
      // CONNECT: its type, the remaining length (1 to 4 bytes), the
      // protocol's name (2 + 4 bytes), then its level.
      size_t i = 1;
      while (i < static_cast<size_t>(prijato->size()) && (prijato->at(i) & 0x80) && i < 4) ++i;
      const size_t uroven = i + 1 + 2 + 4;
      if (static_cast<size_t>(prijato->size()) <= uroven) return;
      const int verze = static_cast<uint8_t>(prijato->at(static_cast<qsizetype>(uroven)));
      Verze.push_back(verze);
      if (verze == 5) {
        k->write(QByteArray("\x20\x02\x00\x01", 4));
        k->disconnectFromHost();
        return;
      }
      connect(dal, &QTcpSocket::connected, this, [k, dal, prijato] {
        dal->write(*prijato);
        dal->write(k->readAll());
      });
      connect(dal, &QTcpSocket::readyRead, this, [k, dal] { k->write(dal->readAll()); });
      connect(dal, &QTcpSocket::disconnected, k, &QTcpSocket::disconnectFromHost);
      dal->connectToHost(QHostAddress::LocalHost, cil_);
    });
    connect(k, &QTcpSocket::disconnected, this, [k, dal] {
      dal->disconnectFromHost();
      k->deleteLater();
    });
  }
  QTcpServer server_;
  uint16_t cil_;
};

// An InfluxDB 1.x in the folder `slozka`, with a database "zq", spoken to
// through its HTTP API.
class TInflux {
 public:
  // Empty when influxd is not installed.
  static QString Program() { return QStandardPaths::findExecutable(QStringLiteral("influxd")); }
  // False, the reason in Chyba, when it does not start.
  bool Spust(const QString& slozka) {
    http_ = portHttp_.Cislo();
    const uint16_t rpc = portRpc_.Cislo();
    if (http_ == 0 || rpc == 0) {
      Chyba = QStringLiteral("no free port");
      return false;
    }
    QDir().mkpath(slozka);
    QFile f(slozka + "/influxdb.conf");
    if (!f.open(QIODevice::WriteOnly)) {
      Chyba = f.errorString();
      return false;
    }
    f.write(QStringLiteral("reporting-disabled = true\nbind-address = \"127.0.0.1:%1\"\n"
                           "[meta]\n  dir = \"%2/meta\"\n"
                           "[data]\n  dir = \"%2/data\"\n  wal-dir = \"%2/wal\"\n"
                           "[http]\n  bind-address = \"127.0.0.1:%3\"\n  log-enabled = false\n")
                .arg(rpc)
                .arg(slozka)
                .arg(http_)
                .toUtf8());
    f.close();
    if (!server_.Spust(Program(), {QStringLiteral("-config"), slozka + "/influxdb.conf"}, http_)) {
      Chyba = server_.Chyba;
      return false;
    }
    const auto [kod, telo] = Posli(QStringLiteral("/query"), QUrlQuery("q=CREATE DATABASE zq"));
    if (kod != 200) Chyba = QString::fromUtf8(telo);
    return kod == 200;
  }
  // A POST to `cesta` (/write, /query); the HTTP status (0 when no answer
  // came within 10 s) and the body.
  std::pair<int, QByteArray> Posli(const QString& cesta, const QUrlQuery& dotaz,
                                   const QByteArray& telo = {}) {
    QUrl url(QStringLiteral("http://127.0.0.1:%1%2").arg(http_).arg(cesta));
    url.setQuery(dotaz);
    QNetworkRequest r(url);
    r.setHeader(QNetworkRequest::ContentTypeHeader, "text/plain");
    std::unique_ptr<QNetworkReply> o(sit_.post(r, telo));
    QEventLoop s;
    QObject::connect(o.get(), &QNetworkReply::finished, &s, &QEventLoop::quit);
    QTimer::singleShot(10000, &s, &QEventLoop::quit);
    s.exec();
    return {o->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), o->readAll()};
  }
  // Line protocol into the database "zq"; the HTTP status and the body.
  std::pair<int, QByteArray> Zapis(const QByteArray& radky) {
    return Posli(QStringLiteral("/write"), QUrlQuery("db=zq&precision=ns"), radky);
  }
  // A query of the database "zq"; the HTTP status and the JSON answer.
  std::pair<int, QByteArray> Dotaz(const QString& q) {
    QUrlQuery d;
    d.addQueryItem("db", "zq");
    d.addQueryItem("q", q);
    return Posli(QStringLiteral("/query"), d);
  }
  QString Chyba;

 private:
  // Held for the server's life: nobody else takes them meanwhile.
  TPort portHttp_, portRpc_;
  TServer server_;
  uint16_t http_ = 0;
  QNetworkAccessManager sit_;
};

// A client that subscribes to a topic filter and keeps every message, in
// the order they came; it reconnects by itself when the broker comes back.
class TOdberatel {
 public:
  struct TZprava {
    std::string Tema, Text;
    int64_t PrijatoMs = 0;  // when it came, ms since the epoch
  };

  TOdberatel(uint16_t port, const std::string& filtr, const std::string& ca = {}) : filtr_(filtr) {
    mosquitto_lib_init();
    m_ = mosquitto_new(nullptr, true, this);
    if (!ca.empty()) mosquitto_tls_set(m_, ca.c_str(), nullptr, nullptr, nullptr, nullptr);
    mosquitto_connect_callback_set(m_, [](mosquitto* m, void* u, int rc) {
      auto* o = static_cast<TOdberatel*>(u);
      if (rc == 0) mosquitto_subscribe(m, nullptr, o->filtr_.c_str(), 1);
      std::lock_guard<std::mutex> z(o->zamek_);
      o->pripojen_ = rc == 0;
    });
    mosquitto_disconnect_callback_set(m_, [](mosquitto*, void* u, int) {
      auto* o = static_cast<TOdberatel*>(u);
      std::lock_guard<std::mutex> z(o->zamek_);
      o->pripojen_ = false;
    });
    mosquitto_message_callback_set(m_, [](mosquitto*, void* u, const mosquitto_message* z) {
      auto* o = static_cast<TOdberatel*>(u);
      const int64_t prijato = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  std::chrono::system_clock::now().time_since_epoch())
                                  .count();
      std::lock_guard<std::mutex> l(o->zamek_);
      o->zpravy_.push_back(
          {z->topic,
           std::string(static_cast<const char*>(z->payload), static_cast<size_t>(z->payloadlen)),
           prijato});
    });
    mosquitto_reconnect_delay_set(m_, 1, 1, false);
    mosquitto_connect_async(m_, "127.0.0.1", port, 30);
    mosquitto_loop_start(m_);
  }
  ~TOdberatel() {
    mosquitto_disconnect(m_);
    mosquitto_loop_stop(m_, true);
    mosquitto_destroy(m_);
  }
  bool Pripojen() {
    std::lock_guard<std::mutex> z(zamek_);
    return pripojen_;
  }
  // The messages of topics ending in `konec`, with when they came.
  std::vector<TZprava> ZpravySCasem(const std::string& konec) {
    std::lock_guard<std::mutex> z(zamek_);
    std::vector<TZprava> v;
    for (const TZprava& x : zpravy_)
      if (x.Tema.size() >= konec.size() &&
          x.Tema.compare(x.Tema.size() - konec.size(), konec.size(), konec) == 0)
        v.push_back(x);
    return v;
  }
  // Their texts only.
  std::vector<std::string> Zpravy(const std::string& konec) {
    std::vector<std::string> v;
    for (const TZprava& x : ZpravySCasem(konec)) v.push_back(x.Text);
    return v;
  }
  // The text of the last of them; empty while none has come.
  std::string Posledni(const std::string& konec) {
    const std::vector<TZprava> v = ZpravySCasem(konec);
    return v.empty() ? std::string() : v.back().Text;
  }

 private:
  mosquitto* m_ = nullptr;
  std::string filtr_;
  std::mutex zamek_;
  bool pripojen_ = false;
  std::vector<TZprava> zpravy_;
};
