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

  static long ReadEnum(const char* name) {
    snd_mixer_t* mixer = nullptr;
    snd_mixer_open(&mixer, 0);
    snd_mixer_attach(mixer, "hw:CARD=enum");
    snd_mixer_selem_register(mixer, nullptr, nullptr);
    snd_mixer_load(mixer);
    unsigned item = 99;
    for (snd_mixer_elem_t* e = snd_mixer_first_elem(mixer); e != nullptr;
         e = snd_mixer_elem_next(e))
      if (std::string(snd_mixer_selem_get_name(e)) == name)
        snd_mixer_selem_get_enum_item(e, SND_MIXER_SCHN_FRONT_LEFT, &item);
    snd_mixer_close(mixer);
    return item;
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
  EXPECT_EQ(ReadEnum("Input Source"), 2);
  FRecord.SetDeviceLineIndex(-1);  // changes nothing
  EXPECT_EQ(ReadEnum("Input Source"), 2);
  EXPECT_THROW(FRecord.SetDeviceLineIndex(3), std::out_of_range);

  FRecord.SetDeviceIndex(1);
  EXPECT_EQ(FRecord.GetDeviceLineCount(), 3);

  // Its mixer cannot be opened: still a device, without lines, and the volume changes nothing.
  FRecord.SetDeviceIndex(2);
  EXPECT_EQ(FRecord.GetDeviceLineCount(), 0);
  EXPECT_THROW(FRecord.GetDeviceLineName(0), std::out_of_range);
  EXPECT_NO_THROW(FRecord.SetDeviceLineVolume(100));
}

}  // namespace
