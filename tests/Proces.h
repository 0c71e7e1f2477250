#pragma once
// A program of the build run as a process of its own, its standard output
// and error each on a pipe of the test's.

#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <string>
#include <string_view>
#include <vector>

extern char** environ;

// How the process's standard output and error reach the test.
enum class TRoury {
  Oddelene,   // a pipe each
  Spolecna,   // both on one pipe (read as `vystup`), as a journal takes them
  PlneObe,    // one pipe, filled up before the start: nobody reads it
  PlnyVystup  // standard output's pipe filled up, standard error's read
};

// The build's zq-logger (or the build's program `jmeno`) as a process of its
// own, its standard output and error on pipes of ours, the test's environment
// with `prostredi` ("NAME=value") added; killed and reaped at the end if
// still there.
struct TProces {
  pid_t pid = -1;
  int vystup = -1, chyby = -1;
  std::string Vystup, Chyby;  // what was read so far

  explicit TProces(const std::vector<std::string>& argumenty,
                   const std::string& jmeno = "zq-logger", TRoury roury = TRoury::Oddelene,
                   const std::vector<std::string>& prostredi = {}) {
    int o[2], e[2];
    if (pipe2(o, O_CLOEXEC) != 0 || pipe2(e, O_CLOEXEC) != 0) return;
    const bool spolecna = roury == TRoury::Spolecna || roury == TRoury::PlneObe;
    if (roury == TRoury::PlneObe || roury == TRoury::PlnyVystup) Napln(o[1]);
    posix_spawn_file_actions_t akce;
    posix_spawn_file_actions_init(&akce);
    posix_spawn_file_actions_adddup2(&akce, o[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&akce, spolecna ? o[1] : e[1], STDERR_FILENO);
    const std::string program = std::string(ZQ_BIN) + "/" + jmeno;
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : argumenty) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    // The entries given replace the test's own of the same name.
    std::vector<char*> env;
    for (char** e = environ; *e != nullptr; ++e) {
      bool nahrazena = false;
      for (const std::string& n : prostredi)
        nahrazena = nahrazena || std::string_view(*e).rfind(n.substr(0, n.find('=') + 1), 0) == 0;
      if (!nahrazena) env.push_back(*e);
    }
    for (const std::string& e : prostredi) env.push_back(const_cast<char*>(e.c_str()));
    env.push_back(nullptr);
    if (posix_spawn(&pid, program.c_str(), &akce, nullptr, argv.data(), env.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&akce);
    close(o[1]);
    close(e[1]);
    vystup = o[0];
    chyby = e[0];
    if (spolecna) Zavri(chyby);
  }
  // Fills the pipe of write end `fd` to the brim, its flags as before.
  static void Napln(int fd) {
    const int priznaky = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFL, priznaky | O_NONBLOCK);
    const std::string blok(4096, '#');
    for (int i = 0; i < 1024 && write(fd, blok.data(), blok.size()) > 0; ++i) {
    }
    fcntl(fd, F_SETFL, priznaky);
  }
  // Reads what is in `fd` now, `cil` gets it.
  static void Vyprazdni(int fd, std::string& cil) {
    char buf[4096];
    for (int i = 0; i < 1024; ++i) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 0) <= 0) return;
      const ssize_t n = read(fd, buf, sizeof buf);
      if (n <= 0) return;
      cil.append(buf, static_cast<size_t>(n));
    }
  }
  ~TProces() {
    if (pid > 0 && waitpid(pid, nullptr, WNOHANG) == 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    Zavri(vystup);
    Zavri(chyby);
  }
  static void Zavri(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
  // Reads both pipes until `text` is in what came from `fd` or `ms` pass.
  bool Cekej(int fd, const std::string& text, int ms) {
    const auto konec = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < konec) {
      std::string& cil = fd == vystup ? Vystup : Chyby;
      if (cil.find(text) != std::string::npos) return true;
      pollfd p[2] = {{vystup, POLLIN, 0}, {chyby, POLLIN, 0}};
      if (poll(p, 2, 50) <= 0) continue;
      for (const pollfd& x : p) {
        if (x.fd < 0 || !(x.revents & (POLLIN | POLLHUP))) continue;
        char buf[4096];
        const ssize_t n = read(x.fd, buf, sizeof buf);
        if (n > 0) (x.fd == vystup ? Vystup : Chyby).append(buf, static_cast<size_t>(n));
      }
    }
    return false;
  }
  // The exit status, or -1 when the process has not ended within `ms`.
  int Skonci(int ms) {
    for (int i = 0;; ++i) {
      int stav = 0;
      if (waitpid(pid, &stav, WNOHANG) == pid) {
        pid = -1;
        return WIFEXITED(stav) ? WEXITSTATUS(stav) : 128 + WTERMSIG(stav);
      }
      if (i >= ms / 10) return -1;
      QTest::qWait(10);
    }
  }
};
