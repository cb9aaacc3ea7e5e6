#include "platform/WaveInBackend.h"

#include <mutex>

#include "platform/AlsaWaveIn.h"
#include "platform/PulseWaveIn.h"
#include "platform/SystemSound.h"
#include "platform/WaveIn.h"

namespace {

// The sound server's backend or the cards', as SystemSound() says at each call: a machine that
// had neither finds a server that starts later. Each is made once, when first needed.
class SystemWaveInBackend final : public IWaveInBackend {
public:
  uint32_t GetNumDevs() override { return Current()->GetNumDevs(); }
  MMRESULT GetDevName(uint32_t deviceId, std::string& name) override {
    return Current()->GetDevName(deviceId, name);
  }
  MMRESULT Open(uint32_t deviceId, const WaveInFormat& format, IWaveInSink& sink,
                std::unique_ptr<IWaveInStream>& stream) override {
    return Current()->Open(deviceId, format, sink, stream);
  }
  MMRESULT GetDeviceOf(uint32_t deviceId, const IWaveInStream& stream, uint32_t& current) override {
    return Current()->GetDeviceOf(deviceId, stream, current);
  }
  bool AcceptsFloat() const override { return Current()->AcceptsFloat(); }

private:
  std::shared_ptr<IWaveInBackend> Current() const {
    const bool server = SystemSound() == TSoundSystem::Server;
    std::lock_guard lk(FMutex);
    if (server) {
      // The server may be gone again by now: its backend waits for it to come back.
      if (!FServer) FServer = PulseWaveInBackend::Connect();
      if (FServer) return FServer;
      return FNone;
    }
    if (!FCards) FCards = std::make_shared<AlsaWaveInBackend>();
    return FCards;
  }

  // Stands for a server that answered once and is away at the moment.
  class NoServer final : public IWaveInBackend {
  public:
    uint32_t GetNumDevs() override { return 0; }
    MMRESULT GetDevName(uint32_t, std::string&) override { return MMSYSERR_BADDEVICEID; }
    MMRESULT Open(uint32_t, const WaveInFormat&, IWaveInSink&,
                  std::unique_ptr<IWaveInStream>&) override {
      return MMSYSERR_NODRIVER;
    }
  };

  mutable std::mutex FMutex;
  mutable std::shared_ptr<IWaveInBackend> FServer;
  mutable std::shared_ptr<IWaveInBackend> FCards;
  const std::shared_ptr<IWaveInBackend> FNone = std::make_shared<NoServer>();
};

}  // namespace

std::shared_ptr<IWaveInBackend> CreateSystemWaveInBackend() {
  return std::make_shared<SystemWaveInBackend>();
}
