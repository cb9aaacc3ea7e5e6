#pragma once
// A private libasound configuration for one test: written into a fresh folder and put in force
// through ALSA_CONFIG_PATH, so that no file of the system is read or changed. FilePcm plays a raw
// file through the file plugin over a null device, as fast as it is read.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

class AlsaConfig {
public:
  AlsaConfig() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "stereolux-alsa-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "no temporary folder";
    FDir = pattern;
  }
  ~AlsaConfig() {
    unsetenv("ALSA_CONFIG_PATH");
    std::error_code ec;
    std::filesystem::remove_all(FDir, ec);
  }
  AlsaConfig(const AlsaConfig&) = delete;
  AlsaConfig& operator=(const AlsaConfig&) = delete;

  const std::filesystem::path& Dir() const { return FDir; }

  // Each configuration gets a file of its own: libasound reloads when the path changes, but may
  // miss a file rewritten within the same second.
  void Use(const std::string& text) {
    const auto path = FDir / ("asoundrc-" + std::to_string(++FUses));
    std::ofstream(path) << text;
    ASSERT_EQ(setenv("ALSA_CONFIG_PATH", path.c_str(), 1), 0);
  }

  // A PCM definition body that plays `infile` from its start.
  static std::string FilePcm(const std::string& infile) {
    return "type file\nslave.pcm { type null }\nfile \"/dev/null\"\ninfile \"" + infile +
           "\"\nformat \"raw\"\n";
  }

  // Writes `frames` stereo 16-bit frames of known levels: left a square wave at half scale,
  // right at a quarter, each sample offset by its frame number so that no stretch repeats.
  std::vector<char> WriteLevels(const std::string& name, size_t frames, int salt = 0) {
    std::vector<char> bytes;
    for (size_t f = 0; f < frames; ++f) {
      const int sign = (f / 50) % 2 ? -1 : 1;
      const int offset = static_cast<int>((f * 7 + static_cast<size_t>(salt)) % 1024);
      for (int level : {sign * 16384 + offset, sign * 8192 - offset}) {
        bytes.push_back(static_cast<char>(level & 0xFF));
        bytes.push_back(static_cast<char>((level >> 8) & 0xFF));
      }
    }
    std::ofstream(FDir / name, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
  }

private:
  std::filesystem::path FDir;
  int FUses = 0;
};
