#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>

#include "dataflow/LPComponent.h"

// The 40-byte wave format record, laid out as the platform's extensible wave format. It
// travels as raw bytes (at the head of every audio block, in the start-wave operation), so
// its layout is fixed here and checked below.
#pragma pack(push, 1)
struct TALGuid {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];

  friend bool operator==(const TALGuid&, const TALGuid&) = default;
};

struct TALWaveFormatEx {
  uint16_t wFormatTag;
  uint16_t nChannels;
  uint32_t nSamplesPerSec;
  uint32_t nAvgBytesPerSec;
  uint16_t nBlockAlign;
  uint16_t wBitsPerSample;  // container width
  uint16_t cbSize;          // bytes of the record after this field
};

struct TALWaveFormatExtensible {
  TALWaveFormatEx Format;
  union {
    uint16_t wValidBitsPerSample;
    uint16_t wSamplesPerBlock;
    uint16_t wReserved;
  };
  uint32_t dwChannelMask;
  TALGuid SubFormat;
};
#pragma pack(pop)

using PALWaveFormatExtensible = TALWaveFormatExtensible*;

static_assert(std::endian::native == std::endian::little,
              "the wave format record is read and written in native byte order");
static_assert(sizeof(TALGuid) == 16);
static_assert(sizeof(TALWaveFormatEx) == 18);
static_assert(sizeof(TALWaveFormatExtensible) == 40);
static_assert(offsetof(TALWaveFormatExtensible, Format.nChannels) == 2);
static_assert(offsetof(TALWaveFormatExtensible, Format.nSamplesPerSec) == 4);
static_assert(offsetof(TALWaveFormatExtensible, Format.nAvgBytesPerSec) == 8);
static_assert(offsetof(TALWaveFormatExtensible, Format.nBlockAlign) == 12);
static_assert(offsetof(TALWaveFormatExtensible, Format.wBitsPerSample) == 14);
static_assert(offsetof(TALWaveFormatExtensible, Format.cbSize) == 16);
static_assert(offsetof(TALWaveFormatExtensible, wValidBitsPerSample) == 18);
static_assert(offsetof(TALWaveFormatExtensible, dwChannelMask) == 20);
static_assert(offsetof(TALWaveFormatExtensible, SubFormat) == 24);

constexpr uint16_t WAVE_FORMAT_EXTENSIBLE = 0xFFFE;
constexpr uint16_t ALWaveFormatExtraSize = 22;
constexpr uint32_t ALWaveFormatHeaderSize = sizeof(TALWaveFormatEx) + ALWaveFormatExtraSize;
static_assert(ALWaveFormatHeaderSize == sizeof(TALWaveFormatExtensible));

// {00000001-0000-0010-8000-00AA00389B71}
constexpr TALGuid KSDATAFORMAT_SUBTYPE_PCM = {
    0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
// {00000003-0000-0010-8000-00AA00389B71}: 32-bit IEEE floats, full scale 1.0.
constexpr TALGuid KSDATAFORMAT_SUBTYPE_IEEE_FLOAT = {
    0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

// Speaker positions; the ordinal is the bit of the channel mask.
enum TALSpeaker : uint32_t {
  spFrontLeft,
  spFrontRight,
  spFrontCenter,
  spSubwoofer,
  spBackLeft,
  spBackRight,
  spFrontLeftOfCenter,
  spFrontRightOfCenter,
  spBackCenter,
  spSideLeft,
  spSideRight,
  spTopCenter,
  spTopFrontLeft,
  spTopFrontCenter,
  spTopFrontRight,
  spTopBackLeft,
  spTopBackCenter,
  spTopBackRight,
};

// A set of speakers, stored as the 32-bit channel mask of the wave format record.
class TALSpeakers {
public:
  constexpr TALSpeakers() = default;
  constexpr TALSpeakers(std::initializer_list<TALSpeaker> ASpeakers) {
    for (TALSpeaker Speaker : ASpeakers) FMask |= 1u << Speaker;
  }
  static constexpr TALSpeakers FromMask(uint32_t AMask) {
    TALSpeakers Speakers;
    Speakers.FMask = AMask;
    return Speakers;
  }

  constexpr uint32_t Mask() const { return FMask; }
  constexpr bool Empty() const { return FMask == 0; }
  constexpr bool Contains(TALSpeaker ASpeaker) const { return (FMask >> ASpeaker) & 1u; }

  friend constexpr bool operator==(TALSpeakers, TALSpeakers) = default;

private:
  uint32_t FMask = 0;
};

// A settings object that belongs to a component: it has no lock of its own but works under
// its owner's property lock, so that changing it serialises with everything else that
// takes that lock, and it reports changes through OnChange.
class TLPLockedPersistentNotify {
public:
  using TNotifyEvent = std::function<void(TLPLockedPersistentNotify* Sender)>;

  TLPLockedPersistentNotify(TLPComponent* AOwnerProperty, std::shared_ptr<ILPLock> ALock,
                            TNotifyEvent AOnChange)
      : OnChange(std::move(AOnChange)), FOwnerProperty(AOwnerProperty), FLock(std::move(ALock)) {}
  virtual ~TLPLockedPersistentNotify() = default;
  TLPLockedPersistentNotify(const TLPLockedPersistentNotify&) = delete;
  TLPLockedPersistentNotify& operator=(const TLPLockedPersistentNotify&) = delete;

  TLPComponent* GetOwner() const { return FOwnerProperty; }

  TNotifyEvent OnChange;

protected:
  // Under the owner's write lock: stores AValue through AStore when ALoad gives another
  // value, then runs AUpdate and raises OnChange. A component that is stopping refuses its
  // lock, and the change is then dropped. Returns whether the value changed.
  template <typename T, typename TLoad, typename TStore, typename TUpdate>
  bool Change(T AValue, TLoad ALoad, TStore AStore, TUpdate AUpdate) {
    TOWLockSection Section = FLock->WriteLock();
    if (!Section || ALoad() == AValue) return false;
    AStore(AValue);
    AUpdate();
    if (OnChange) OnChange(this);
    return true;
  }

  // Reads under the owner's read lock; while the owner stops, the value is read as it stands.
  template <typename TLoad>
  auto Read(TLoad ALoad) const {
    TOWLockSection Section = FLock->ReadLock();
    return ALoad();
  }

private:
  TLPComponent* FOwnerProperty;
  std::shared_ptr<ILPLock> FLock;
};

// The capture format: channel count, sample width, sample rate and speaker mask, kept as a
// complete wave format record that is handed to the device as it stands. Out-of-range
// values are clamped, never refused.
class TALAudioFormatBasic : public TLPLockedPersistentNotify {
public:
  TALAudioFormatBasic(TLPComponent* AOwnerProperty, std::shared_ptr<ILPLock> ALock,
                      TNotifyEvent AOnChange = {});

  uint32_t GetChannels() const;
  // The low 16 bits, clamped to 1..32.
  void SetChannels(uint32_t AValue);
  uint32_t GetBits() const;
  // The valid bits: the low 16 bits, clamped to 1..32. The container width follows.
  void SetBits(uint32_t AValue);
  uint32_t GetSampleRate() const;
  void SetSampleRate(uint32_t AValue);
  TALSpeakers GetChannelMask() const;
  void SetChannelMask(TALSpeakers AValue);
  // Samples are 32-bit IEEE floats, full scale 1.0, rather than integers: the record names the
  // float sub-format. Bits should then be 32.
  bool GetFloat() const;
  void SetFloat(bool AValue);

  // The live record; it must not be kept beyond the format's life, and is read without the
  // lock, so only on the thread that sets the format.
  const TALWaveFormatExtensible* GetWaveFormat() const;

  // Copies every property of Source through the setters.
  virtual void Assign(const TALAudioFormatBasic& Source);

protected:
  void UpdateWaveFormat();

  TALWaveFormatExtensible FWaveFormat{};
  bool FFloat = false;
};

class TALAudioFormat : public TALAudioFormatBasic {
public:
  TALAudioFormat(TLPComponent* AOwnerProperty, std::shared_ptr<ILPLock> ALock,
                 TNotifyEvent AOnChange = {});

  // Frames per capture buffer.
  uint32_t GetBufferSize() const;
  // Values below 1 become 1.
  void SetBufferSize(uint32_t AValue);

  void Assign(const TALAudioFormatBasic& Source) override;

private:
  uint32_t FBufferSize = 1024;
};
