#pragma once
// The backend used when no sound server answers: no devices, and opening any of them, the
// default-device mapper included, fails with MMSYSERR_NODRIVER.

#include "platform/WaveInBackend.h"

class NullWaveInBackend final : public IWaveInBackend {
public:
  uint32_t GetNumDevs() override { return 0; }
  MMRESULT GetDevName(uint32_t, std::string&) override { return MMSYSERR_BADDEVICEID; }
  MMRESULT Open(uint32_t, const WaveInFormat&, IWaveInSink&, std::unique_ptr<IWaveInStream>&) override {
    return MMSYSERR_NODRIVER;
  }
};
