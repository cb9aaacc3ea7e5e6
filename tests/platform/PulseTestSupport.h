#pragma once
// Helpers for the tests against the private sound server that pulse_daemon.sh runs: the CTest
// fixture starts one in PULSE_TEST_DIR around these tests, and a test that freezes or kills a
// server starts a second one of its own, so that the shared one stays usable for the next tests.
// Every process started here is stopped again by its id.

#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numbers>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/PulseWaveIn.h"
#include "platform/WaveIn.h"

extern char** environ;

namespace pulse_test {

inline const std::string DaemonDir = PULSE_TEST_DIR;

// The address that pulse_daemon.sh gives the server it runs in `dir`.
inline std::string ServerOf(const std::string& dir) { return "unix:" + dir + "/native"; }
inline const std::string Server = ServerOf(DaemonDir);

// Why the server in `dir` could not start, as pulse_daemon.sh wrote it; empty when it runs.
inline std::string Unavailable(const std::string& dir = DaemonDir) {
  std::ifstream in(dir + "/unavailable");
  std::stringstream text;
  if (in) text << in.rdbuf();
  return text.str();
}

// Where the shared server runs, true. Where it does not, a developer's own run skips the test
// with the reason; under scripts/test.sh (and so CI), which sets STEREOLUX_REQUIRE_PULSE, the
// test fails, so that a broken server cannot silently drop these tests.
#define PULSE_TEST_REQUIRE_SERVER()                                            \
  do {                                                                         \
    if (const std::string why_ = ::pulse_test::Unavailable(); !why_.empty()) { \
      if (std::getenv("STEREOLUX_REQUIRE_PULSE") != nullptr) FAIL() << why_;   \
      GTEST_SKIP() << why_;                                                    \
    }                                                                          \
  } while (false)

// pactl against the shared server. The output comes with its errors, so that a failed check
// can show what the server said; a loaded module's output is its index.
inline std::string Pactl(const std::string& args) {
  std::string out;
  if (FILE* p = popen(("pactl --server=" + Server + " " + args + " 2>&1").c_str(), "r")) {
    char buf[256];
    while (fgets(buf, sizeof buf, p)) out += buf;
    pclose(p);
  }
  return out;
}

// What a user set on the shared server: every source's volume, mute and active port, and the
// default source, as pactl shows them.
inline std::string SourceSettings() {
  std::istringstream all(Pactl("list sources"));
  std::string settings, line;
  while (std::getline(all, line)) {
    const auto start = line.find_first_not_of(" \t");
    if (start == std::string::npos) continue;
    for (const char* key : {"Name:", "Mute:", "Volume:", "Active Port:"})
      if (line.compare(start, std::string(key).size(), key) == 0)
        settings += line.substr(start) + "\n";
  }
  return settings + "Default: " + Pactl("get-default-source");
}

// Writes a 1 kHz stereo tone at the given fractions of full scale into the shared server's folder
// and returns its path. It lasts longer than any test waits for it, so that it is still playing
// when a slow run gets to its measurement.
inline std::string WriteTone(const std::string& name, double left, double right) {
  const std::string path = DaemonDir + "/" + name;
  SF_INFO info{};
  info.samplerate = 44100;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  EXPECT_NE(file, nullptr) << sf_strerror(nullptr);
  std::vector<int16_t> frames(2 * 44100 * 30);
  for (size_t i = 0; i < frames.size() / 2; ++i) {
    const double s = std::sin(2 * std::numbers::pi * 1000.0 * static_cast<double>(i) / 44100.0);
    frames[2 * i] = static_cast<int16_t>(std::lround(s * left * 32767));
    frames[2 * i + 1] = static_cast<int16_t>(std::lround(s * right * 32767));
  }
  sf_writef_short(file, frames.data(), static_cast<sf_count_t>(frames.size() / 2));
  sf_close(file);
  return path;
}

// Plays a file into the shared server's null sink, whose monitor the tests record (or into another
// sink), for as long as the object lives: paplay is stopped by its id, so that no player outlives
// its test.
class Player {
public:
  explicit Player(const std::string& file, const std::string& sink = "stereolux_test") {
    std::vector<std::string> args{"paplay", "--server=" + Server, "--device=" + sink, file};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawnp(&FPid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) FPid = 0;
  }
  ~Player() {
    if (FPid == 0) return;
    kill(FPid, SIGTERM);
    waitpid(FPid, nullptr, 0);
  }
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;

  bool Started() const { return FPid != 0; }

private:
  pid_t FPid = 0;
};

// A server of one test's own in `dir`, for a test that freezes or kills it; stopped with the
// object, also when the test ends early.
class OwnDaemon {
public:
  explicit OwnDaemon(std::string dir) : FDir(std::move(dir)) {}
  ~OwnDaemon() { Stop(); }
  OwnDaemon(const OwnDaemon&) = delete;
  OwnDaemon& operator=(const OwnDaemon&) = delete;

  // Starts the server, or starts it again after it was killed or stopped; empty when it runs
  // under a known process id, otherwise why not.
  std::string Start() {
    if (std::system((Script() + " start " + FDir).c_str()) != 0)
      return "pulse_daemon.sh start failed";
    if (const std::string why = Unavailable(FDir); !why.empty()) return why;
    return Pid() > 0 ? "" : "no process id in " + FDir + "/pid";
  }
  void Stop() { (void)std::system((Script() + " stop " + FDir).c_str()); }

  // The server's process id as of its last start, for freezing or killing it; 0 when there is none.
  pid_t Pid() const {
    pid_t pid = 0;
    std::ifstream(FDir + "/pid") >> pid;
    return pid;
  }
  std::string Server() const { return ServerOf(FDir); }

private:
  static std::string Script() { return PULSE_DAEMON_SCRIPT; }
  std::string FDir;
};

// Puts the wave-in calls onto the shared server for each test and takes them off again after it;
// skips or fails when there is no server (PULSE_TEST_REQUIRE_SERVER).
class PulseWaveInFixture : public ::testing::Test {
protected:
  void SetUp() override {
    PULSE_TEST_REQUIRE_SERVER();
    auto backend = PulseWaveInBackend::Connect(Server);
    ASSERT_TRUE(backend) << "no answer from the private server at " << Server;
    SetWaveInBackend(backend);
  }
  void TearDown() override { SetWaveInBackend(nullptr); }
};

// Polls `done` every `step` until it holds or `limit` has passed; whether it held. The server
// takes a while, and not always the same while, to bring the first audio or news of a change.
template <class Done>
bool PollUntil(Done done, std::chrono::milliseconds limit, std::chrono::milliseconds step) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(step);
  }
  return true;
}

}  // namespace pulse_test
