// The window against a private sound server with two inputs (the pipe, a real input listed
// first, and the monitor of the null sink that the tests play into): it changes none of the
// server's settings, measures and shows the default input, and follows the sources, the default
// and the server itself as they change.

#include "AppTestSupport.h"

#include "capture/ALAudioIn.h"
#include "meter_display/lxVumeter.h"
#include "platform/PulseAudioRecord.h"
#include "platform/PulseWaveIn.h"

#include <QComboBox>
#include <QTest>

#include <cstdlib>

#include "PulseTestSupport.h"

namespace {

using namespace pulse_test;
using Window = std::unique_ptr<TfmMain>;

bool SetDefaultSource(const std::string& Name) {
  return Pactl("set-default-source " + Name).empty();
}

// The server may take a few seconds to bring the first audio.
bool SettlesAt(const TfmMain& Form, int Percent) {
  return LeftBarSettlesAt(Form, Percent, 4, 15000);
}

std::vector<std::string> ListedNames(const QComboBox* List) {
  std::vector<std::string> names;
  for (int i = 0; i < List->count(); ++i) names.push_back(List->itemText(i).toStdString());
  return names;
}

class LiveInputsPulseTest : public MainWindowTest {
protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    PULSE_TEST_REQUIRE_SERVER();
    previous = GetWaveInBackend();
    UseServer(Server);
    ASSERT_TRUE(SetDefaultSource("stereolux_test.monitor"));
  }
  void TearDown() override {
    if (!previous) return;
    SetDefaultSource("stereolux_test.monitor");
    SetWaveInBackend(previous);
  }

  void UseServer(const std::string& Address) {
    auto backend = PulseWaveInBackend::Connect(Address);
    ASSERT_TRUE(backend) << "no answer from the private server at " << Address;
    SetWaveInBackend(backend);
    AudioRecordConnector = [Address] { return TPulseAudioRecord::Connect(Address); };
  }

  std::shared_ptr<IWaveInBackend> previous;
};

TEST_F(LiveInputsPulseTest, AStartAndACloseChangeNoSettingAndTheDefaultInputIsMeasured) {
  // The input listed first is at 40 %; the default one carries a steady tone at half scale.
  Pactl("set-source-volume stereolux_pipe 40%");
  const std::string before = SourceSettings();
  Player player(WriteTone("window_tone.wav", 0.5, 0.5));
  ASSERT_TRUE(player.Started());
  {
    Window form = Open();
    ASSERT_EQ(ListedNames(form->lstDevices),
              (std::vector<std::string>{"Test-Pipe", "Monitor of Test-Sink"}));
    EXPECT_TRUE(SettlesAt(*form, 50)) << form->Vumeter->LeftValue();
    EXPECT_EQ(form->lstDevices->currentText(), QStringLiteral("Monitor of Test-Sink"));
    EXPECT_EQ(ListedNames(form->lstDeviceLines),
              (std::vector<std::string>{"Monitor of Test-Sink"}));
    form->close();
  }
  EXPECT_EQ(SourceSettings(), before);
  Pactl("set-source-volume stereolux_pipe 100%");
}

TEST_F(LiveInputsPulseTest, TheDefaultInputChangedWhileRunningMovesTheMeterAndTheList) {
  Player player(WriteTone("default_tone.wav", 0.5, 0.5));
  ASSERT_TRUE(player.Started());
  // The pipe hears nothing: nobody writes into it.
  ASSERT_TRUE(SetDefaultSource("stereolux_pipe"));
  Window form = Open();
  EXPECT_TRUE(WaitUntil([&] { return form->lstDevices->currentText() == "Test-Pipe"; }));
  QTest::qWait(1000);
  EXPECT_EQ(form->Vumeter->LeftValue(), 0);

  ASSERT_TRUE(SetDefaultSource("stereolux_test.monitor"));
  EXPECT_TRUE(SettlesAt(*form, 50)) << form->Vumeter->LeftValue();
  EXPECT_TRUE(WaitUntil([&] { return form->lstDevices->currentText() == "Monitor of Test-Sink"; }))
      << form->lstDevices->currentText().toStdString();
  EXPECT_EQ(UserPrefs.Device, "");
}

// A picked source unloaded while it is measured: silence within a second and one report; a
// source of that name loaded again is listed and measured without a pick.
TEST_F(LiveInputsPulseTest, ASourceThatGoesIsReportedOnceAndMeasuredAgainWhenItComesBack) {
  const std::string load =
      "load-module module-null-sink sink_name=vanishing "
      "sink_properties=device.description=Vanishing";
  std::string module = Pactl(load);
  const std::string tone = WriteTone("vanishing_tone.wav", 0.5, 0.5);
  auto player = std::make_unique<Player>(tone, "vanishing");
  Window form = Open();
  ASSERT_TRUE(WaitUntil([&] { return form->lstDevices->findText("Monitor of Vanishing") >= 0; }));
  const int index = form->lstDevices->findText("Monitor of Vanishing");
  form->lstDevices->setCurrentIndex(index);
  emit form->lstDevices->activated(index);
  ASSERT_TRUE(SettlesAt(*form, 50)) << form->Vumeter->LeftValue();

  TModalBoxCatcher box;
  player.reset();
  Pactl("unload-module " + module);
  EXPECT_TRUE(WaitUntil([&] { return form->Vumeter->LeftValue() == 0; }, 1000));
  EXPECT_TRUE(box.Caught(15000));
  EXPECT_EQ(box.Text, "Audio device lost. - 6 - 6");
  EXPECT_TRUE(
      WaitUntil([&] { return form->lstDevices->findText("Monitor of Vanishing") < 0; }, 1000));
  EXPECT_EQ(form->lstDevices->currentIndex(), -1);

  TModalBoxCatcher second;
  module = Pactl(load);
  player = std::make_unique<Player>(tone, "vanishing");
  EXPECT_TRUE(SettlesAt(*form, 50)) << form->Vumeter->LeftValue();
  EXPECT_EQ(form->lstDevices->currentText(), QStringLiteral("Monitor of Vanishing"));
  EXPECT_EQ(second.Text, "<none>");
  player.reset();
  form.reset();
  Pactl("unload-module " + module);
}

// The server killed and started again: one report, then the lists and the capture come back on
// their own.
TEST_F(LiveInputsPulseTest, AServerThatRestartsIsFollowed) {
  OwnDaemon own(DaemonDir + "-window");
  ASSERT_EQ(own.Start(), "");
  UseServer(own.Server());
  Window form = Open();
  ASSERT_TRUE(WaitUntil([&] { return form->ALAudioIn1->IsCapturing(); }));
  EXPECT_EQ(form->lstDevices->currentText(), QStringLiteral("Monitor of Test-Sink"));

  TModalBoxCatcher box;
  ASSERT_EQ(kill(own.Pid(), SIGKILL), 0);
  EXPECT_TRUE(box.Caught(15000));
  EXPECT_EQ(box.Text, "Audio device lost. - 6 - 6");
  EXPECT_TRUE(WaitUntil([&] { return form->lstDevices->count() == 0; }));
  EXPECT_FALSE(form->ALAudioIn1->IsCapturing());

  TModalBoxCatcher second;
  ASSERT_EQ(own.Start(), "");
  EXPECT_TRUE(WaitUntil([&] { return form->ALAudioIn1->IsCapturing(); }));
  EXPECT_TRUE(WaitUntil([&] { return form->lstDevices->count() == 2; }));
  EXPECT_EQ(form->lstDevices->currentText(), QStringLiteral("Monitor of Test-Sink"));
  EXPECT_EQ(second.Text, "<none>");
}

}  // namespace
