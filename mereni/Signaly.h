#pragma once
// SIGTERM, SIGINT, SIGHUP and SIGQUIT (`systemctl stop`, Ctrl-C, a logout,
// Ctrl-\ in a terminal) end the program the way closing its window does:
// the measurement stops, the task and the settings are saved.  SIGQUIT would
// otherwise end the program at once with a core dump, losing the sample in
// hand; a logger has nothing a core dump would be wanted for that is worth
// that.  The handler only writes the signal's number into a pipe; the main
// thread's event loop reads it and does the work there.
//
// A second signal within 2 s of the first is the same request delivered
// twice (`timeout` signals the program and then its process group, a
// terminal's Ctrl-C reaches every process of a pipe) and is let be.  A later
// one while the program is still ending (a stop waiting for a hanging
// library, say) ends it at once, without saving: the operator asked twice.

#include <functional>
#include <string>

class QObject;

// Installs the handlers for the process.  `ukonci` runs in the main thread
// with the number of the first signal.  When `stav` is given, SIGUSR1 runs
// it in the main thread (the program says how it is doing) instead of
// ending the program.  The notifier lives under `rodic`.  A signal ignored
// when this is called stays ignored (SIGHUP under nohup).
void ZachytavejUkonceni(QObject* rodic, std::function<void(int)> ukonci,
                        const std::function<void()>& stav = {});
// What the program says when a later signal ends it at once (one line,
// written to `fd` only when that does not block) and the exit status it
// then ends with; a status below 0 is 128 + the signal's number, the
// shell's way.  Set before ZachytavejUkonceni.
void NastavOkamzityKonec(const std::string& zprava, int kod, int fd);
// SIGPIPE ignored: a reader of standard output or error that goes away (a
// `| head`, a pager, an ssh session) makes the writes fail instead of ending
// the program, which goes on measuring.
void IgnorujPrerusenouRouru();

// What the signals did before again, and the pipe closed.  The notifier (the child
// of `rodic` above) must be gone already.
void PrestanZachytavat();
