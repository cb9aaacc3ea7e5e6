#pragma once
// The input lines of one sound card and their capture volume, through the card's mixer: the items
// of its enumerated capture source when it has one, else its elements with a capture switch (the
// card's master "Capture" switch is not a line of its own).

#include <alsa/asoundlib.h>

#include <cstdint>
#include <string>
#include <vector>

class AlsaMixer {
public:
  // The mixer of card `cardId` (its id, as in "hw:CARD=<id>"). Raises std::runtime_error with
  // libasound's message when it cannot be opened.
  explicit AlsaMixer(const std::string& cardId);
  ~AlsaMixer();
  AlsaMixer(const AlsaMixer&) = delete;
  AlsaMixer& operator=(const AlsaMixer&) = delete;

  const std::vector<std::string>& Lines() const { return FLines; }

  // Makes the line the recording source: sets the source item, or turns the line's capture switch
  // on and every other line's off; the master capture switch is turned on. Raises
  // std::out_of_range for an index outside Lines(), std::runtime_error when the card refuses.
  void SelectLine(int32_t index);

  // Sets the capture volume, in percent of its range (clamped to 0..100), of the selected line,
  // or of the card's master capture volume when the line has none of its own; without either
  // nothing changes.
  void SetVolume(int32_t percent);

private:
  snd_mixer_elem_t* VolumeElement() const;

  snd_mixer_t* FMixer = nullptr;
  snd_mixer_elem_t* FSource = nullptr;       // the enumerated capture source, if any
  std::vector<snd_mixer_elem_t*> FSwitches;  // the lines when there is no source
  snd_mixer_elem_t* FMaster = nullptr;       // "Capture"
  std::vector<std::string> FLines;
  int32_t FSelected = -1;
};
