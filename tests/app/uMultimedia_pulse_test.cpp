// The window against a private sound server with two inputs: the lists show them under the
// names the capture resolves, and picking the second moves the meter to it.

#include "AppTestSupport.h"

#include "capture/ALAudioIn.h"
#include "meter_display/lxVumeter.h"
#include "platform/PulseAudioRecord.h"
#include "platform/PulseWaveIn.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QTest>

#include <cstdlib>

#include "PulseTestSupport.h"

namespace {

using namespace pulse_test;
using Window = std::unique_ptr<TfmMain>;

bool SetDefaultSource(const std::string& Name) {
  return std::system(("pactl --server=" + Server + " set-default-source " + Name).c_str()) == 0;
}

class DevicePickPulseTest : public MainWindowTest {
protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    PULSE_TEST_REQUIRE_SERVER();
    previous = GetWaveInBackend();
    auto backend = PulseWaveInBackend::Connect(Server);
    ASSERT_TRUE(backend) << "no answer from the private server at " << Server;
    SetWaveInBackend(backend);
    // The system's default input hears nothing of the tone, so only a capture that really
    // moved to the picked input can show it.
    ASSERT_TRUE(SetDefaultSource("stereolux_pipe"));
    AudioRecordConnector = [] { return TPulseAudioRecord::Connect(Server); };
  }
  void TearDown() override {
    if (!previous) return;
    SetDefaultSource("stereolux_test.monitor");
    SetWaveInBackend(previous);
  }

  static std::vector<std::string> CaptureDeviceNames() {
    std::vector<std::string> names;
    for (uint32_t i = 0; i < waveInGetNumDevs(); ++i) {
      WAVEINCAPS caps{};
      if (waveInGetDevCaps(i, &caps, sizeof caps) == MMSYSERR_NOERROR)
        names.emplace_back(caps.szPname);
    }
    return names;
  }

  static std::vector<std::string> ListedNames(const QComboBox* List) {
    std::vector<std::string> names;
    for (int i = 0; i < List->count(); ++i) names.push_back(List->itemText(i).toStdString());
    return names;
  }

  std::shared_ptr<IWaveInBackend> previous;
};

TEST_F(DevicePickPulseTest, TheListsShowTheCapturesNamesAndPickingTheSecondMovesTheMeter) {
  // A steady 1 kHz tone at half of full scale.
  Player player(WriteTone("window_tone.wav", 0.5, 0.5));
  ASSERT_TRUE(player.Started());
  Window form = Open();

  const std::vector<std::string> listed = ListedNames(form->lstDevices);
  EXPECT_EQ(listed, CaptureDeviceNames());
  ASSERT_EQ(listed, (std::vector<std::string>{"Test-Pipe", "Monitor of Test-Sink"}));

  // The first input hears nothing of the tone.
  EXPECT_EQ(form->ALAudioIn1->Device().GetDeviceName(), "Test-Pipe");
  QTest::qWait(1500);
  EXPECT_LE(form->Vumeter->LeftValue(), 2);

  form->lstDevices->setCurrentIndex(1);
  emit form->lstDevices->activated(1);
  EXPECT_EQ(form->ALAudioIn1->Device().GetDeviceName(), "Monitor of Test-Sink");
  EXPECT_TRUE(LeftBarSettlesAt(*form, 50, 4, 15000)) << form->Vumeter->LeftValue();
}

}  // namespace
