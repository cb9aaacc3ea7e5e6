#include "platform/SoundFileReader.h"

#include <algorithm>
#include <bit>

void StoreWaveSample(uint8_t* AOut, uint16_t ABits, int32_t ALeft32) {
  switch (ABits) {
    case 8: AOut[0] = static_cast<uint8_t>((ALeft32 >> 24) + 128); break;
    case 16:
      AOut[0] = static_cast<uint8_t>(ALeft32 >> 16);
      AOut[1] = static_cast<uint8_t>(ALeft32 >> 24);
      break;
    case 24:
      AOut[0] = static_cast<uint8_t>(ALeft32 >> 8);
      AOut[1] = static_cast<uint8_t>(ALeft32 >> 16);
      AOut[2] = static_cast<uint8_t>(ALeft32 >> 24);
      break;
    default:
      for (int i = 0; i < 4; ++i)
        AOut[i] = static_cast<uint8_t>(static_cast<uint32_t>(ALeft32) >> (8 * i));
  }
}

SoundFileReader::SoundFileReader(SNDFILE* AFile, int AFileFormat, const WaveInFormat& AFormat)
    : FFile(AFile),
      FFormat(AFormat),
      // A 16-bit file into 16-bit buffers: the library writes the samples straight into the
      // buffer, as they are, without passing through 32 bits.
      FDirect16(std::endian::native == std::endian::little && !AFormat.Float &&
                AFormat.ContainerBits == 16 &&
                (AFileFormat & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16) {}

size_t SoundFileReader::Read(uint8_t* AOut, size_t AFrames) {
  static_assert(std::endian::native == std::endian::little && sizeof(float) == 4);
  const auto frames = static_cast<sf_count_t>(AFrames);
  sf_count_t got = 0;
  if (FFormat.Float) {
    got = sf_readf_float(FFile, reinterpret_cast<float*>(AOut), frames);
  } else if (FDirect16) {
    got = sf_readf_short(FFile, reinterpret_cast<short*>(AOut), frames);
  } else {
    FSamples.resize(AFrames * FFormat.Channels);
    got = sf_readf_int(FFile, FSamples.data(), frames);
    const uint16_t bytes = FFormat.ContainerBits / 8;
    for (size_t i = 0; i < static_cast<size_t>(std::max<sf_count_t>(got, 0)) * FFormat.Channels;
         ++i, AOut += bytes)
      StoreWaveSample(AOut, FFormat.ContainerBits, FSamples[i]);
  }
  return got <= 0 ? 0 : static_cast<size_t>(got);
}
