#pragma once
// Frames of a sound file in the layout of an opened wave-input format, for the devices and
// tools that play files into the wave-input layer.

#include <sndfile.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/WaveInFormat.h"

// Writes one sample given in the full 32-bit range into a container of ABits (8, 16, 24 or
// 32), which keeps its top bits; 8-bit containers are unsigned.
void StoreWaveSample(uint8_t* AOut, uint16_t ABits, int32_t ALeft32);

// Integer files of the format's width arrive byte for byte, other files as the sound-file
// library converts them; opened for float samples, every file arrives as floats (full scale
// 1.0, louder samples kept), compressed and companded ones decoded.
class SoundFileReader {
public:
  // AFile stays the caller's; AFileFormat is the format that sf_open reported.
  SoundFileReader(SNDFILE* AFile, int AFileFormat, const WaveInFormat& AFormat);

  // Up to AFrames whole frames at AOut; 0 at the end of the file or on a read error.
  size_t Read(uint8_t* AOut, size_t AFrames);

private:
  SNDFILE* const FFile;
  const WaveInFormat FFormat;
  const bool FDirect16;
  std::vector<int> FSamples;
};
