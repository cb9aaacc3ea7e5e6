#pragma once
// The audio stream: the pins that carry audio buffers from a capture to its receivers, and
// the start operation that carries the wave format.

#include <memory>

#include "capture/ALAudioFormat.h"
#include "dataflow/SLStreamTypes.h"

class IALAudioStream : public virtual ISLDispatch {};

extern const TOWStreamType ALAudioStreamType;

class TOWStartWaveOperation : public TOWStartSampleRateOperation {
public:
  TOWStartWaveOperation(const TALWaveFormatExtensible& AWaveFormat, bool APaused)
      : TOWStartSampleRateOperation(AWaveFormat.Format.nSamplesPerSec),
        WaveFormat(AWaveFormat),
        Paused(APaused) {}
  TALWaveFormatExtensible WaveFormat;
  bool Paused;
};

class TALOWAudioSourcePin final : public TSLOWSourcePin, public virtual IALAudioStream {
public:
  TALOWAudioSourcePin(TLPComponent* AOwner, std::shared_ptr<IOWLock> AOwnerLock,
                      TSLOperationEvent AOperationEvent);
  ~TALOWAudioSourcePin() override;
};

class TALOWAudioSinkPin final : public TSLOWSinkPin, public virtual IALAudioStream {
public:
  TALOWAudioSinkPin(TLPComponent* AOwner, std::shared_ptr<IOWLock> AOwnerLock,
                    TSLOperationEvent AOperationEvent);
  ~TALOWAudioSinkPin() override;
};
