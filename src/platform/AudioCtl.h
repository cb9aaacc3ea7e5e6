#pragma once
// The recording control: lists the sound-input devices and their input lines (recording
// sources) and selects them. The program never records through it; the capture is the wave-input
// layer's, which names the devices the same way.

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

// A failure of the recording control, raised in the caller.
class EAudioRecordError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Device and line indices count from 0 and one outside the lists raises std::out_of_range, with
// one exception: a line index of -1 selects nothing and changes nothing. A device index of -1 is
// refused like any other, so that looking for a saved device that is absent at the moment keeps
// the current device and the saved name. The device index chooses the device of the line
// operations.
//
// Nothing the program does at start-up may change the user's sound settings: the lines of a
// device are listed with the one that records now first, so selecting line 0 keeps the source as
// it is, and a line that records already is never written again.
class IAudioRecord {
public:
  virtual ~IAudioRecord() = default;

  virtual int32_t GetDeviceCount() = 0;
  virtual std::string GetDeviceName(int32_t nID) = 0;
  virtual void SetDeviceIndex(int32_t Value) = 0;
  virtual int32_t GetDeviceLineCount() = 0;
  virtual std::string GetDeviceLineName(int32_t nID) = 0;
  // Makes the line the current device's recording source, unless it is that already.
  virtual void SetDeviceLineIndex(int32_t Value) = 0;
  // Recording settings the control keeps for itself; the program only passes them once. The
  // volume is one of them: the device's own volume is left as the user set it.
  virtual void SetFILEFORMAT(int32_t Value) = 0;
  virtual void SetWaveFormatIdx(int32_t Value) = 0;
  virtual void SetDeviceLineVolume(int32_t Value) = 0;

  // From now on calls Changed, from a thread of the control's choosing, whenever the devices may
  // have changed: a device came or went, the system's default input changed, the control lost its
  // connection or made it again. A control that cannot tell never calls it.
  virtual void Watch(std::function<void()> /*Changed*/) {}
};

// Makes the control when it is first needed; raises EAudioRecordError when it cannot.
using TAudioRecordConnector = std::function<std::shared_ptr<IAudioRecord>()>;

// The recording control of this desktop: the sound server's when one answers, else the sound
// cards' own mixers (SystemSound). Raises EAudioRecordError while the server is away.
std::shared_ptr<IAudioRecord> ConnectSystemAudioRecord();

// The wrapper the window owns. Creating it contacts nothing: the first call connects, so a
// missing control shows as an error of that call. A failed connection is tried again at the
// next call. Raises EAudioRecordError when given no connector.
class TCAudioRecord final : public IAudioRecord {
public:
  explicit TCAudioRecord(TAudioRecordConnector Connector = ConnectSystemAudioRecord);

  int32_t GetDeviceCount() override { return DefaultInterface().GetDeviceCount(); }
  std::string GetDeviceName(int32_t nID) override { return DefaultInterface().GetDeviceName(nID); }
  void SetDeviceIndex(int32_t Value) override { DefaultInterface().SetDeviceIndex(Value); }
  int32_t GetDeviceLineCount() override { return DefaultInterface().GetDeviceLineCount(); }
  std::string GetDeviceLineName(int32_t nID) override {
    return DefaultInterface().GetDeviceLineName(nID);
  }
  void SetDeviceLineIndex(int32_t Value) override { DefaultInterface().SetDeviceLineIndex(Value); }
  void SetFILEFORMAT(int32_t Value) override { DefaultInterface().SetFILEFORMAT(Value); }
  void SetWaveFormatIdx(int32_t Value) override { DefaultInterface().SetWaveFormatIdx(Value); }
  void SetDeviceLineVolume(int32_t Value) override {
    DefaultInterface().SetDeviceLineVolume(Value);
  }
  // Kept until the control is connected, and handed to it then.
  void Watch(std::function<void()> Changed) override;

  bool Connected() const { return FIntf != nullptr; }

private:
  IAudioRecord& DefaultInterface();

  TAudioRecordConnector FConnector;
  std::shared_ptr<IAudioRecord> FIntf;
  std::function<void()> FChanged;
};

// Raises std::out_of_range unless 0 <= Index < Count.
void CheckAudioRecordIndex(int32_t Index, int32_t Count, const char* What);
