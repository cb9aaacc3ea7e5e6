#pragma once
// The wave format records that the wave-input layer accepts, laid out byte for byte like the
// multimedia records they stand for, so that a 40-byte extensible record written anywhere in the
// program can be handed to waveInOpen as it is.

#include <cstddef>
#include <cstdint>

#include "platform/WaveInFormat.h"
#include "platform/WaveInResult.h"

constexpr uint16_t WAVE_FORMAT_PCM = 0x0001;
constexpr uint16_t WAVE_FORMAT_IEEE_FLOAT = 0x0003;
constexpr uint16_t WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

#pragma pack(push, 1)
struct WAVEGUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};

struct WAVEFORMATEX {
  uint16_t wFormatTag;
  uint16_t nChannels;
  uint32_t nSamplesPerSec;
  uint32_t nAvgBytesPerSec;
  uint16_t nBlockAlign;
  uint16_t wBitsPerSample;
  uint16_t cbSize;
};

struct WAVEFORMATEXTENSIBLE {
  WAVEFORMATEX Format;
  uint16_t wValidBitsPerSample;
  uint32_t dwChannelMask;
  WAVEGUID SubFormat;
};
#pragma pack(pop)

static_assert(sizeof(WAVEFORMATEX) == 18);
static_assert(sizeof(WAVEFORMATEXTENSIBLE) == 40);
static_assert(offsetof(WAVEFORMATEXTENSIBLE, dwChannelMask) == 20);
static_assert(offsetof(WAVEFORMATEXTENSIBLE, SubFormat) == 24);

// {00000001-0000-0010-8000-00AA00389B71}
constexpr WAVEGUID KSDATAFORMAT_SUBTYPE_PCM = {
    0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
// {00000003-0000-0010-8000-00AA00389B71}
constexpr WAVEGUID KSDATAFORMAT_SUBTYPE_IEEE_FLOAT = {
    0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

// Checks a caller's record and reads it without assuming its alignment. Accepts the plain PCM
// and float tags, and the extensible tag with the PCM or float sub-format (floats of 32 bits
// only); anything else is WAVERR_BADFORMAT, a null pointer MMSYSERR_INVALPARAM.
MMRESULT ParseWaveFormat(const WAVEFORMATEX* pwfx, WaveInFormat& out);
