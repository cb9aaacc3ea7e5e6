#include "app/uApplication.h"

#include <QMessageBox>
#include <QPointer>
#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>
#include <csignal>

namespace {

// The signal handler may only write to a descriptor; the main loop reads the other end.
int TerminatePipe[2] = {-1, -1};

void OnTerminateSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(TerminatePipe[1], &byte, 1);
}

}  // namespace

void ShowException(const std::exception& E) {
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
  if (FTerminateNotifier || ::socketpair(AF_UNIX, SOCK_STREAM, 0, TerminatePipe) != 0) return;
  FTerminateNotifier = new QSocketNotifier(TerminatePipe[0], QSocketNotifier::Read, this);
  connect(FTerminateNotifier, &QSocketNotifier::activated, this,
          [Form = QPointer<QWidget>(MainForm)] {
            char byte;
            [[maybe_unused]] const ssize_t read = ::read(TerminatePipe[0], &byte, 1);
            // A window that has closed already has saved already.
            if (Form && Form->isVisible()) Form->close();
          });
  struct sigaction action = {};
  action.sa_handler = OnTerminateSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &action, nullptr);
}
