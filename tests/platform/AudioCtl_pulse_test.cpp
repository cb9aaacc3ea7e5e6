// The recording control against the private sound server (see pulse_daemon.sh), started by the
// test fixture around these tests.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/PulseAudioRecord.h"
#include "platform/PulseWaveIn.h"

namespace {

using namespace std::chrono_literals;

const std::string DaemonDir = PULSE_TEST_DIR;
const std::string DaemonScript = PULSE_DAEMON_SCRIPT;

std::string ServerOf(const std::string& dir) { return "unix:" + dir + "/native"; }

std::string Pactl(const std::string& args) {
  std::string out;
  if (FILE* p = popen(("pactl --server=" + ServerOf(DaemonDir) + " " + args + " 2>&1").c_str(), "r")) {
    char buf[256];
    while (fgets(buf, sizeof buf, p)) out += buf;
    pclose(p);
  }
  return out;
}

std::string Unavailable(const std::string& dir) {
  std::ifstream in(dir + "/unavailable");
  std::stringstream text;
  if (in) text << in.rdbuf();
  return text.str();
}

class PulseAudioRecordTest : public ::testing::Test {
protected:
  void SetUp() override {
    const std::string why = Unavailable(DaemonDir);
    if (!why.empty()) GTEST_SKIP() << why;
    FRec = TPulseAudioRecord::Connect(ServerOf(DaemonDir));
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
  auto capture = PulseWaveInBackend::Connect(ServerOf(DaemonDir));
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

TEST_F(PulseAudioRecordTest, VolumeInPercentReachesTheCurrentSource) {
  FRec->SetDeviceIndex(IndexOf("Test-Pipe"));
  FRec->SetDeviceLineVolume(50);
  EXPECT_NE(Pactl("get-source-volume stereolux_pipe").find("/  50% /"), std::string::npos)
      << Pactl("get-source-volume stereolux_pipe");
  FRec->SetDeviceLineVolume(250);
  EXPECT_NE(Pactl("get-source-volume stereolux_pipe").find("/ 100% /"), std::string::npos)
      << Pactl("get-source-volume stereolux_pipe");
  EXPECT_NE(Pactl("get-source-volume stereolux_test.monitor").find("/ 100% /"), std::string::npos)
      << "another source changed";

  FRec->SetDeviceIndex(IndexOf("Monitor of Test-Sink"));
  FRec->SetDeviceLineVolume(-5);
  EXPECT_NE(Pactl("get-source-volume stereolux_test.monitor").find("/   0% /"), std::string::npos)
      << Pactl("get-source-volume stereolux_test.monitor");
  FRec->SetDeviceLineVolume(100);
}

TEST_F(PulseAudioRecordTest, AVanishedDeviceIsAnError) {
  const std::string module = Pactl("load-module module-null-sink sink_name=vanishing sink_properties=device.description=Vanishing");
  const int32_t device = IndexOf("Monitor of Vanishing");
  ASSERT_GE(device, 0);
  FRec->SetDeviceIndex(device);
  EXPECT_EQ(FRec->GetDeviceLineCount(), 1);
  Pactl("unload-module " + module);
  EXPECT_THROW(FRec->GetDeviceLineCount(), EAudioRecordError);
  EXPECT_THROW(FRec->SetDeviceLineVolume(100), EAudioRecordError);
  EXPECT_EQ(IndexOf("Monitor of Vanishing"), -1);
}

TEST_F(PulseAudioRecordTest, NothingHangsWhenTheServerFreezesOrGoes) {
  const std::string dir = DaemonDir + "-record";
  ASSERT_EQ(std::system((DaemonScript + " start " + dir).c_str()), 0);
  struct StopDaemon {
    std::string command;
    ~StopDaemon() { (void)std::system(command.c_str()); }
  } stop{DaemonScript + " stop " + dir};
  ASSERT_EQ(Unavailable(dir), "");
  std::ifstream pidFile(dir + "/pid");
  pid_t daemon = 0;
  pidFile >> daemon;
  ASSERT_GT(daemon, 0);

  auto rec = TPulseAudioRecord::Connect(ServerOf(dir));
  ASSERT_EQ(rec->GetDeviceCount(), 2);
  rec->SetDeviceIndex(0);

  ASSERT_EQ(kill(daemon, SIGSTOP), 0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(rec->GetDeviceLineCount(), EAudioRecordError);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  ASSERT_EQ(kill(daemon, SIGCONT), 0);

  (void)std::system((DaemonScript + " stop " + dir).c_str());
  EXPECT_THROW(rec->GetDeviceCount(), EAudioRecordError);
  EXPECT_THROW(rec->SetDeviceLineVolume(100), EAudioRecordError);
}

}  // namespace
