#include "platform/AudioCtl.h"

#include "platform/AlsaAudioRecord.h"
#include "platform/PulseAudioRecord.h"
#include "platform/SystemSound.h"

void CheckAudioRecordIndex(int32_t Index, int32_t Count, const char* What) {
  if (Index < 0 || Index >= Count)
    throw std::out_of_range(std::string("Recording control: ") + What + " index " +
                            std::to_string(Index) + " out of range (" + std::to_string(Count) +
                            ")");
}

std::shared_ptr<IAudioRecord> ConnectSystemAudioRecord() {
  // A server that answered once is waited for while it restarts: the cards are its own then.
  if (SystemSound() == TSoundSystem::Server) return TPulseAudioRecord::Connect();
  return std::make_shared<TAlsaAudioRecord>();
}

TCAudioRecord::TCAudioRecord(TAudioRecordConnector Connector) : FConnector(std::move(Connector)) {
  if (!FConnector) throw EAudioRecordError("Recording control: nothing can make it");
}

IAudioRecord& TCAudioRecord::DefaultInterface() {
  if (!FIntf) {
    FIntf = FConnector();
    if (!FIntf) throw EAudioRecordError("Recording control: none was made");
    if (FChanged) FIntf->Watch(FChanged);
  }
  return *FIntf;
}

void TCAudioRecord::Watch(std::function<void()> Changed) {
  FChanged = std::move(Changed);
  if (FIntf) FIntf->Watch(FChanged);
}
