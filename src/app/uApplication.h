#pragma once

#include <QApplication>

#include <exception>

// Shows an error's text in the standard error box, over the active window.
void ShowException(const std::exception& E);

// The application object: an error that escapes an event handler ends in the error box instead
// of ending the program, and the program goes on.
class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* Receiver, QEvent* Event) override;
};
