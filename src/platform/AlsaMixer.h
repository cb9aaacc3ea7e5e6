#pragma once
// The input lines of one sound card, through the card's mixer: the items of its enumerated capture
// source when it has one, else its elements with a capture switch (the card's master "Capture"
// switch is not a line of its own). The line that records now comes first, so that selecting line
// 0 changes nothing on the card; volumes are never touched.

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

  // The source's current item, or the first line whose switch is on, then the others in the
  // card's order.
  const std::vector<std::string>& Lines() const { return FLines; }

  // Makes the line the recording source: sets the source item, or turns the line's capture switch
  // on and every other line's off; the master capture switch is turned on. A line that records
  // already (the current item; a switch that is on, with the master switch on) is left as it is.
  // Raises std::out_of_range for an index outside Lines(), std::runtime_error when the card
  // refuses.
  void SelectLine(int32_t index);

private:
  bool Records(size_t item) const;

  snd_mixer_t* FMixer = nullptr;
  snd_mixer_elem_t* FSource = nullptr;       // the enumerated capture source, if any
  std::vector<snd_mixer_elem_t*> FSwitches;  // the lines when there is no source
  snd_mixer_elem_t* FMaster = nullptr;       // "Capture"
  std::vector<std::string> FLines;
  std::vector<size_t> FItems;  // per line: its item of the source, or its switch
};
