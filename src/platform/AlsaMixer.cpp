#include "platform/AlsaMixer.h"

#include <algorithm>
#include <stdexcept>

namespace {

constexpr const char* MasterName = "Capture";

void Check(int err, const char* what) {
  if (err < 0) throw std::runtime_error(std::string(what) + ": " + snd_strerror(err));
}

}  // namespace

AlsaMixer::AlsaMixer(const std::string& cardId) {
  Check(snd_mixer_open(&FMixer, 0), "Can't open the mixer");
  try {
    Check(snd_mixer_attach(FMixer, ("hw:CARD=" + cardId).c_str()), "Can't open the mixer");
    Check(snd_mixer_selem_register(FMixer, nullptr, nullptr), "Can't open the mixer");
    Check(snd_mixer_load(FMixer), "Can't read the mixer");
  } catch (...) {
    snd_mixer_close(FMixer);
    throw;
  }

  for (snd_mixer_elem_t* e = snd_mixer_first_elem(FMixer); e != nullptr;
       e = snd_mixer_elem_next(e)) {
    if (!snd_mixer_selem_is_active(e)) continue;
    const std::string name = snd_mixer_selem_get_name(e);
    if (name == MasterName && snd_mixer_selem_has_capture_switch(e))
      FMaster = e;
    else if (FSource == nullptr && snd_mixer_selem_is_enum_capture(e))
      FSource = e;
    else if (snd_mixer_selem_has_capture_switch(e))
      FSwitches.push_back(e);
  }
  if (FSource == nullptr && FSwitches.empty() && FMaster != nullptr) {
    // A card whose only capture switch is the master one: that is its only line.
    FSwitches.push_back(FMaster);
    FMaster = nullptr;
  }

  std::vector<std::string> names;
  if (FSource != nullptr) {
    const int count = snd_mixer_selem_get_enum_items(FSource);
    for (int i = 0; i < count; ++i) {
      char name[64] = {};
      if (snd_mixer_selem_get_enum_item_name(FSource, static_cast<unsigned>(i), sizeof name, name) <
          0)
        name[0] = 0;
      names.emplace_back(name);
    }
  } else {
    for (snd_mixer_elem_t* e : FSwitches) names.emplace_back(snd_mixer_selem_get_name(e));
  }
  for (size_t i = 0; i < names.size(); ++i) FItems.push_back(i);
  // The line that records now first: the start-up selection of line 0 then changes nothing.
  const auto recording =
      std::find_if(FItems.begin(), FItems.end(), [&](size_t item) { return Records(item); });
  if (recording != FItems.end()) std::rotate(FItems.begin(), recording, recording + 1);
  for (size_t item : FItems) FLines.push_back(names[item]);
}

AlsaMixer::~AlsaMixer() { snd_mixer_close(FMixer); }

bool AlsaMixer::Records(size_t item) const {
  if (FSource != nullptr) {
    unsigned current = 0;
    return snd_mixer_selem_get_enum_item(FSource, SND_MIXER_SCHN_FRONT_LEFT, &current) == 0 &&
           current == item;
  }
  const auto on = [](snd_mixer_elem_t* e) {
    int value = 0;
    return snd_mixer_selem_get_capture_switch(e, SND_MIXER_SCHN_FRONT_LEFT, &value) == 0 &&
           value != 0;
  };
  return on(FSwitches[item]) && (FMaster == nullptr || on(FMaster));
}

void AlsaMixer::SelectLine(int32_t index) {
  if (index < 0 || static_cast<size_t>(index) >= FLines.size())
    throw std::out_of_range("Mixer: line index " + std::to_string(index) + " out of range");
  const size_t item = FItems[static_cast<size_t>(index)];
  snd_mixer_handle_events(FMixer);  // someone else may have changed the card since it was read
  if (Records(item)) return;
  if (FSource != nullptr) {
    // Every channel of the source, as far as it has channels.
    Check(snd_mixer_selem_set_enum_item(FSource, SND_MIXER_SCHN_FRONT_LEFT,
                                        static_cast<unsigned>(item)),
          "Can't select the line");
    for (int ch = SND_MIXER_SCHN_FRONT_RIGHT; ch <= SND_MIXER_SCHN_LAST; ++ch)
      snd_mixer_selem_set_enum_item(FSource, static_cast<snd_mixer_selem_channel_id_t>(ch),
                                    static_cast<unsigned>(item));
  } else {
    for (size_t i = 0; i < FSwitches.size(); ++i)
      if (i != item)
        Check(snd_mixer_selem_set_capture_switch_all(FSwitches[i], 0), "Can't select the line");
    Check(snd_mixer_selem_set_capture_switch_all(FSwitches[item], 1), "Can't select the line");
  }
  if (FMaster != nullptr)
    Check(snd_mixer_selem_set_capture_switch_all(FMaster, 1), "Can't select the line");
}
