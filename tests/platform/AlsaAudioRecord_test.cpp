// The recording control over the cards' mixers, on the test card mixer of alsa_mixer_plugin.c.

#include "platform/AlsaAudioRecord.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "AlsaTestSupport.h"

namespace {

class AlsaAudioRecordTest : public ::testing::Test {
protected:
  void SetUp() override {
    FConfig.Use(
        std::string("ctl_type.stereolux_mixer { lib \"") + ALSA_TEST_CTL + "\" }\n" +
        "ctl.hw { @args [ CARD ] @args.CARD { type string } type stereolux_mixer layout $CARD }\n");
  }

  enum Part { Item, Volume, Switch };

  // The first channel's item, capture volume or capture switch of element `name` of `card`.
  static long Read(const char* card, const char* name, Part part = Item) {
    snd_mixer_t* mixer = nullptr;
    snd_mixer_open(&mixer, 0);
    snd_mixer_attach(mixer, (std::string("hw:CARD=") + card).c_str());
    snd_mixer_selem_register(mixer, nullptr, nullptr);
    snd_mixer_load(mixer);
    long value = 99;
    for (snd_mixer_elem_t* e = snd_mixer_first_elem(mixer); e != nullptr;
         e = snd_mixer_elem_next(e)) {
      if (std::string(snd_mixer_selem_get_name(e)) != name) continue;
      unsigned item = 0;
      int on = 0;
      if (part == Item && snd_mixer_selem_get_enum_item(e, SND_MIXER_SCHN_FRONT_LEFT, &item) == 0)
        value = item;
      if (part == Volume) snd_mixer_selem_get_capture_volume(e, SND_MIXER_SCHN_FRONT_LEFT, &value);
      if (part == Switch &&
          snd_mixer_selem_get_capture_switch(e, SND_MIXER_SCHN_FRONT_LEFT, &on) == 0)
        value = on;
    }
    snd_mixer_close(mixer);
    return value;
  }

  AlsaConfig FConfig;
  // A card with a source, a card with switches, and a card whose mixer is not there.
  TAlsaAudioRecord FRecord{[] {
    return std::vector<AlsaCaptureDevice>{{"enum", "Source Card", 0, "Analog"},
                                          {"switches", "Switch Card", 0, ""},
                                          {"Absent", "Lost Card", 1, "Digital"}};
  }};
};

TEST_F(AlsaAudioRecordTest, DevicesBearTheWaveInputNamesAndTheirCardsLines) {
  ASSERT_EQ(FRecord.GetDeviceCount(), 3);
  EXPECT_EQ(FRecord.GetDeviceName(0), "Source Card: Analog");
  EXPECT_EQ(FRecord.GetDeviceName(1), "Switch Card");
  EXPECT_EQ(FRecord.GetDeviceName(2), "Lost Card: Digital");
  EXPECT_THROW(FRecord.GetDeviceName(3), std::out_of_range);
  EXPECT_THROW(FRecord.SetDeviceIndex(-1), std::out_of_range);

  EXPECT_EQ(FRecord.GetDeviceLineCount(), 0);  // no device yet
  FRecord.SetDeviceIndex(0);
  ASSERT_EQ(FRecord.GetDeviceLineCount(), 3);
  EXPECT_EQ(FRecord.GetDeviceLineName(1), "Line");
  FRecord.SetDeviceLineIndex(2);
  EXPECT_EQ(Read("enum", "Input Source"), 2);
  FRecord.SetDeviceLineIndex(-1);  // changes nothing
  EXPECT_EQ(Read("enum", "Input Source"), 2);
  EXPECT_THROW(FRecord.SetDeviceLineIndex(3), std::out_of_range);

  FRecord.SetDeviceIndex(1);
  EXPECT_EQ(FRecord.GetDeviceLineCount(), 3);

  // Its mixer cannot be opened: still a device, without lines, and the volume changes nothing.
  FRecord.SetDeviceIndex(2);
  EXPECT_EQ(FRecord.GetDeviceLineCount(), 0);
  EXPECT_THROW(FRecord.GetDeviceLineName(0), std::out_of_range);
  EXPECT_NO_THROW(FRecord.SetDeviceLineVolume(100));
}

// What the window does at start-up: the first device, its line 0 and the three settings. The
// enum card records from Line, the switches card from Mic and CD together; none of it changes.
TEST_F(AlsaAudioRecordTest, TheStartUpSelectionWritesNothingToTheCards) {
  AlsaMixer("enum").SelectLine(1);
  ASSERT_EQ(Read("enum", "Input Source"), 1);
  const struct {
    const char* card;
    const char* name;
    Part part;
  } watched[] = {
      {"enum", "Input Source", Item}, {"enum", "Capture", Volume},  {"enum", "Capture", Switch},
      {"switches", "Mic", Switch},    {"switches", "Line", Switch}, {"switches", "CD", Switch},
      {"switches", "Mic", Volume},    {"switches", "Line", Volume},
  };
  const auto readAll = [&] {
    std::vector<long> values;
    for (const auto& w : watched) values.push_back(Read(w.card, w.name, w.part));
    return values;
  };
  const std::vector<long> before = readAll();
  ASSERT_EQ(before, (std::vector<long>{1, 10, 1, 1, 0, 1, 5, 5}));

  ASSERT_EQ(FRecord.GetDeviceCount(), 3);
  for (int32_t device : {0, 1}) {
    FRecord.SetDeviceIndex(device);
    ASSERT_GT(FRecord.GetDeviceLineCount(), 0);
    FRecord.SetDeviceLineIndex(0);
    FRecord.SetFILEFORMAT(0);
    FRecord.SetWaveFormatIdx(0);
    FRecord.SetDeviceLineVolume(100);
  }
  FRecord.SetDeviceIndex(0);
  EXPECT_EQ(FRecord.GetDeviceLineName(0), "Line");

  EXPECT_EQ(readAll(), before);
}

}  // namespace
