#include "platform/AlsaMixer.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {

constexpr const char* MasterName = "Capture";

void Check(int err, const char* what) {
  if (err < 0) throw std::runtime_error(std::string(what) + ": " + snd_strerror(err));
}

snd_mixer_elem_t* FindByName(snd_mixer_t* mixer, const std::string& name) {
  for (snd_mixer_elem_t* e = snd_mixer_first_elem(mixer); e != nullptr; e = snd_mixer_elem_next(e))
    if (snd_mixer_selem_is_active(e) && name == snd_mixer_selem_get_name(e)) return e;
  return nullptr;
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

  if (FSource != nullptr) {
    const int count = snd_mixer_selem_get_enum_items(FSource);
    for (int i = 0; i < count; ++i) {
      char name[64] = {};
      if (snd_mixer_selem_get_enum_item_name(FSource, static_cast<unsigned>(i), sizeof name, name) <
          0)
        name[0] = 0;
      FLines.emplace_back(name);
    }
  } else {
    for (snd_mixer_elem_t* e : FSwitches) FLines.emplace_back(snd_mixer_selem_get_name(e));
  }
}

AlsaMixer::~AlsaMixer() { snd_mixer_close(FMixer); }

void AlsaMixer::SelectLine(int32_t index) {
  if (index < 0 || static_cast<size_t>(index) >= FLines.size())
    throw std::out_of_range("Mixer: line index " + std::to_string(index) + " out of range");
  if (FSource != nullptr) {
    // Every channel of the source, as far as it has channels.
    Check(snd_mixer_selem_set_enum_item(FSource, SND_MIXER_SCHN_FRONT_LEFT,
                                        static_cast<unsigned>(index)),
          "Can't select the line");
    for (int ch = SND_MIXER_SCHN_FRONT_RIGHT; ch <= SND_MIXER_SCHN_LAST; ++ch)
      snd_mixer_selem_set_enum_item(FSource, static_cast<snd_mixer_selem_channel_id_t>(ch),
                                    static_cast<unsigned>(index));
  } else {
    for (size_t i = 0; i < FSwitches.size(); ++i)
      if (i != static_cast<size_t>(index))
        Check(snd_mixer_selem_set_capture_switch_all(FSwitches[i], 0), "Can't select the line");
    Check(snd_mixer_selem_set_capture_switch_all(FSwitches[static_cast<size_t>(index)], 1),
          "Can't select the line");
  }
  if (FMaster != nullptr)
    Check(snd_mixer_selem_set_capture_switch_all(FMaster, 1), "Can't select the line");
  FSelected = index;
}

snd_mixer_elem_t* AlsaMixer::VolumeElement() const {
  snd_mixer_elem_t* own = nullptr;
  if (FSelected >= 0)
    own = FSource != nullptr ? FindByName(FMixer, FLines[static_cast<size_t>(FSelected)])
                             : FSwitches[static_cast<size_t>(FSelected)];
  if (own != nullptr && snd_mixer_selem_has_capture_volume(own)) return own;
  snd_mixer_elem_t* master = FindByName(FMixer, MasterName);
  return master != nullptr && snd_mixer_selem_has_capture_volume(master) ? master : nullptr;
}

void AlsaMixer::SetVolume(int32_t percent) {
  snd_mixer_elem_t* e = VolumeElement();
  if (e == nullptr) return;
  long min = 0, max = 0;
  Check(snd_mixer_selem_get_capture_volume_range(e, &min, &max), "Can't set the volume");
  const double share = std::clamp(percent, 0, 100) / 100.0;
  const long value = min + std::lround(static_cast<double>(max - min) * share);
  Check(snd_mixer_selem_set_capture_volume_all(e, value), "Can't set the volume");
}
