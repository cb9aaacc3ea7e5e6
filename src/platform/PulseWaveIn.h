#pragma once
// Wave input from the sound server (PulseAudio, or PipeWire through its PulseAudio service).
// The devices are the server's sources, real inputs first and then the monitors, kept by the
// server's names for them, never by index. The mapper records from the server's default source.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/DeviceNames.h"
#include "platform/WaveInBackend.h"

class PulseConnection;

class PulseWaveInBackend final : public IWaveInBackend {
public:
  // Null when no server answers at `server` (libpulse's notation; empty for the usual one).
  static std::shared_ptr<PulseWaveInBackend> Connect(const std::string& server = {});

  // Asks the server for its sources; device numbers refer to this list until the next count.
  uint32_t GetNumDevs() override;
  MMRESULT GetDevName(uint32_t deviceId, std::string& name) override;
  MMRESULT Open(uint32_t deviceId, const WaveInFormat& format, IWaveInSink& sink,
                std::unique_ptr<IWaveInStream>& stream) override;
  // Follows the stream where the server moved it (a mapper stream goes with the default input).
  MMRESULT GetDeviceOf(uint32_t deviceId, const IWaveInStream& stream, uint32_t& current) override;

private:
  explicit PulseWaveInBackend(std::string server, std::shared_ptr<PulseConnection> connection);
  // The live connection, made again when the last one died; null when the server is gone.
  std::shared_ptr<PulseConnection> Connection();
  std::vector<NamedCaptureSource> Devices();  // the last listing, or a new one when there is none

  const std::string FServer;
  std::mutex FMutex;
  std::shared_ptr<PulseConnection> FConnection;
  std::vector<NamedCaptureSource> FDevices;
  bool FListed = false;
};
