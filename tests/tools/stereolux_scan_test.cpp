// The scanner against sound files of known levels.

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct TRun {
  int Status = -1;
  std::string Out;
  std::string Err;
};

// Test cases run as separate processes side by side, so each one's files carry its process id;
// they are removed when the process ends.
std::string TempPath(const std::string& AName) {
  static struct TFiles {
    std::vector<std::string> Paths;
    ~TFiles() {
      for (const std::string& path : Paths) std::remove(path.c_str());
    }
  } Files;
  const std::string path =
      testing::TempDir() + "stereolux_scan_" + std::to_string(getpid()) + "_" + AName;
  Files.Paths.push_back(path);
  return path;
}

TRun RunScan(const std::string& AArgs) {
  const std::string errFile = TempPath("stderr.txt");
  TRun run;
  const std::string command = std::string(SCAN_BIN) + " " + AArgs + " 2>" + errFile;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.Out.append(buffer, got);
    const int status = pclose(pipe);
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  if (FILE* err = fopen(errFile.c_str(), "r")) {
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, err)) > 0) run.Err.append(buffer, got);
    fclose(err);
  }
  return run;
}

std::vector<std::vector<std::string>> Rows(const std::string& AText) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(AText);
  std::string line;
  while (std::getline(lines, line)) {
    std::vector<std::string> cells;
    std::istringstream fields(line);
    std::string cell;
    while (std::getline(fields, cell, ',')) cells.push_back(cell);
    rows.push_back(cells);
  }
  return rows;
}

// A sine of the given peak per channel (as a fraction of full scale), written as integers.
std::string WriteSine(const std::string& AName, int AFormat, int ARate, int AChannels,
                      int64_t AFrames, std::vector<double> APeaks) {
  const std::string path = TempPath(AName);
  SF_INFO info{};
  info.samplerate = ARate;
  info.channels = AChannels;
  info.format = SF_FORMAT_WAV | AFormat;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  EXPECT_NE(file, nullptr) << sf_strerror(nullptr);
  std::vector<int> frame(static_cast<size_t>(AChannels));
  for (int64_t n = 0; n < AFrames; ++n) {
    const double wave = std::sin(2 * std::numbers::pi * 1000.0 * static_cast<double>(n) / ARate);
    for (int c = 0; c < AChannels; ++c) {
      frame[static_cast<size_t>(c)] = static_cast<int>(
          std::lround(wave * APeaks[static_cast<size_t>(c) % APeaks.size()] * 2147483647.0));
    }
    sf_writef_int(file, frame.data(), 1);
  }
  sf_close(file);
  return path;
}

TEST(StereoluxScan, LevelsInSampleUnitsOfTheFile) {
  struct TCase {
    int Format;
    double FullScale;
  };
  for (const TCase& c : {TCase{SF_FORMAT_PCM_U8, 127}, TCase{SF_FORMAT_PCM_16, 32767},
                         TCase{SF_FORMAT_PCM_24, 8388607}, TCase{SF_FORMAT_PCM_32, 2147483647}}) {
    const std::string path = WriteSine("levels.wav", c.Format, 48000, 2, 48000 * 2, {0.5, 0.25});
    const TRun run = RunScan(path);
    ASSERT_EQ(run.Status, 0) << run.Err;
    const auto rows = Rows(run.Out);
    ASSERT_EQ(rows.size(), 21u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"time_s", "ch0", "ch1"}));
    EXPECT_EQ(rows[1][0], "0.100");
    EXPECT_EQ(rows[20][0], "2.000");
    EXPECT_NEAR(std::stod(rows[20][1]), 0.5 * c.FullScale, 0.01 * c.FullScale) << c.FullScale;
    EXPECT_NEAR(std::stod(rows[20][2]), 0.25 * c.FullScale, 0.01 * c.FullScale) << c.FullScale;
  }
}

TEST(StereoluxScan, DecibelsAndOptions) {
  const std::string path = WriteSine("db.wav", SF_FORMAT_PCM_16, 44100, 1, 44100, {0.5});
  TRun run = RunScan("--dbfs --period 250 --release 100 " + path);
  ASSERT_EQ(run.Status, 0) << run.Err;
  auto rows = Rows(run.Out);
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"time_s", "ch0"}));
  EXPECT_EQ(rows[4][0], "1.000");
  // Half of 16-bit full scale on the program's scale, where 0 dB is 65536.
  EXPECT_NEAR(std::stod(rows[4][1]), 20 * std::log10(16383.5 / 65536), 0.05);
  EXPECT_EQ(rows[4][1].size() - rows[4][1].find('.'), 5u);  // four decimals
}

TEST(StereoluxScan, SilenceAndTheReleaseOfASilencedTone) {
  const std::string path = TempPath("tail.wav");
  SF_INFO info{};
  info.samplerate = 10000;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr);
  std::vector<short> samples(20000, 0);
  for (size_t n = 0; n < 10000; ++n) samples[n] = n % 2 ? 16000 : -16000;
  sf_write_short(file, samples.data(), static_cast<sf_count_t>(samples.size()));
  sf_close(file);

  const TRun run = RunScan("--release 100 " + path);
  ASSERT_EQ(run.Status, 0) << run.Err;
  const auto rows = Rows(run.Out);
  ASSERT_EQ(rows.size(), 21u);
  const double loud = std::stod(rows[10][1]);
  const double after = std::stod(rows[11][1]);
  EXPECT_GT(loud, 15000);
  // 100 ms into the silence with a release of 100 ms: down by a factor e.
  EXPECT_NEAR(after / loud, std::exp(-1.0), 0.02);
  EXPECT_LT(std::stod(rows[20][1]), loud * 1e-4);
}

TEST(StereoluxScan, TheLastBlockCountsWhenItEndsTheLastBuffer) {
  // 32 channels of 32 bits fill a 32 KiB capture buffer with 255 frames; at 255 Hz and 1 s
  // periods the file ends with both a block and a buffer.
  const std::string path = WriteSine("edge.wav", SF_FORMAT_PCM_32, 255, 32, 255 * 4, {0.5});
  const TRun run = RunScan("--period 1000 " + path);
  ASSERT_EQ(run.Status, 0) << run.Err;
  const auto rows = Rows(run.Out);
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0].size(), 33u);
  EXPECT_EQ(rows[0][32], "ch31");
  EXPECT_EQ(rows[4][0], "4.000");
  EXPECT_EQ(rows[4].size(), 33u);
}

TEST(StereoluxScan, BadInputExitsWithStatusTwo) {
  const std::string text = TempPath("not_audio.wav");
  if (FILE* f = fopen(text.c_str(), "w")) {
    fputs("hello", f);
    fclose(f);
  }
  const std::string floats = TempPath("float.wav");
  {
    SF_INFO info{};
    info.samplerate = 8000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(floats.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr);
    float zero[100] = {};
    sf_write_float(file, zero, 100);
    sf_close(file);
  }
  const std::string good = WriteSine("good.wav", SF_FORMAT_PCM_16, 8000, 1, 800, {0.5});
  struct TCase {
    std::string Args;
    bool Usage;
  };
  for (const TCase& c :
       {TCase{text, false}, TCase{floats, false}, TCase{TempPath("missing.wav"), false},
        TCase{"", true}, TCase{"--period 0 " + good, true}, TCase{"--release x " + good, true},
        TCase{"--frobnicate " + good, true}, TCase{good + " " + good, true}}) {
    const TRun run = RunScan(c.Args);
    EXPECT_EQ(run.Status, 2) << c.Args;
    EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), 1) << c.Args << ": " << run.Err;
    EXPECT_EQ(run.Err.rfind("usage: stereolux-scan", 0) == 0, c.Usage) << run.Err;
    if (!c.Usage) {
      EXPECT_TRUE(run.Out.empty()) << c.Args;
    }
  }
}

}  // namespace
