// The recording control against the private sound server (see pulse_daemon.sh), started by the
// test fixture around these tests.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "PulseTestSupport.h"
#include "platform/PulseAudioRecord.h"
#include "platform/PulseWaveIn.h"

namespace {

using namespace std::chrono_literals;
using namespace pulse_test;

class PulseAudioRecordTest : public ::testing::Test {
protected:
  void SetUp() override {
    PULSE_TEST_REQUIRE_SERVER();
    FRec = TPulseAudioRecord::Connect(Server);
  }

  std::vector<std::string> DeviceNames() {
    std::vector<std::string> names;
    const int32_t n = FRec->GetDeviceCount();
    for (int32_t i = 0; i < n; ++i) names.push_back(FRec->GetDeviceName(i));
    return names;
  }

  int32_t IndexOf(const std::string& name) {
    const auto names = DeviceNames();
    const auto at = std::find(names.begin(), names.end(), name);
    return at == names.end() ? -1 : static_cast<int32_t>(at - names.begin());
  }

  std::shared_ptr<TPulseAudioRecord> FRec;
};

TEST_F(PulseAudioRecordTest, ListsTheDevicesUnderTheCapturesNames) {
  auto capture = PulseWaveInBackend::Connect(Server);
  ASSERT_TRUE(capture);
  std::vector<std::string> captureNames;
  const uint32_t n = capture->GetNumDevs();
  for (uint32_t i = 0; i < n; ++i) {
    std::string name;
    ASSERT_EQ(capture->GetDevName(i, name), 0u);
    captureNames.push_back(name);
  }
  EXPECT_EQ(DeviceNames(), captureNames);
  EXPECT_EQ(DeviceNames(), (std::vector<std::string>{"Test-Pipe", "Monitor of Test-Sink"}));
}

TEST_F(PulseAudioRecordTest, ASourceWithoutPortsIsItsOwnOnlyLine) {
  FRec->SetDeviceIndex(IndexOf("Test-Pipe"));
  ASSERT_EQ(FRec->GetDeviceLineCount(), 1);
  EXPECT_EQ(FRec->GetDeviceLineName(0), "Test-Pipe");
  EXPECT_NO_THROW(FRec->SetDeviceLineIndex(0));
  EXPECT_NO_THROW(FRec->SetDeviceLineIndex(-1));
  EXPECT_THROW(FRec->SetDeviceLineIndex(1), std::out_of_range);
  EXPECT_THROW(FRec->GetDeviceLineName(1), std::out_of_range);

  EXPECT_THROW(FRec->SetDeviceIndex(-1), std::out_of_range);
  EXPECT_THROW(FRec->SetDeviceIndex(2), std::out_of_range);
  EXPECT_EQ(FRec->GetDeviceLineCount(), 1) << "a refused device leaves the current one";
}

// What the window does at start-up, on every source: the server's settings stay as they were.
TEST_F(PulseAudioRecordTest, TheStartUpSelectionChangesNothingOnTheServer) {
  Pactl("set-source-volume stereolux_pipe 40%");
  const std::string before = SourceSettings();
  const int32_t n = FRec->GetDeviceCount();
  ASSERT_EQ(n, 2);
  for (int32_t device = 0; device < n; ++device) {
    FRec->SetDeviceIndex(device);
    ASSERT_EQ(FRec->GetDeviceLineCount(), 1);
    FRec->SetDeviceLineIndex(0);
    FRec->SetFILEFORMAT(0);
    FRec->SetWaveFormatIdx(0);
    FRec->SetDeviceLineVolume(100);
  }
  EXPECT_EQ(SourceSettings(), before);
  EXPECT_NE(before.find("40%"), std::string::npos) << before;
  Pactl("set-source-volume stereolux_pipe 100%");
}

TEST_F(PulseAudioRecordTest, AVanishedDeviceIsAnError) {
  const std::string module = Pactl(
      "load-module module-null-sink sink_name=vanishing "
      "sink_properties=device.description=Vanishing");
  const int32_t device = IndexOf("Monitor of Vanishing");
  ASSERT_GE(device, 0);
  FRec->SetDeviceIndex(device);
  EXPECT_EQ(FRec->GetDeviceLineCount(), 1);
  Pactl("unload-module " + module);
  EXPECT_THROW(FRec->GetDeviceLineCount(), EAudioRecordError);
  EXPECT_EQ(IndexOf("Monitor of Vanishing"), -1);
}

TEST_F(PulseAudioRecordTest, NothingHangsWhenTheServerFreezesOrGoes) {
  OwnDaemon own(DaemonDir + "-record");
  ASSERT_EQ(own.Start(), "");
  const pid_t daemon = own.Pid();

  auto rec = TPulseAudioRecord::Connect(own.Server());
  ASSERT_EQ(rec->GetDeviceCount(), 2);
  rec->SetDeviceIndex(0);

  ASSERT_EQ(kill(daemon, SIGSTOP), 0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(rec->GetDeviceLineCount(), EAudioRecordError);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  ASSERT_EQ(kill(daemon, SIGCONT), 0);

  own.Stop();
  EXPECT_THROW(rec->GetDeviceCount(), EAudioRecordError);
}

}  // namespace
