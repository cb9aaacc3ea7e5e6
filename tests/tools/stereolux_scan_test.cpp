// The scanner against sound files of known levels.

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
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

// A shell command line; the standard error of its last command is kept.
TRun RunShell(const std::string& ACommand) {
  const std::string errFile = TempPath("stderr.txt");
  TRun run;
  const std::string command = ACommand + " 2>" + errFile;
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

TRun RunScan(const std::string& AArgs) { return RunShell(std::string(SCAN_BIN) + " " + AArgs); }

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

// Frames given as floats (full scale 1.0), written in any format the library writes.
std::string WriteFloats(const std::string& AName, int AFormat, int ARate, int AChannels,
                        const std::vector<float>& ASamples) {
  const std::string path = TempPath(AName);
  SF_INFO info{};
  info.samplerate = ARate;
  info.channels = AChannels;
  info.format = AFormat;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  EXPECT_NE(file, nullptr) << AName << ": " << sf_strerror(nullptr);
  if (file == nullptr) return path;
  double quality = 1.0;  // lossy codecs at their best
  sf_command(file, SFC_SET_VBR_ENCODING_QUALITY, &quality, sizeof quality);
  sf_writef_float(file, ASamples.data(), static_cast<sf_count_t>(ASamples.size() / AChannels));
  sf_close(file);
  return path;
}

// A 1 kHz sine of the given peak per channel (as a fraction of full scale), as a WAV file.
std::string WriteSine(const std::string& AName, int AFormat, int ARate, int AChannels,
                      int64_t AFrames, std::vector<double> APeaks) {
  std::vector<float> samples;
  for (int64_t n = 0; n < AFrames; ++n) {
    const double wave = std::sin(2 * std::numbers::pi * 1000.0 * static_cast<double>(n) / ARate);
    for (int c = 0; c < AChannels; ++c)
      samples.push_back(static_cast<float>(wave * APeaks[static_cast<size_t>(c) % APeaks.size()]));
  }
  return WriteFloats(AName, SF_FORMAT_WAV | AFormat, ARate, AChannels, samples);
}

TEST(StereoluxScan, LevelsInSampleUnitsOfTheFile) {
  struct TCase {
    int Format;
    double FullScale;
  };
  for (const TCase& c : {TCase{SF_FORMAT_PCM_U8, 127}, TCase{SF_FORMAT_PCM_16, 32767},
                         TCase{SF_FORMAT_PCM_24, 8388607}, TCase{SF_FORMAT_PCM_32, 2147483647},
                         TCase{SF_FORMAT_FLOAT, 1}}) {
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
  TRun run = RunScan("--dbfs --period=250 --release 100 " + path);
  ASSERT_EQ(run.Status, 0) << run.Err;
  auto rows = Rows(run.Out);
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"time_s", "ch0"}));
  EXPECT_EQ(rows[4][0], "1.000");
  // Half of 16-bit full scale on the program's scale, where 0 dB is 65536.
  EXPECT_NEAR(std::stod(rows[4][1]), 20 * std::log10(16383.5 / 65536), 0.05);
  EXPECT_EQ(rows[4][1].size() - rows[4][1].find('.'), 5u);  // four decimals
}

// A tone at a quarter of the sample rate whose peak is a power of two of the samples' unit is
// exact at every width; in dBFS it reads the same from every file. Floats beyond full scale
// are kept and read above it; quiet floats read in proportion.
TEST(StereoluxScan, AToneReadsTheSameDecibelsAtEveryWidth) {
  struct TCase {
    int Format;
    float Peak;
    double Offset;  // dB above the half-scale tone
  };
  const TCase Cases[] = {{SF_FORMAT_PCM_U8, 0.5f, 0},
                         {SF_FORMAT_PCM_16, 0.5f, 0},
                         {SF_FORMAT_PCM_24, 0.5f, 0},
                         {SF_FORMAT_PCM_32, 0.5f, 0},
                         {SF_FORMAT_FLOAT, 0.5f, 0},
                         {SF_FORMAT_DOUBLE, 0.5f, 0},
                         {SF_FORMAT_FLOAT, 1.5f, 9.5424},
                         // A quiet float still reads: floats snap to 0 far below 0.005.
                         {SF_FORMAT_FLOAT, 0.5f / 8192, -78.2678}};
  double Expected = 0;
  for (const TCase& c : Cases) {
    SCOPED_TRACE(c.Format);
    std::vector<float> samples(48000);
    for (size_t n = 0; n < samples.size(); ++n)
      samples[n] = n % 2 ? 0.0f : n % 4 ? -c.Peak : c.Peak;
    const TRun run =
        RunScan("--dbfs " + WriteFloats("tone.wav", SF_FORMAT_WAV | c.Format, 48000, 1, samples));
    ASSERT_EQ(run.Status, 0) << run.Err;
    const auto rows = Rows(run.Out);
    ASSERT_EQ(rows.size(), 11u);
    const double level = std::stod(rows[10][1]);
    if (Expected == 0) Expected = level;
    EXPECT_NEAR(level, Expected + c.Offset, 0.01);
  }
  // The filter passes the tone at about its own peak: half of full scale, -12 dB.
  EXPECT_NEAR(Expected, -12.04, 0.05);
}

// Compressed and companded files are decoded to floats and read as their float original. The
// lossy codecs' own noise, some 35 to 40 dB below a pure tone, lifts its sample peaks by up to
// a few tenths of a decibel; a wrong scale would be off by 6 dB or more.
TEST(StereoluxScan, CompressedFilesReadAsTheirOriginal) {
  struct TCase {
    int Format;
    const char* Name;
    bool QuarterRate;  // the tone at fs/4 whose peak u-law codes exactly
    double Tolerance;  // dB
  };
  const TCase Cases[] = {{SF_FORMAT_FLAC | SF_FORMAT_PCM_16, "tone.flac", false, 0.01},
                         {SF_FORMAT_WAV | SF_FORMAT_ULAW, "ulaw.wav", true, 0.01},
                         {SF_FORMAT_OGG | SF_FORMAT_VORBIS, "tone.ogg", false, 0.5},
                         {SF_FORMAT_OGG | SF_FORMAT_OPUS, "tone.opus", false, 0.5},
                         {SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, "tone.mp3", false, 0.5}};
  for (const TCase& c : Cases) {
    SCOPED_TRACE(c.Name);
    std::vector<float> samples(48000 * 2);
    for (size_t n = 0; n < samples.size(); ++n) {
      samples[n] =
          c.QuarterRate
              ? (n % 2   ? 0.0f
                 : n % 4 ? -16764 / 32768.0f
                         : 16764 / 32768.0f)
              : static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * 1000.0 * n / 48000));
    }
    const std::string original =
        WriteFloats("original.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, 1, samples);
    const TRun expected = RunScan("--dbfs " + original);
    const TRun run = RunScan("--dbfs " + WriteFloats(c.Name, c.Format, 48000, 1, samples));
    ASSERT_EQ(run.Status, 0) << run.Err;
    const auto rows = Rows(run.Out);
    const auto expectedRows = Rows(expected.Out);
    ASSERT_GE(rows.size(), 20u);
    ASSERT_EQ(expectedRows.size(), 21u);
    for (size_t k = 10; k < 20; ++k)
      EXPECT_NEAR(std::stod(rows[k][1]), std::stod(expectedRows[k][1]), c.Tolerance)
          << "block " << k;
  }
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

// The summary gives each channel's highest level of the table, the end of its block, and the
// samples at full scale within the measured blocks.
TEST(StereoluxScan, SummaryAgreesWithTheTable) {
  const std::string path = TempPath("summary.wav");
  SF_INFO info{};
  info.samplerate = 8000;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr);
  std::vector<short> samples(2 * 8050, 0);  // 10 blocks and 50 frames
  for (size_t n = 0; n < 8050; ++n) samples[2 * n + 1] = n % 2 ? 3000 : -3000;
  for (size_t n : {1000, 1001, 1002}) samples[2 * n] = 32767;  // in block 2
  for (size_t n : {4000, 7000}) samples[2 * n] = -32768;
  samples[2 * 8020] = 32767;  // after the last whole block: not measured
  sf_write_short(file, samples.data(), static_cast<sf_count_t>(samples.size()));
  sf_close(file);

  const TRun table = RunScan(path);
  const TRun summary = RunScan("--summary " + path);
  ASSERT_EQ(summary.Status, 0) << summary.Err;
  const auto rows = Rows(table.Out);
  ASSERT_EQ(rows.size(), 11u);
  const auto lines = Rows(summary.Out);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], (std::vector<std::string>{"channel", "max", "time_s", "clipped"}));
  for (size_t c = 0; c < 2; ++c) {
    size_t loudest = 1;
    for (size_t k = 2; k < rows.size(); ++k)
      if (std::stod(rows[k][c + 1]) > std::stod(rows[loudest][c + 1])) loudest = k;
    EXPECT_EQ(lines[c + 1][0], "ch" + std::to_string(c));
    EXPECT_EQ(lines[c + 1][1], rows[loudest][c + 1]);
    EXPECT_EQ(lines[c + 1][2], rows[loudest][0]);
  }
  EXPECT_EQ(lines[1][3], "5");
  EXPECT_EQ(lines[2][3], "0");

  const TRun decibels = RunScan("--summary --dbfs " + path);
  ASSERT_EQ(decibels.Status, 0) << decibels.Err;
  EXPECT_NEAR(std::stod(Rows(decibels.Out)[1][1]), 20 * std::log10(std::stod(lines[1][1]) / 65536),
              1e-4);
}

// Files are measured one after another; each line names its file, a bad file is reported and
// the others are still measured.
TEST(StereoluxScan, SeveralFilesWithABadOne) {
  const std::string first = WriteSine("first.wav", SF_FORMAT_PCM_16, 8000, 1, 8800, {0.5});
  const std::string second = WriteSine("second,one.wav", SF_FORMAT_PCM_24, 8000, 2, 4400, {0.25});
  const std::string missing = TempPath("missing.wav");
  const TRun run = RunScan(first + " " + missing + " " + second);
  EXPECT_EQ(run.Status, 2);
  EXPECT_NE(run.Err.find(missing + ": No such file"), std::string::npos) << run.Err;
  const auto rows = Rows(run.Out);
  ASSERT_EQ(rows.size(), 1u + 11 + 1 + 5) << run.Out;
  EXPECT_EQ(rows[0], (std::vector<std::string>{"file", "time_s", "ch0"}));
  EXPECT_EQ(rows[1][0], first);
  EXPECT_EQ(rows[11][1], "1.100");
  // A new header when the columns change; a name with a comma is quoted.
  EXPECT_EQ(rows[12], (std::vector<std::string>{"file", "time_s", "ch0", "ch1"}));
  EXPECT_NE(run.Out.find("\nfile,time_s,ch0,ch1\n\"" + second + "\",0.100,"), std::string::npos)
      << run.Out;

  const TRun summary = RunScan("--summary " + first + " " + first);
  ASSERT_EQ(summary.Status, 0) << summary.Err;
  const auto lines = Rows(summary.Out);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], (std::vector<std::string>{"file", "channel", "max", "time_s", "clipped"}));
  EXPECT_EQ(lines[1], lines[2]);
}

// Named pipes and standard input are opened once and read in order, FLAC as well.
TEST(StereoluxScan, PipesAndStandardInput) {
  const std::string wav = WriteSine("piped.wav", SF_FORMAT_PCM_16, 8000, 2, 8800, {0.5, 0.2});
  std::vector<float> samples(8800);
  for (size_t n = 0; n < samples.size(); ++n)
    samples[n] = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * 1000.0 * n / 8000));
  const std::string flac =
      WriteFloats("piped.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 8000, 1, samples);
  for (const std::string& path : {wav, flac}) {
    const TRun direct = RunScan(path);
    ASSERT_EQ(direct.Status, 0) << direct.Err;
    ASSERT_EQ(Rows(direct.Out).size(), 12u);
    EXPECT_EQ(RunScan("- < " + path).Out, direct.Out);
    const std::string fifo = TempPath("fifo");
    std::remove(fifo.c_str());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string scan = SCAN_BIN;
    for (const std::string& command :
         {"cat " + path + " | " + scan + " -", "cat " + path + " | " + scan + " /dev/stdin",
          "cat " + path + " > " + fifo + " & " + scan + " " + fifo}) {
      const TRun piped = RunShell(command);
      EXPECT_EQ(piped.Status, 0) << command << ": " << piped.Err;
      EXPECT_EQ(piped.Out, direct.Out) << command;
    }
  }
}

TEST(StereoluxScan, HelpVersionAndBadOptions) {
  const TRun help = RunScan("--help");
  EXPECT_EQ(help.Status, 0);
  EXPECT_TRUE(help.Err.empty());
  EXPECT_EQ(help.Out.rfind("usage: stereolux-scan", 0), 0u);
  for (const char* option : {"--release", "--period", "--dbfs", "--summary", "--help", "--version"})
    EXPECT_NE(help.Out.find(option), std::string::npos) << option;
  EXPECT_EQ(RunScan("-h").Out, help.Out);
  const TRun version = RunScan("--version");
  EXPECT_EQ(version.Status, 0);
  EXPECT_EQ(version.Out.rfind("stereolux-scan ", 0), 0u);

  const std::string good = WriteSine("good.wav", SF_FORMAT_PCM_16, 8000, 1, 800, {0.5});
  struct TCase {
    std::string Args;
    std::string Says;
  };
  for (const TCase& c :
       {TCase{"", "no FILE given"}, TCase{"--period 0 " + good, "'--period': '0' is not"},
        TCase{"--release x " + good, "'--release': 'x' is not"},
        TCase{"--period=3600001 " + good, "'--period': '3600001' is not"},
        TCase{good + " --release", "'--release' needs"},
        TCase{"--dbfs=1 " + good, "'--dbfs' takes no value"},
        TCase{"--frobnicate " + good, "unknown option '--frobnicate'"}}) {
    const TRun run = RunScan(c.Args);
    EXPECT_EQ(run.Status, 2) << c.Args;
    EXPECT_TRUE(run.Out.empty()) << c.Args;
    EXPECT_EQ(run.Err.rfind("stereolux-scan: ", 0), 0u) << run.Err;
    EXPECT_NE(run.Err.find(c.Says), std::string::npos) << c.Args << ": " << run.Err;
    EXPECT_NE(run.Err.find("\nTry 'stereolux-scan --help' for more information.\n"),
              std::string::npos);
  }
}

// Inputs that cannot be measured are refused before anything is printed, each with its reason;
// a file too short for one block prints its header and says so.
TEST(StereoluxScan, InputsThatCannotBeMeasured) {
  const std::string text = TempPath("not_audio.wav");
  if (FILE* f = fopen(text.c_str(), "w")) {
    fputs("hello", f);
    fclose(f);
  }
  const std::string fast = WriteSine("fast.wav", SF_FORMAT_PCM_16, 400000, 1, 4000, {0.5});
  struct TCase {
    std::string Path;
    std::string Says;
  };
  for (const TCase& c : {TCase{text, "Format not recognised"},
                         TCase{TempPath("missing.wav"), "No such file or directory"},
                         TCase{testing::TempDir(), "is a directory"},
                         TCase{fast, "unsupported sample rate 400000 Hz"}}) {
    const TRun run = RunScan(c.Path);
    EXPECT_EQ(run.Status, 2) << c.Path;
    EXPECT_TRUE(run.Out.empty()) << c.Path;
    EXPECT_NE(run.Err.find(c.Path + ": " + c.Says), std::string::npos) << run.Err;
  }

  const std::string empty = WriteSine("empty.wav", SF_FORMAT_PCM_16, 8000, 2, 0, {0.5});
  const TRun run = RunScan(empty);
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(run.Out, "time_s,ch0,ch1\n");
  EXPECT_NE(run.Err.find("nothing measured"), std::string::npos) << run.Err;
}

// A full disk must not pass for a complete table.
TEST(StereoluxScan, WriteErrorsFail) {
  const std::string good = WriteSine("good.wav", SF_FORMAT_PCM_16, 8000, 1, 8800, {0.5});
  for (const std::string& args : {good, "--summary " + good, std::string("--help")}) {
    const TRun run = RunScan(args + " > /dev/full");
    EXPECT_EQ(run.Status, 1) << args;
    EXPECT_NE(run.Err.find("cannot write the output: No space left on device"), std::string::npos)
        << run.Err;
  }
}

}  // namespace
