#include "app/uApplication.h"

#include <QMessageBox>

void ShowException(const std::exception& E)
{
    QMessageBox::critical(QApplication::activeWindow(), QStringLiteral("Stereolux"),
                          QString::fromUtf8(E.what()));
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* Receiver, QEvent* Event)
{
    try {
        return QApplication::notify(Receiver, Event);
    } catch (const std::exception& E) {
        ShowException(E);
        return false;
    }
}
