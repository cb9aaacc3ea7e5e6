#pragma once
// The recording control over the sound server (PulseAudio, or PipeWire through its PulseAudio
// service). Its devices are the sources under the names the wave-input layer gives them, so a
// name chosen here opens the same source there; its lines are a source's ports.

#include <memory>
#include <string>
#include <vector>

#include "platform/AudioCtl.h"
#include "platform/DeviceNames.h"

class PulseConnection;

struct SourcePort {
  std::string Name;         // the server's key; empty for the line that stands for a whole source
  std::string Description;  // what its user reads
};

// A source's lines: its ports, named after their descriptions (their keys when they have none)
// and made unique, the active port first and the others in the server's order, so that line 0
// is the one that records now; a source without ports has one line named after the source itself.
std::vector<SourcePort> DeviceLinesOf(const std::string& SourceDisplayName,
                                      const std::vector<SourcePort>& Ports,
                                      const std::string& ActivePort = {});

class TPulseAudioRecord final : public IAudioRecord {
public:
  static constexpr const char* ClassID = "{3387A365-D5A3-4BEE-8095-C5CFD9ABE517}";

  // Raises EAudioRecordError ("<reason>, ClassID: <id>") when no server answers at `Server`
  // (libpulse's notation; empty for the usual one).
  static std::shared_ptr<TPulseAudioRecord> Connect(const std::string& Server = {});
  ~TPulseAudioRecord() override;

  // Lists the sources anew; device indices refer to this list until the next count.
  int32_t GetDeviceCount() override;
  std::string GetDeviceName(int32_t nID) override;
  void SetDeviceIndex(int32_t Value) override;
  // Asks the server for the current device's ports; line indices refer to this list.
  int32_t GetDeviceLineCount() override;
  std::string GetDeviceLineName(int32_t nID) override;
  // Makes the line's port the source's active port; -1, or the port that is active already,
  // changes nothing.
  void SetDeviceLineIndex(int32_t Value) override;
  void SetFILEFORMAT(int32_t Value) override { FFileFormat = Value; }
  void SetWaveFormatIdx(int32_t Value) override { FWaveFormatIdx = Value; }
  // Kept, never sent: the source's volume is the user's.
  void SetDeviceLineVolume(int32_t Value) override { FDeviceLineVolume = Value; }
  // The server's news of its sources, of the streams recording from them and of its default
  // source, and the end of the connection; a connection made again is watched too.
  void Watch(std::function<void()> Changed) override;

private:
  struct SourceDetails;

  TPulseAudioRecord(std::string Server, std::shared_ptr<PulseConnection> Connection);
  PulseConnection& Connection();  // the live connection, made again after the server went away
  const std::vector<NamedCaptureSource>& Devices();
  SourceDetails QuerySource(const std::string& Name);
  void Subscribe(PulseConnection& Connection);

  const std::string FServer;
  std::shared_ptr<const std::function<void()>> FChanged;  // outlives the connections
  std::shared_ptr<PulseConnection> FConnection;
  std::vector<NamedCaptureSource> FDevices;
  bool FListed = false;
  std::string FCurrent;  // the current device's key; empty for none
  std::vector<SourcePort> FLines;
  int32_t FFileFormat = 0;
  int32_t FWaveFormatIdx = 0;
  int32_t FDeviceLineVolume = 0;
};
