#include "platform/WaveInBackend.h"

#include "platform/AlsaWaveIn.h"
#include "platform/PulseWaveIn.h"

std::shared_ptr<IWaveInBackend> CreateSystemWaveInBackend() {
  if (auto pulse = PulseWaveInBackend::Connect()) return pulse;
  return std::make_shared<AlsaWaveInBackend>();
}
