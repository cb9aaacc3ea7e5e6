// The input lines and capture volume of a card, on the test card mixer of alsa_mixer_plugin.c.

#include <gtest/gtest.h>

#include <stdexcept>

#include "AlsaTestSupport.h"
#include "platform/AlsaMixer.h"

namespace {

class AlsaMixerTest : public ::testing::Test {
protected:
  void SetUp() override {
    // Each card's id names the layout of its elements.
    FConfig.Use(
        std::string("ctl_type.stereolux_mixer { lib \"") + ALSA_TEST_CTL + "\" }\n" +
        "ctl.hw { @args [ CARD ] @args.CARD { type string } type stereolux_mixer layout $CARD }\n");
  }

  // The value of a control element as the card holds it, read through a handle of the test's own.
  static long Read(const std::string& card, const char* name, unsigned index = 0) {
    snd_ctl_t* ctl = nullptr;
    EXPECT_EQ(snd_ctl_open(&ctl, ("hw:CARD=" + card).c_str(), 0), 0);
    snd_ctl_elem_value_t* value = nullptr;
    snd_ctl_elem_value_malloc(&value);
    snd_ctl_elem_value_set_interface(value, SND_CTL_ELEM_IFACE_MIXER);
    snd_ctl_elem_value_set_name(value, name);
    EXPECT_EQ(snd_ctl_elem_read(ctl, value), 0) << name;
    snd_ctl_elem_info_t* info = nullptr;
    snd_ctl_elem_info_malloc(&info);
    snd_ctl_elem_info_set_interface(info, SND_CTL_ELEM_IFACE_MIXER);
    snd_ctl_elem_info_set_name(info, name);
    EXPECT_EQ(snd_ctl_elem_info(ctl, info), 0) << name;
    long result = 0;
    switch (snd_ctl_elem_info_get_type(info)) {
      case SND_CTL_ELEM_TYPE_ENUMERATED:
        result = snd_ctl_elem_value_get_enumerated(value, index);
        break;
      case SND_CTL_ELEM_TYPE_BOOLEAN: result = snd_ctl_elem_value_get_boolean(value, index); break;
      default: result = snd_ctl_elem_value_get_integer(value, index);
    }
    snd_ctl_elem_info_free(info);
    snd_ctl_elem_value_free(value);
    snd_ctl_close(ctl);
    return result;
  }

  AlsaConfig FConfig;
};

TEST_F(AlsaMixerTest, TheItemsOfAnEnumeratedSourceAreTheLinesTheCurrentOneFirst) {
  AlsaMixer mixer("enum");
  ASSERT_EQ(mixer.Lines(), (std::vector<std::string>{"Mic", "Line", "CD"}));

  mixer.SelectLine(2);
  EXPECT_EQ(Read("enum", "Input Source"), 2);
  EXPECT_THROW(mixer.SelectLine(3), std::out_of_range);
  EXPECT_THROW(mixer.SelectLine(-1), std::out_of_range);

  // Read again, the card's choice leads and the lines still name the items they stand for.
  AlsaMixer again("enum");
  ASSERT_EQ(again.Lines(), (std::vector<std::string>{"CD", "Mic", "Line"}));
  again.SelectLine(0);
  EXPECT_EQ(Read("enum", "Input Source"), 2);
  again.SelectLine(2);
  EXPECT_EQ(Read("enum", "Input Source"), 1);
  for (unsigned ch : {0u, 1u}) EXPECT_EQ(Read("enum", "Capture Volume", ch), 10) << "untouched";
}

TEST_F(AlsaMixerTest, CaptureSwitchesAreTheLinesAndSelectingOneTurnsTheOthersOff) {
  // Mic and CD record, Line does not.
  AlsaMixer mixer("switches");
  const auto& lines = mixer.Lines();
  ASSERT_EQ(lines.size(), 3u);
  const auto index = [&](const std::string& name) {
    return static_cast<int32_t>(std::find(lines.begin(), lines.end(), name) - lines.begin());
  };
  ASSERT_LT(index("Mic"), 3);
  ASSERT_LT(index("Line"), 3);
  ASSERT_LT(index("CD"), 3);
  EXPECT_NE(lines[0], "Line") << "a line that records comes first";

  // A line that records already is left as it is, the other one that records too included.
  mixer.SelectLine(0);
  EXPECT_EQ(Read("switches", "Mic Capture Switch"), 1);
  EXPECT_EQ(Read("switches", "CD Capture Switch"), 1);
  EXPECT_EQ(Read("switches", "Line Capture Switch"), 0);

  mixer.SelectLine(index("Line"));
  for (unsigned ch : {0u, 1u}) {
    EXPECT_EQ(Read("switches", "Line Capture Switch", ch), 1);
    EXPECT_EQ(Read("switches", "Mic Capture Switch", ch), 0);
    EXPECT_EQ(Read("switches", "CD Capture Switch", ch), 0);
  }
  EXPECT_EQ(AlsaMixer("switches").Lines()[0], "Line");
  EXPECT_EQ(Read("switches", "Line Capture Volume"), 5) << "untouched";
  EXPECT_EQ(Read("switches", "Mic Capture Volume"), 5) << "untouched";
}

TEST_F(AlsaMixerTest, ACardThatIsNotThereCannotBeOpened) {
  EXPECT_THROW(AlsaMixer("Absent"), std::runtime_error);
  FConfig.Use("");
  EXPECT_THROW(AlsaMixer("enum"), std::runtime_error);
}

}  // namespace
