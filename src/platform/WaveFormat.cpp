#include "platform/WaveFormat.h"

#include <cstring>

namespace {

bool SameGuid(const WAVEGUID& a, const WAVEGUID& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

MMRESULT ParseWaveFormat(const WAVEFORMATEX* pwfx, WaveInFormat& out) {
  if (pwfx == nullptr) return MMSYSERR_INVALPARAM;
  WAVEFORMATEX head;
  std::memcpy(&head, pwfx, sizeof head);

  WaveInFormat f;
  f.SampleRate = head.nSamplesPerSec;
  f.Channels = head.nChannels;
  f.ContainerBits = head.wBitsPerSample;
  if (head.wFormatTag == WAVE_FORMAT_EXTENSIBLE) {
    if (head.cbSize < sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX)) return WAVERR_BADFORMAT;
    WAVEFORMATEXTENSIBLE ext;
    std::memcpy(&ext, pwfx, sizeof ext);
    f.Float = SameGuid(ext.SubFormat, KSDATAFORMAT_SUBTYPE_IEEE_FLOAT);
    if (!f.Float && !SameGuid(ext.SubFormat, KSDATAFORMAT_SUBTYPE_PCM)) return WAVERR_BADFORMAT;
    if (ext.wValidBitsPerSample == 0 || ext.wValidBitsPerSample > f.ContainerBits)
      return WAVERR_BADFORMAT;
    f.ChannelMask = ext.dwChannelMask;
  } else if (head.wFormatTag == WAVE_FORMAT_IEEE_FLOAT) {
    f.Float = true;
  } else if (head.wFormatTag != WAVE_FORMAT_PCM) {
    return WAVERR_BADFORMAT;
  }
  if (f.Float && f.ContainerBits != 32) return WAVERR_BADFORMAT;

  const bool knownWidth = f.ContainerBits == 8 || f.ContainerBits == 16 || f.ContainerBits == 24 ||
                          f.ContainerBits == 32;
  if (!knownWidth || f.Channels == 0 || f.Channels > WaveInMaxChannels) return WAVERR_BADFORMAT;
  if (f.SampleRate == 0 || f.SampleRate > WaveInMaxSampleRate) return WAVERR_BADFORMAT;
  f.BlockAlign = static_cast<uint16_t>(f.ContainerBits / 8 * f.Channels);
  if (head.nBlockAlign != f.BlockAlign) return WAVERR_BADFORMAT;
  out = f;
  return MMSYSERR_NOERROR;
}
