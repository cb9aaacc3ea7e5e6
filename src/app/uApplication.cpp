#include "app/uApplication.h"

#include <QMessageBox>
#include <QPointer>
#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstdio>

namespace {

// The signal handler may only write to a descriptor; the main loop reads the other end.
int TerminatePipe[2] = {-1, -1};
// Set by the first request to end the process, and never cleared while the handler is in place.
volatile std::sig_atomic_t TerminateRequested = 0;
// What the process returns after a request to end it: 1 once an error could not be shown.
int TerminateStatus = 0;

void OnTerminateSignal(int Signal) {
  // A second request while the first one is served (a save that hangs on a stalled disk, say)
  // ends the process at once: nothing may keep a logout waiting.
  if (TerminateRequested) ::_exit(128 + Signal);
  TerminateRequested = 1;
  const int savedErrno = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(TerminatePipe[1], &byte, 1);
  errno = savedErrno;
}

}  // namespace

void ShowException(const std::exception& E) {
  if (TerminateRequested) {
    // The process is ending: no box may wait for a user who has gone.
    std::fprintf(stderr, "stereolux: %s\n", E.what());
    std::fflush(stderr);
    TerminateStatus = 1;
    return;
  }
  QMessageBox::critical(QApplication::activeWindow(), QStringLiteral("Stereolux"),
                        QString::fromUtf8(E.what()));
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

TApplication::~TApplication() {
  if (FTerminateNotifier) {
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) std::signal(sig, SIG_DFL);
    delete FTerminateNotifier;
    ::close(TerminatePipe[0]);
    ::close(TerminatePipe[1]);
    TerminatePipe[0] = TerminatePipe[1] = -1;
    TerminateRequested = 0;
    TerminateStatus = 0;
  }
}

bool TApplication::notify(QObject* Receiver, QEvent* Event) {
  try {
    return QApplication::notify(Receiver, Event);
  } catch (const std::exception& E) {
    ShowException(E);
    return false;
  }
}

void TApplication::CloseOnTerminate(QWidget* MainForm) {
  if (FTerminateNotifier ||
      ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, TerminatePipe) != 0)
    return;
  FTerminateNotifier = new QSocketNotifier(TerminatePipe[0], QSocketNotifier::Read, this);
  connect(FTerminateNotifier, &QSocketNotifier::activated, this,
          [Form = QPointer<QWidget>(MainForm)] {
            char byte;
            [[maybe_unused]] const ssize_t read = ::read(TerminatePipe[0], &byte, 1);
            // A window that has closed already has saved already; one that is closing (its
            // error box open) is not closed again.
            if (Form && Form->isVisible()) Form->close();
            // Every event loop ends, those of open boxes and dialogs included.
            QCoreApplication::exit(TerminateStatus);
          });
  struct sigaction action = {};
  action.sa_handler = OnTerminateSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &action, nullptr);
}
