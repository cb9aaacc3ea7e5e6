#pragma once

#include <QApplication>

#include <exception>

class QSocketNotifier;

// Shows an error's text in the standard error box, over the active window. Once the process
// has been asked to end, the text goes to standard error instead and the process ends with
// status 1.
void ShowException(const std::exception& E);

// The application object: an error that escapes an event handler ends in the error box instead
// of ending the program, and the program goes on.
class TApplication : public QApplication {
public:
  TApplication(int& argc, char** argv);
  ~TApplication() override;
  bool notify(QObject* Receiver, QEvent* Event) override;

  // A request to end the process (SIGTERM, SIGINT, SIGHUP: a logout, a shutdown, Ctrl+C)
  // closes MainForm as its close box would, so that it can save what it keeps, then ends the
  // event loop with status 0, or 1 when an error came up. A second request before the process
  // has ended ends it at once.
  void CloseOnTerminate(QWidget* MainForm);

private:
  QSocketNotifier* FTerminateNotifier = nullptr;
};
