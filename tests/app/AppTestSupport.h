#pragma once

#include "app/frmMain.h"
#include "app/uAction.h"
#include "app/uMultimedia.h"
#include "app/uQtMessageQueue.h"
#include "app/uUserPrefs.h"
#include "app/uVu.h"
#include "app/uWindowState.h"
#include "dataflow/SLMessageQueue.h"
#include "meter_display/lxVumeter.h"
#include "platform/FakeAudioRecord.h"
#include "platform/VirtualWaveIn.h"
#include "platform/WaveIn.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

// The application lives from before the first test until after the last one, and goes before
// the program's static objects do.
class QtEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    app = std::make_unique<QApplication>(argc, argv);
    InstallQtMessageQueue();
    // Keeps the tests away from the user's own configuration folder.
    QStandardPaths::setTestModeEnabled(true);
    // The windows capture from a silent device of their own, never from this machine's.
    VirtualWaveInDevice silence;
    silence.Name = "Silence";
    silence.Signal = VirtualSignal::Silence;
    silence.RealTime = true;
    SetWaveInBackend(
        std::make_shared<VirtualWaveInBackend>(std::vector<VirtualWaveInDevice>{silence}));
  }
  void TearDown() override {
    SetWaveInBackend(nullptr);
    SLSetMessageQueue(nullptr);
    app.reset();
  }

private:
  int argc = 1;
  char name[9] = "app_test";
  char* argv[2] = {name, nullptr};
  std::unique_ptr<QApplication> app;
};

inline const auto* const qtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

// Each test gets a folder of its own that plays the executable's folder, so the preferences
// file is ExeFileName + ".ini" inside it, and the home of the user's configuration folder: a
// newer file there is read instead, and tests run side by side must not see each other's.
class MainWindowTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(folder.isValid());
    ASSERT_TRUE(qputenv("HOME", folder.filePath(QStringLiteral("home")).toLocal8Bit()));
    ExeFileName = folder.filePath(QStringLiteral("stereolux")).toStdString();
    IniPath = ExeFileName + ".ini";
    // Program start: the globals are empty.
    VuState = TVuState{};
    UserPrefs = TUserPrefs{};
    WindowState = TWindowState{};
    // The windows list the devices of a scripted control, never those of this machine.
    AudioRecordConnector = [this] { return Recorder; };
  }

  std::unique_ptr<TfmMain> Open() {
    auto form = std::make_unique<TfmMain>(ExeFileName);
    form->show();
    QApplication::processEvents();
    return form;
  }

  void WriteIni(const std::string& Text) const {
    QFile file(QString::fromStdString(IniPath));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(Text.data(), static_cast<qint64>(Text.size()));
  }

  std::string ReadIni() const {
    QFile file(QString::fromStdString(IniPath));
    if (!file.open(QIODevice::ReadOnly)) return "<missing>";
    return file.readAll().toStdString();
  }

  bool IniExists() const { return QFile::exists(QString::fromStdString(IniPath)); }

  QTemporaryDir folder;
  std::string ExeFileName;
  std::string IniPath;
  std::shared_ptr<TFakeAudioRecord> Recorder = std::make_shared<TFakeAudioRecord>();
};

// The entry of Menu (and of its submenus) that reads Caption.
inline QAction* MenuEntry(QWidget* Menu, const QString& Caption) {
  for (QAction* a : Menu->actions()) {
    if (WithoutMnemonic(a->text()) == Caption) return a;
    if (a->menu())
      if (QAction* found = MenuEntry(a->menu(), Caption)) return found;
  }
  return nullptr;
}

// Runs the main menu's entry shown with Caption, as a click on it does.
inline void Choose(TfmMain& Form, const char* Caption) {
  QAction* entry = MenuEntry(Form.AdvMainMenu1, QString::fromUtf8(Caption));
  ASSERT_NE(entry, nullptr) << Caption;
  entry->trigger();
}

// Runs the event loop until ADone holds, for ALimitMs at most; whether it held.
inline bool WaitUntil(const std::function<bool()>& ADone, int ALimitMs = 15000) {
  QElapsedTimer clock;
  clock.start();
  while (!ADone()) {
    if (clock.elapsed() > ALimitMs) return false;
    QTest::qWait(20);
  }
  return true;
}

// Runs the event loop until the left bar shows Percent, give or take ATolerance, for ALimitMs
// at most; whether it did.
inline bool LeftBarSettlesAt(const TfmMain& Form, int Percent, int ATolerance = 3,
                             int ALimitMs = 5000) {
  return WaitUntil([&] { return std::abs(Form.Vumeter->LeftValue() - Percent) <= ATolerance; },
                   ALimitMs);
}

// Closes the next modal box that opens and hands back its text ("<none>" if none opened).
class TModalBoxCatcher {
public:
  TModalBoxCatcher() {
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [this] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        Text = box->text().toStdString();
        box->close();
        timer.stop();
      }
    });
    timer.start();
  }
  // Whether a box opened within ALimitMs.
  bool Caught(int ALimitMs = 5000) {
    return WaitUntil([this] { return Text != "<none>"; }, ALimitMs);
  }
  std::string Text = "<none>";

private:
  QTimer timer;
};
