#include "dataflow/ALStreamTypes.h"

const TOWStreamType ALAudioStreamType{
    "AL Audio stream",
    [](const IOWStream& APin) { return dynamic_cast<const IALAudioStream*>(&APin) != nullptr; }};

TALOWAudioSourcePin::TALOWAudioSourcePin(TLPComponent* AOwner, std::shared_ptr<IOWLock> AOwnerLock,
                                         TSLOperationEvent AOperationEvent)
    : TSLOWSourcePin(AOwner, std::move(AOwnerLock), std::move(AOperationEvent)) {
  StreamType.Register(&ALAudioStreamType, SLSubmit);
}

TALOWAudioSourcePin::~TALOWAudioSourcePin() {
  BeginDestroy();
  Disconnect();
}

TALOWAudioSinkPin::TALOWAudioSinkPin(TLPComponent* AOwner, std::shared_ptr<IOWLock> AOwnerLock,
                                     TSLOperationEvent AOperationEvent)
    : TSLOWSinkPin(AOwner, std::move(AOwnerLock), std::move(AOperationEvent)) {
  StreamType.Register(&ALAudioStreamType, SLSubmit);
}

TALOWAudioSinkPin::~TALOWAudioSinkPin() {
  BeginDestroy();
  Disconnect();
}
