#pragma once
// Wave input straight from libasound, for machines where no sound server runs. The devices are
// the capture devices of the sound cards, opened through the plug layer so that any format the
// layer accepts is converted by libasound; the mapper records from the "default" PCM.
//
// A failure of libasound while opening comes back as the layer's code for its cause: a card or
// device that is not there is MMSYSERR_NODRIVER, one that another program holds
// MMSYSERR_ALLOCATED. A device that refuses the format is WAVERR_BADFORMAT. A device that goes away
// while recording is reported as lost: its queued buffers come back and it takes no new ones.

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/AlsaDevices.h"
#include "platform/WaveInBackend.h"

class AlsaWaveInBackend final : public IWaveInBackend {
public:
  using Lister = std::function<std::vector<AlsaCaptureDevice>()>;

  // `lister` gives the cards' capture devices; device numbers refer to its last answer.
  explicit AlsaWaveInBackend(Lister lister = ListAlsaCaptureDevices);

  // Lists the devices again: cards come and go.
  uint32_t GetNumDevs() override;
  MMRESULT GetDevName(uint32_t deviceId, std::string& name) override;
  MMRESULT Open(uint32_t deviceId, const WaveInFormat& format, IWaveInSink& sink,
                std::unique_ptr<IWaveInStream>& stream) override;
  // A named device only: the mapper's "default" device names no card.
  MMRESULT GetDeviceOf(uint32_t deviceId, const IWaveInStream& stream, uint32_t& current) override;

private:
  std::vector<NamedAlsaDevice> Devices();  // the last listing, or a new one when there is none

  const Lister FLister;
  std::mutex FMutex;
  std::vector<NamedAlsaDevice> FDevices;
  bool FListed = false;
};
