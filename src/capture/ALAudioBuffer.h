#pragma once

#include <cstdint>
#include <memory>

#include "capture/ALAudioFormat.h"
#include "capture/SLSmartBuffer.h"

// Buffers are shared objects handled only through these interfaces (held in shared_ptr).
// Several buffer objects may sit on one container: handing a buffer on wraps the same
// memory, and a buffer that wants to write first gets a private container (copy-on-write).
// A buffer object is used by one thread at a time; its container may be shared by many.

class ISLData {
public:
  virtual ~ISLData() = default;
  virtual TSLSmartBuffer* GetDataContainer() const = 0;
  // Bytes of the container's block in use, header included.
  virtual uint32_t GetCharSize() const = 0;
};

class ISLDataBuffer : public virtual ISLData {
public:
  virtual uint32_t GetByteSize() const = 0;
  virtual uint32_t GetSize() const = 0;
  virtual const uint8_t* ByteRead() const = 0;
  // Write access to a private container whose data is left as the pool hands it over.
  virtual uint8_t* ByteWrite() = 0;
  // Write access to a private container that starts as a copy of the shared data.
  virtual uint8_t* ByteModify() = 0;
  virtual void Unique(bool PreserveData) = 0;
  virtual bool MakeUnique(bool PreserveData) = 0;
};

class IMLMediaBuffer : public virtual ISLDataBuffer {};

class IALAudioBuffer : public virtual IMLMediaBuffer {
public:
  virtual uint32_t GetChannels() const = 0;
  virtual uint32_t GetBitsPerSample() const = 0;
  virtual TALSpeakers GetChannelMask() const = 0;
  virtual uint32_t GetSampleBitWidth() const = 0;
  virtual uint32_t GetDataStep() const = 0;
  virtual uint32_t GetDataOffset() const = 0;
  virtual uint32_t GetSampleRate() const = 0;
  virtual void GetWaveFormat(TALWaveFormatExtensible& AWaveFormat) const = 0;
  // One sample of frame AIndex, channel AChannel: 8-bit containers give the raw byte,
  // 24-bit the three bytes as the low 24 bits (not sign-extended), 16 and 32 bits the
  // signed value.
  virtual int32_t GetSample(uint32_t AIndex, uint32_t AChannel) const = 0;
  virtual void SetSample(uint32_t AIndex, uint32_t AChannel, int32_t AValue) = 0;
};

// The reference-counted root of the buffer family; shared_ptr does the counting.
class TSLBasicBuffer : public virtual ISLData {};

// A buffer on a shared container. It counts itself on the container while it sits on it
// and removes its count when destroyed or moved to another container.
class TSLGenericBuffer : public TSLBasicBuffer, public virtual ISLDataBuffer {
public:
  ~TSLGenericBuffer() override;
  TSLGenericBuffer(const TSLGenericBuffer&) = delete;
  TSLGenericBuffer& operator=(const TSLGenericBuffer&) = delete;

  TSLSmartBuffer* GetDataContainer() const override { return pDataContainer; }
  uint32_t GetCharSize() const override { return FCharSize; }
  uint32_t GetByteSize() const override { return FCharSize; }
  uint32_t GetSize() const override { return GetByteSize(); }
  const uint8_t* ByteRead() const override { return FDataPtr; }
  uint8_t* ByteWrite() override;
  uint8_t* ByteModify() override;
  void Unique(bool PreserveData) override;
  bool MakeUnique(bool PreserveData) override;

protected:
  TSLGenericBuffer() = default;
  // Sits on AContainer (adding this buffer's count) and refreshes the cached fields.
  void Attach(TSLSmartBuffer* AContainer, uint32_t ACharSize);
  virtual void RefreshCache();
  // Replaces the container without counting.
  void SetDataContainer(TSLSmartBuffer* AContainer) { pDataContainer = AContainer; }

  uint8_t* FDataPtr = nullptr;
  uint32_t FCharSize = 0;
  TSLSmartBuffer* pDataContainer = nullptr;
  bool FOwnsData = true;  // every buffer built here may write, hence owns its container
};

// Buffers of media data. Time stamps are never used in this program.
class TMLMediaBuffer : public TSLGenericBuffer, public virtual IMLMediaBuffer {
protected:
  TMLMediaBuffer() = default;
};

// Interleaved PCM frames behind their own 40-byte wave format record.
class TALAudioBuffer : public TMLMediaBuffer, public virtual IALAudioBuffer {
  struct TPrivate {};

public:
  // ASize is a frame count. An empty ASpeakerMask stands for the lowest AChannels
  // speakers; otherwise the mask is cut down to the first AChannels speakers it names.
  // AFloat: the header names 32-bit IEEE float samples instead of integers.
  static std::shared_ptr<IALAudioBuffer> CreateSizeEx(uint32_t ARate, uint32_t ABitsPerSample,
                                                      uint32_t AChannels, uint32_t ASize,
                                                      TALSpeakers ASpeakerMask,
                                                      bool AFloat = false);
  static std::shared_ptr<IALAudioBuffer> CreateSize(uint32_t ARate, uint32_t ABitsPerSample,
                                                    uint32_t AChannels, uint32_t ASize);
  static std::shared_ptr<IALAudioBuffer> CreateWaveFormat(
      const TALWaveFormatExtensible& AWaveFormat, uint32_t ASize);
  // A second buffer on Other's container; nothing is copied.
  static std::shared_ptr<IALAudioBuffer> CreateUniversal(const ISLData& Other);
  static std::shared_ptr<IALAudioBuffer> CreateCopy(const IALAudioBuffer& Other);

  explicit TALAudioBuffer(TPrivate) {}

  uint32_t GetByteSize() const override;
  uint32_t GetSize() const override;

  uint32_t GetChannels() const override { return FChannels; }
  uint32_t GetBitsPerSample() const override { return FBitsPerSample; }
  TALSpeakers GetChannelMask() const override { return FChannelMask; }
  uint32_t GetSampleBitWidth() const override { return FSampleBitWidth; }
  uint32_t GetDataStep() const override { return FDataStep; }
  uint32_t GetDataOffset() const override { return FDataOffset; }
  uint32_t GetSampleRate() const override;
  void GetWaveFormat(TALWaveFormatExtensible& AWaveFormat) const override;
  int32_t GetSample(uint32_t AIndex, uint32_t AChannel) const override;
  void SetSample(uint32_t AIndex, uint32_t AChannel, int32_t AValue) override;

protected:
  void RefreshCache() override;

private:
  // The offset of a sample in the data, after the range checks.
  uint32_t SampleOffset(uint32_t AIndex, uint32_t AChannel) const;

  uint32_t FChannels = 0;
  uint32_t FBitsPerSample = 0;
  TALSpeakers FChannelMask;
  uint32_t FSampleBitWidth = 0;
  uint32_t FDataStep = 0;
  uint32_t FDataOffset = 0;
  PALWaveFormatExtensible FWaveFormat = nullptr;
};
