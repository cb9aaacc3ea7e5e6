#include "platform/DeviceNames.h"

#include <gtest/gtest.h>

#include <set>

namespace {

bool ValidUtf8(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    const size_t len = c < 0x80           ? 1
                       : (c >> 5) == 0x6  ? 2
                       : (c >> 4) == 0xE  ? 3
                       : (c >> 3) == 0x1E ? 4
                                          : 0;
    if (len == 0 || i + len > s.size()) return false;
    for (size_t k = 1; k < len; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += len;
  }
  return true;
}

TEST(CutUtf8, KeepsWholeCharactersWithinTheLimit) {
  const std::string e = "\xC3\xA9";             // é, 2 bytes
  const std::string euro = "\xE2\x82\xAC";      // €, 3 bytes
  const std::string note = "\xF0\x9D\x84\x9E";  // 𝄞, 4 bytes
  struct Case {
    std::string text;
    size_t max;
    std::string expected;
  } cases[] = {
      {"Micro", 31, "Micro"},
      {std::string(31, 'a'), 31, std::string(31, 'a')},
      {std::string(32, 'a'), 31, std::string(31, 'a')},
      {std::string(30, 'a') + e, 31, std::string(30, 'a')},  // é would need bytes 31 and 32
      {std::string(29, 'a') + e + "b", 31, std::string(29, 'a') + e},
      {std::string(29, 'a') + euro, 31, std::string(29, 'a')},
      {std::string(28, 'a') + note, 31, std::string(28, 'a')},
      {std::string(27, 'a') + note + "x", 31, std::string(27, 'a') + note},
      {note + note, 3, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(CutUtf8(c.text, c.max), c.expected) << c.text;
}

TEST(UniqueDeviceNames, NumbersRepeatsFromTwo) {
  EXPECT_EQ(UniqueDeviceNames({"Mic", "Line", "Mic", "Mic"}),
            (std::vector<std::string>{"Mic", "Line", "Mic #2", "Mic #3"}));
}

TEST(UniqueDeviceNames, NamesThatAreTheSameOnceCutAreRepeats) {
  for (size_t limit : {MaxDeviceNameBytes, LegacyDeviceNameBytes}) {
    const std::string base(limit, 'x');
    const auto names = UniqueDeviceNames({base + "A", base + "B"}, limit);
    EXPECT_EQ(names[0], base);
    EXPECT_EQ(names[1], std::string(limit - 3, 'x') + " #2");
  }
}

// What the old 31-byte names of a list are: a saved one still finds its device.
TEST(LegacyDeviceNames, AreTheNamesOfTheListCutAsTheyOnceWere) {
  const std::vector<std::string> listed = {
      "Monitor of Built-in Audio Analog Stereo", "Monitor of Built-in Audio Analog Stereo #2",
      "Monitor of Built-in Audio Analog Surround", "USB Microphone"};
  EXPECT_EQ(LegacyDeviceNames(listed),
            (std::vector<std::string>{"Monitor of Built-in Audio Analo",
                                      "Monitor of Built-in Audio An #2",
                                      "Monitor of Built-in Audio An #3", "USB Microphone"}));
  EXPECT_EQ(UniqueDeviceNames(listed), listed) << "whole names are kept";
}

TEST(UniqueDeviceNames, SuffixNeverSplitsACharacter) {
  const std::string e = "\xC3\xA9";
  std::vector<std::string> input(12,
                                 std::string(14, 'a') + e + e + e + e + e + e + e + e);  // 30 bytes
  const auto names = UniqueDeviceNames(input, LegacyDeviceNameBytes);
  for (const auto& n : names) {
    EXPECT_LE(n.size(), LegacyDeviceNameBytes);
    EXPECT_TRUE(ValidUtf8(n)) << n;
  }
  EXPECT_EQ(names[1],
            std::string(14, 'a') + e + e + e + e + e + e + e + " #2");  // 14 + 14 + 3 bytes
  EXPECT_EQ(names[11].substr(names[11].size() - 4), " #12");
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size());
}

TEST(UniqueDeviceNames, AGivenNameIsNotTakenByARenamedRepeat) {
  EXPECT_EQ(UniqueDeviceNames({"Mic", "Mic", "Mic #2"}),
            (std::vector<std::string>{"Mic", "Mic #3", "Mic #2"}));
}

TEST(NameCaptureSources, RealInputsFirstThenMonitorsInServerOrder) {
  const std::vector<CaptureSource> sources = {
      {"alsa_output.pci.monitor", "Monitor of Speakers", true},
      {"alsa_input.usb", "USB Microphone", false},
      {"null.monitor", "", true},
      {"alsa_input.pci", "USB Microphone", false},
  };
  const auto named = NameCaptureSources(sources);
  ASSERT_EQ(named.size(), 4u);
  EXPECT_EQ(named[0].Name, "alsa_input.usb");
  EXPECT_EQ(named[0].DisplayName, "USB Microphone");
  EXPECT_EQ(named[1].Name, "alsa_input.pci");
  EXPECT_EQ(named[1].DisplayName, "USB Microphone #2");
  EXPECT_EQ(named[2].Name, "alsa_output.pci.monitor");
  EXPECT_EQ(named[2].DisplayName, "Monitor of Speakers");
  EXPECT_EQ(named[3].DisplayName, "null.monitor");  // no description: its key
}

}  // namespace
