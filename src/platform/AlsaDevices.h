#pragma once
// The capture devices of the sound cards as libasound lists them, and the names under which the
// wave-input layer and the recording control show them: the same unique names (DeviceNames) as
// every other device list, so that a name picked in one finds the same device in the other.

#include <cstdint>
#include <string>
#include <vector>

// One capture PCM device of a card.
struct AlsaCaptureDevice {
  std::string CardId;      // the card's stable id, e.g. "PCH"
  std::string CardName;    // what its user reads, e.g. "HDA Intel PCH"
  int32_t Device = 0;      // the PCM device number on the card
  std::string DeviceName;  // e.g. "ALC892 Analog"
};

struct NamedAlsaDevice {
  std::string PcmName;      // what snd_pcm_open takes: plughw:CARD=<id>,DEV=<n>
  std::string CardId;       // for the card's mixer
  std::string DisplayName;  // unique, at most MaxDeviceNameBytes
};

// Every card in card order, every device of a card that can capture in device order. Cards that
// cannot be asked (busy, gone meanwhile) are left out.
std::vector<AlsaCaptureDevice> ListAlsaCaptureDevices();

// "<card name>: <device name>", or the card name alone when the device has no name of its own;
// the card id stands in for a card without a name.
std::vector<NamedAlsaDevice> NameAlsaCaptureDevices(const std::vector<AlsaCaptureDevice>& devices);
