#include "capture/ALAudioFormat.h"

#include <gtest/gtest.h>

#include "BoundedWait.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <thread>

namespace {

class ALAudioFormat : public ::testing::Test {
protected:
  std::shared_ptr<ILPLock> Lock = std::make_shared<TLPLock>();
  int Changes = 0;
  TLPLockedPersistentNotify* LastSender = nullptr;
  TALAudioFormat Format{nullptr, Lock, [this](TLPLockedPersistentNotify* Sender) {
                          ++Changes;
                          LastSender = Sender;
                        }};

  TALWaveFormatExtensible Record() const {
    TALWaveFormatExtensible Copy;
    std::memcpy(&Copy, Format.GetWaveFormat(), sizeof(Copy));
    return Copy;
  }
};

TEST_F(ALAudioFormat, DefaultsMakeACompleteRecord) {
  const TALWaveFormatExtensible R = Record();
  EXPECT_EQ(R.Format.wFormatTag, 0xFFFE);
  EXPECT_EQ(R.Format.nChannels, 2);
  EXPECT_EQ(R.Format.nSamplesPerSec, 11025u);
  EXPECT_EQ(R.Format.nAvgBytesPerSec, 44100u);
  EXPECT_EQ(R.Format.nBlockAlign, 4);
  EXPECT_EQ(R.Format.wBitsPerSample, 16);
  EXPECT_EQ(R.Format.cbSize, 22);
  EXPECT_EQ(R.wValidBitsPerSample, 16);
  EXPECT_EQ(R.dwChannelMask, 3u);
  EXPECT_EQ(R.SubFormat, KSDATAFORMAT_SUBTYPE_PCM);
  EXPECT_EQ(Format.GetBufferSize(), 1024u);
  EXPECT_EQ(Changes, 0);

  // The same record as raw little-endian bytes, as the device and the buffers read it.
  const uint8_t Expected[40] = {
      0xFE, 0xFF, 2, 0, 0x11, 0x2B, 0, 0, 0x44, 0xAC, 0, 0,    4, 0, 16,   0, 22,   0,    16,  0, 3,
      0,    0,    0, 1, 0,    0,    0, 0, 0,    0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
  EXPECT_EQ(std::memcmp(Format.GetWaveFormat(), Expected, 40), 0);
}

TEST_F(ALAudioFormat, SettersClampAndDeriveTheRecord) {
  struct Case {
    const char* Name;
    void (*Set)(TALAudioFormat&);
    uint16_t Channels, ValidBits, Container, BlockAlign;
    uint32_t Rate, AvgBytes;
  };
  const Case Cases[] = {
      {"Bits 12", [](TALAudioFormat& F) { F.SetBits(12); }, 2, 12, 16, 4, 11025, 44100},
      {"Bits 20", [](TALAudioFormat& F) { F.SetBits(20); }, 2, 20, 24, 6, 11025, 66150},
      {"Bits 0", [](TALAudioFormat& F) { F.SetBits(0); }, 2, 1, 8, 2, 11025, 22050},
      {"Bits 40", [](TALAudioFormat& F) { F.SetBits(40); }, 2, 32, 32, 8, 11025, 88200},
      {"Bits 65544", [](TALAudioFormat& F) { F.SetBits(65544); }, 2, 8, 8, 2, 11025, 22050},
      {"Channels 0", [](TALAudioFormat& F) { F.SetChannels(0); }, 1, 16, 16, 2, 11025, 22050},
      {"Channels 33", [](TALAudioFormat& F) { F.SetChannels(33); }, 32, 16, 16, 64, 11025, 705600},
      {"Channels 65537", [](TALAudioFormat& F) { F.SetChannels(65537); }, 1, 16, 16, 2, 11025,
       22050},
      {"Rate 0", [](TALAudioFormat& F) { F.SetSampleRate(0); }, 2, 16, 16, 4, 0, 0},
      {"Rate 44100", [](TALAudioFormat& F) { F.SetSampleRate(44100); }, 2, 16, 16, 4, 44100,
       176400},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    std::shared_ptr<ILPLock> OwnLock = std::make_shared<TLPLock>();
    TALAudioFormat F(nullptr, OwnLock);
    C.Set(F);
    const TALWaveFormatExtensible* R = F.GetWaveFormat();
    EXPECT_EQ(R->Format.nChannels, C.Channels);
    EXPECT_EQ(F.GetChannels(), C.Channels);
    EXPECT_EQ(R->wValidBitsPerSample, C.ValidBits);
    EXPECT_EQ(F.GetBits(), C.ValidBits);
    EXPECT_EQ(R->Format.wBitsPerSample, C.Container);
    EXPECT_EQ(R->Format.nBlockAlign, C.BlockAlign);
    EXPECT_EQ(R->Format.nSamplesPerSec, C.Rate);
    EXPECT_EQ(R->Format.nAvgBytesPerSec, C.AvgBytes);
  }
}

TEST_F(ALAudioFormat, OnChangeFollowsRealChangesOnly) {
  Format.SetChannels(65538);  // low 16 bits: 2, as stored
  Format.SetSampleRate(11025);
  Format.SetChannelMask({spFrontLeft, spFrontRight});
  Format.SetBufferSize(1024);
  EXPECT_EQ(Changes, 0);

  Format.SetChannelMask({spFrontCenter});
  EXPECT_EQ(Changes, 1);
  EXPECT_EQ(LastSender, &Format);
  EXPECT_EQ(Format.GetChannelMask(), TALSpeakers{spFrontCenter});
  EXPECT_EQ(Format.GetWaveFormat()->dwChannelMask, 4u);  // kept as given, no trimming

  Format.SetBufferSize(0);
  EXPECT_EQ(Format.GetBufferSize(), 1u);
  Format.SetBufferSize(0);
  EXPECT_EQ(Changes, 2);
}

TEST_F(ALAudioFormat, AssignCopiesEveryProperty) {
  std::shared_ptr<ILPLock> OtherLock = std::make_shared<TLPLock>();
  TALAudioFormat Source(nullptr, OtherLock);
  Source.SetChannels(6);
  Source.SetBits(24);
  Source.SetSampleRate(48000);
  Source.SetChannelMask(TALSpeakers::FromMask(0x3F));
  Source.SetBufferSize(256);
  Source.SetFloat(true);

  Format.Assign(Source);
  EXPECT_EQ(std::memcmp(Format.GetWaveFormat(), Source.GetWaveFormat(), 40), 0);
  EXPECT_EQ(Format.GetWaveFormat()->SubFormat, KSDATAFORMAT_SUBTYPE_IEEE_FLOAT);
  EXPECT_TRUE(Format.GetFloat());
  EXPECT_EQ(Format.GetBufferSize(), 256u);
  EXPECT_EQ(Changes, 6);

  Format.Assign(Source);
  EXPECT_EQ(Changes, 6);
}

TEST_F(ALAudioFormat, SetterWaitsForTheOwnersWriteLock) {
  std::atomic<bool> Done{false};
  std::thread Setter;
  {
    TOWLockSection Held = Lock->WriteLock();
    ASSERT_TRUE(Held);
    Setter = std::thread([&] {
      Format.SetChannels(4);
      Done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(Done) << "the setter ran while the owner's lock was held";
    EXPECT_EQ(Format.GetChannels(), 2u);  // the holder may read again
  }
  Setter.join();
  EXPECT_EQ(Format.GetChannels(), 4u);
  EXPECT_EQ(Format.GetWaveFormat()->Format.nBlockAlign, 8);
}

TEST_F(ALAudioFormat, SetterIsDroppedAtOnceWhileTheOwnerStops) {
  std::promise<void> Stopped, Finished;
  std::thread Stopper([&] {
    TOWLockSection Stop = Lock->StopLock();
    Stopped.set_value();
    Finished.get_future().wait();
  });
  Stopped.get_future().wait();
  {
    TBoundedWait bound("the format's setters while its owner stops");
    Format.SetChannels(5);
    Format.SetBufferSize(77);
  }
  Finished.set_value();
  Stopper.join();

  EXPECT_EQ(Format.GetChannels(), 2u);
  EXPECT_EQ(Format.GetBufferSize(), 1024u);
  EXPECT_EQ(Changes, 0);
}

}  // namespace
