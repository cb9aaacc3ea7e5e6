#pragma once
// The format of an open device as the backends see it, apart from the records callers hand
// to waveInOpen, so that code with format records of its own can use the layer.

#include <cstdint>

// What a backend needs to know of an accepted format: integer PCM, little-endian, unsigned
// for 8-bit containers and signed otherwise; or 32-bit IEEE floats, full scale 1.0.
struct WaveInFormat {
  uint32_t SampleRate = 0;
  uint16_t Channels = 0;
  uint16_t ContainerBits = 0;  // 8, 16, 24 or 32
  uint32_t ChannelMask = 0;    // 0 when the record gave none
  uint16_t BlockAlign = 0;     // bytes per frame
  bool Float = false;          // only with 32-bit containers
};

constexpr uint16_t WaveInMaxChannels = 32;
constexpr uint32_t WaveInMaxSampleRate = 384000;
