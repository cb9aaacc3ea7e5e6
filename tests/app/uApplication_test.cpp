#include "app/uApplication.h"
#include "app/uAppIcon.h"

#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>

#include <csignal>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

namespace {

class TThrowingObject : public QObject {
public:
  bool event(QEvent* Event) override {
    if (Event->type() == QEvent::User) throw std::runtime_error("Périphérique absent");
    return QObject::event(Event);
  }
};

TEST(Application, AnErrorInAHandlerEndsInTheErrorBoxAndTheProgramGoesOn) {
  int argc = 1;
  char name[] = "uApplication_test";
  char* argv[] = {name, nullptr};
  auto app = std::make_unique<TApplication>(argc, argv);

  QString shown = QStringLiteral("<none>");
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      shown = box->text();
      box->close();
    }
  });
  poll.start(10);

  TThrowingObject target;
  QEvent event(QEvent::User);
  EXPECT_FALSE(QApplication::sendEvent(&target, &event));
  EXPECT_EQ(shown, QStringLiteral("Périphérique absent"));

  // Events that raise nothing are delivered as usual.
  QEvent other(static_cast<QEvent::Type>(QEvent::User + 1));
  shown = QStringLiteral("<none>");
  QApplication::sendEvent(&target, &other);
  EXPECT_EQ(shown, QStringLiteral("<none>"));
  poll.stop();

  // A request to end the process closes the main window through its close event and ends the
  // event loop. An error on the way goes to standard error, not into a box that nobody closes,
  // and makes the status 1.
  class TFailingForm : public QWidget {
  public:
    int Closes = 0;

  protected:
    void closeEvent(QCloseEvent* Event) override {
      ++Closes;
      ShowException(std::runtime_error("Impossible d'écrire dans /x : Disque plein"));
      Event->accept();
    }
  } form;
  form.show();
  app->CloseOnTerminate(&form);
  poll.start(10);
  QTimer::singleShot(0, [] { std::raise(SIGTERM); });
  testing::internal::CaptureStderr();
  const int status = QApplication::exec();
  const std::string err = testing::internal::GetCapturedStderr();
  poll.stop();
  EXPECT_EQ(status, 1);
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(form.Closes, 1);
  EXPECT_EQ(shown, QStringLiteral("<none>"));
  EXPECT_EQ(err, "stereolux: Impossible d'écrire dans /x : Disque plein\n");
  app.reset();
}

// Docks match a window to its desktop entry by the application id (Wayland) or by the window
// class, which is the executable's name (X11).
TEST(AppIdentityTest, WindowsCarryTheIconAndTheDesktopEntrysId) {
  int argc = 1;
  char name[] = "stereolux";
  char* argv[] = {name, nullptr};
  TApplication app(argc, argv);
  ApplyAppIdentity();
  EXPECT_EQ(QGuiApplication::desktopFileName(), QString::fromLatin1(StereoluxAppId));
  EXPECT_FALSE(QGuiApplication::windowIcon().pixmap(48, 48).isNull());
  QFile entry(QStringLiteral(STEREOLUX_SOURCE_DIR "/data/") + StereoluxAppId + ".desktop");
  ASSERT_TRUE(entry.open(QIODevice::ReadOnly | QIODevice::Text));
  const QString text = QString::fromUtf8(entry.readAll());
  EXPECT_TRUE(text.contains(QStringLiteral("\nExec=stereolux\n")));
  EXPECT_TRUE(text.contains(QStringLiteral("\nStartupWMClass=stereolux\n")));
}

}  // namespace
