#pragma once
// How capture devices are named, shared by the wave-input layer and the recording control so
// that a name picked in one always finds the same device in the other: at most 127 bytes of
// UTF-8, unique within the list.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

constexpr size_t MaxDeviceNameBytes = 127;
// Names were once cut at 31 bytes; preferences may still hold such a name.
constexpr size_t LegacyDeviceNameBytes = 31;

// The longest prefix of `text` of at most `maxBytes` bytes that does not split a UTF-8 sequence.
std::string CutUtf8(std::string_view text, size_t maxBytes);

// Cuts every name to maxBytes and makes repeats unique with " #2", " #3"... (the suffix fits
// inside the limit). A name as given is never renamed because of a suffixed one.
std::vector<std::string> UniqueDeviceNames(const std::vector<std::string>& names,
                                           size_t maxBytes = MaxDeviceNameBytes);

// The names that the devices of a list named `names` bore when names were cut at
// LegacyDeviceNameBytes.
std::vector<std::string> LegacyDeviceNames(const std::vector<std::string>& names);

// A source of the sound server as listed by it.
struct CaptureSource {
  std::string Name;         // the server's key for it
  std::string Description;  // what its user reads
  bool IsMonitor = false;   // records what a sink plays
};

struct NamedCaptureSource {
  std::string Name;         // the server's key
  std::string DisplayName;  // unique, at most MaxDeviceNameBytes
};

// The device list built from the server's sources: real inputs first, then monitors, each group
// in the server's order, named from their descriptions (the key when there is none).
std::vector<NamedCaptureSource> NameCaptureSources(const std::vector<CaptureSource>& sources);
