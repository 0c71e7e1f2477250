#pragma once
// SIGTERM, SIGINT and SIGHUP (a logout, `systemctl stop`, Ctrl-C in a
// terminal) end the program the way closing its window does: the
// measurement stops, the task and the settings are saved.  The handler only
// writes the signal's number into a pipe; the main thread's event loop reads
// it and does the work there.
//
// A second signal within 2 s of the first is the same request delivered
// twice (`timeout` signals the program and then its process group, a
// terminal's Ctrl-C reaches every process of a pipe) and is let be.  A later
// one while the program is still ending (a stop waiting for a hanging
// library, say) ends it at once, without saving: the operator asked twice.

#include <functional>

class QObject;

// Installs the handlers for the process.  `ukonci` runs in the main thread
// with the number of the first signal.  The notifier lives under `rodic`.
// A signal ignored when this is called stays ignored (SIGHUP under nohup).
void ZachytavejUkonceni(QObject* rodic, std::function<void(int)> ukonci);
// SIGPIPE ignored: a reader of standard output or error that goes away (a
// `| head`, a pager, an ssh session) makes the writes fail instead of ending
// the program, which goes on measuring.
void IgnorujPrerusenouRouru();

// What the signals did before again, and the pipe closed.  The notifier (the child
// of `rodic` above) must be gone already.
void PrestanZachytavat();
