#include "platform/AudioCtl.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "AlsaTestSupport.h"
#include "platform/FakeAudioRecord.h"
#include "platform/PulseAudioRecord.h"

namespace {

TEST(TCAudioRecord, ConnectsAtTheFirstCallAndAgainAfterAFailure) {
  int connects = 0;
  auto fake =
      std::make_shared<TFakeAudioRecord>(std::vector<TFakeAudioDevice>{{"Micro", {"Avant"}}});
  bool refuse = true;
  TCAudioRecord rec([&]() -> std::shared_ptr<IAudioRecord> {
    ++connects;
    if (refuse) throw EAudioRecordError("Connection refused, ClassID: x");
    return fake;
  });
  EXPECT_EQ(connects, 0);
  EXPECT_FALSE(rec.Connected());

  EXPECT_THROW(rec.GetDeviceCount(), EAudioRecordError);
  EXPECT_EQ(connects, 1);
  EXPECT_FALSE(rec.Connected());

  refuse = false;
  EXPECT_EQ(rec.GetDeviceCount(), 1);
  rec.SetDeviceIndex(0);
  EXPECT_EQ(rec.GetDeviceLineName(0), "Avant");
  EXPECT_EQ(connects, 2) << "one connection serves every later call";
  EXPECT_EQ(fake->Calls,
            (std::vector<std::string>{"GetDeviceCount", "DeviceIndex=0", "GetDeviceLineName(0)"}))
      << "the refused attempt never reached the control";
}

TEST(TCAudioRecord, PassesTheControlsErrorsToTheCaller) {
  auto fake = std::make_shared<TFakeAudioRecord>(
      std::vector<TFakeAudioDevice>{{"Micro", {"Avant", "Arrière"}}});
  fake->Failures[AudioRecordCall::DeviceLineVolume] = "volume refused";
  TCAudioRecord rec([&] { return fake; });
  rec.SetDeviceIndex(0);
  try {
    rec.SetDeviceLineVolume(100);
    FAIL() << "no error";
  } catch (const EAudioRecordError& e) {
    EXPECT_STREQ(e.what(), "volume refused");
  }
  EXPECT_THROW(rec.SetDeviceLineIndex(2), std::out_of_range);
  EXPECT_THROW(rec.SetDeviceIndex(1), std::out_of_range);
  EXPECT_THROW(rec.SetDeviceIndex(-1), std::out_of_range);
  EXPECT_EQ(rec.GetDeviceLineCount(), 2) << "a refused device leaves the current one";
}

// The sound cards are asked then, here through a libasound configuration that defines none.
TEST(TCAudioRecord, WithoutASoundServerAndWithoutCardsTheSystemControlIsEmpty) {
  const char* old = getenv("PULSE_SERVER");
  const std::string saved = old ? old : "";
  setenv("PULSE_SERVER", "unix:/nonexistent/stereolux/native", 1);
  AlsaConfig config;
  config.Use("");
  TCAudioRecord rec;
  EXPECT_EQ(rec.GetDeviceCount(), 0);
  EXPECT_THROW(rec.SetDeviceIndex(-1), std::out_of_range);
  EXPECT_EQ(rec.GetDeviceLineCount(), 0);
  EXPECT_NO_THROW(rec.SetDeviceLineIndex(-1));
  EXPECT_NO_THROW(rec.SetFILEFORMAT(0));
  EXPECT_NO_THROW(rec.SetWaveFormatIdx(0));
  EXPECT_NO_THROW(rec.SetDeviceLineVolume(100));
  EXPECT_THROW(rec.GetDeviceName(0), std::out_of_range);
  EXPECT_THROW(rec.SetDeviceIndex(0), std::out_of_range);
  if (old)
    setenv("PULSE_SERVER", saved.c_str(), 1);
  else
    unsetenv("PULSE_SERVER");
}

TEST(TPulseAudioRecord, AMissingServerIsAnErrorNamingTheControl) {
  try {
    TPulseAudioRecord::Connect("unix:/nonexistent/stereolux/native");
    FAIL() << "no error";
  } catch (const EAudioRecordError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Connection refused, ClassID: {3387A365-D5A3-4BEE-8095-C5CFD9ABE517}");
  }
}

TEST(DeviceLinesOf, PortsByDescriptionOrTheSourceItselfTheActiveOneFirst) {
  struct Case {
    const char* what;
    std::vector<SourcePort> ports;
    std::vector<SourcePort> lines;
    std::string active = {};
  } cases[] = {
      {"no ports", {}, {{"", "Micro USB"}}},
      {"descriptions",
       {{"analog-input-mic", "Microphone"}, {"analog-input-linein", "Entrée ligne"}},
       {{"analog-input-mic", "Microphone"}, {"analog-input-linein", "Entrée ligne"}}},
      {"a port without description",
       {{"analog-input-mic", ""}},
       {{"analog-input-mic", "analog-input-mic"}}},
      {"repeated descriptions",
       {{"front-mic", "Microphone"}, {"rear-mic", "Microphone"}},
       {{"front-mic", "Microphone"}, {"rear-mic", "Microphone #2"}}},
      {"the active port leads, the others keep their order",
       {{"mic", "Micro"}, {"headset", "Casque"}, {"linein", "Ligne"}},
       {{"linein", "Ligne"}, {"mic", "Micro"}, {"headset", "Casque"}},
       "linein"},
      {"an active repeat keeps the name it has in the server's order",
       {{"front-mic", "Microphone"}, {"rear-mic", "Microphone"}},
       {{"rear-mic", "Microphone #2"}, {"front-mic", "Microphone"}},
       "rear-mic"},
      {"an active port that is not listed changes nothing",
       {{"mic", "Micro"}, {"headset", "Casque"}},
       {{"mic", "Micro"}, {"headset", "Casque"}},
       "spdif"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto lines = DeviceLinesOf("Micro USB", c.ports, c.active);
    ASSERT_EQ(lines.size(), c.lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
      EXPECT_EQ(lines[i].Name, c.lines[i].Name);
      EXPECT_EQ(lines[i].Description, c.lines[i].Description);
    }
  }
}

}  // namespace
