#include "capture/ALAudioBuffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "capture/SLSmartBufferManager.h"

namespace {

class ALAudioBuffer : public ::testing::Test {
protected:
  void SetUp() override { TSLSmartBuffer::ReleaseMemory(); }
  void TearDown() override { TSLSmartBuffer::ReleaseMemory(); }
  static int32_t FreeBlocks(uint32_t ASize) {
    return TSLSmartBufferManager::Instance().CountFreeBlocks(ASize);
  }
};

TEST_F(ALAudioBuffer, SizesAndHeaderFollowTheRequestedFormat) {
  struct Case {
    uint32_t Rate, Bits, Channels, Frames;
    uint32_t Width, BlockAlign, ByteSize, AllocatedSize;
  };
  const Case Cases[] = {
      {44100, 16, 2, 256, 16, 4, 1024, 2048},  // the main window's capture buffer
      {11025, 12, 2, 10, 16, 4, 40, 128},     {48000, 20, 2, 100, 24, 6, 600, 1024},
      {8000, 8, 1, 88, 8, 1, 88, 128},        {96000, 32, 6, 4096, 32, 24, 98304, 131072},
      {44100, 1, 1, 0, 8, 1, 0, 64},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.Bits << " bits, " << C.Channels << " channels");
    auto Buffer = TALAudioBuffer::CreateSize(C.Rate, C.Bits, C.Channels, C.Frames);
    EXPECT_EQ(Buffer->GetSampleBitWidth(), C.Width);
    EXPECT_EQ(Buffer->GetBitsPerSample(), C.Bits);
    EXPECT_EQ(Buffer->GetChannels(), C.Channels);
    EXPECT_EQ(Buffer->GetDataStep(), C.BlockAlign);
    EXPECT_EQ(Buffer->GetDataOffset(), 40u);
    EXPECT_EQ(Buffer->GetByteSize(), C.ByteSize);
    EXPECT_EQ(Buffer->GetSize(), C.Frames);
    EXPECT_EQ(Buffer->GetCharSize(), C.ByteSize + 40);
    EXPECT_EQ(Buffer->GetDataContainer()->GetAllocatedSize(), C.AllocatedSize);
    EXPECT_EQ(Buffer->GetSampleRate(), C.Rate);

    TALWaveFormatExtensible Header;
    Buffer->GetWaveFormat(Header);
    EXPECT_EQ(Header.Format.wFormatTag, 0xFFFE);
    EXPECT_EQ(Header.Format.nAvgBytesPerSec, C.Rate * C.BlockAlign);
    EXPECT_EQ(Header.Format.cbSize, 22);
    EXPECT_EQ(Header.SubFormat, KSDATAFORMAT_SUBTYPE_PCM);
    EXPECT_EQ(Buffer->ByteRead(),
              static_cast<const uint8_t*>(Buffer->GetDataContainer()->GetRawData()) + 40);
  }
}

TEST_F(ALAudioBuffer, ChannelMaskIsCutToTheFirstSpeakersItNames) {
  struct Case {
    uint32_t Channels;
    uint32_t Requested;
    uint32_t Expected;
  };
  const uint32_t FL = 1u << spFrontLeft, FR = 1u << spFrontRight, FC = 1u << spFrontCenter;
  const uint32_t BL = 1u << spBackLeft, SL = 1u << spSideLeft;
  const Case Cases[] = {
      {2, FL | FR | FC, FL | FR},
      {2, FR | BL | SL, FR | BL},
      {2, FR, FR},      // fewer speakers than channels
      {2, 0, FL | FR},  // empty: the lowest speakers
      {2, FR | (1u << 15) | (1u << 20), FR | (1u << 15)},
      {2, FL | (1u << 16) | (1u << 20), FL | (1u << 16) | (1u << 20)},  // 17th position: whole
      {1, (1u << 17) | (1u << 3), 1u << 3},
      {3, 0, 7},
      {32, 0, 0xFFFFFFFFu},
  };
  for (const Case& C : Cases) {
    auto Buffer =
        TALAudioBuffer::CreateSizeEx(44100, 16, C.Channels, 4, TALSpeakers::FromMask(C.Requested));
    EXPECT_EQ(Buffer->GetChannelMask().Mask(), C.Expected)
        << C.Channels << " channels, mask " << std::hex << C.Requested;
  }
  auto Stereo =
      TALAudioBuffer::CreateSizeEx(44100, 16, 2, 4, {spFrontRight, spBackLeft, spSideLeft});
  EXPECT_EQ(Stereo->GetChannelMask(), (TALSpeakers{spFrontRight, spBackLeft}));
}

TEST_F(ALAudioBuffer, WaveFormatRecordRebuildsTheSameBuffer) {
  for (bool Float : {false, true}) {
    auto Source = TALAudioBuffer::CreateSizeEx(22050, Float ? 32 : 20, 3, 17,
                                               {spFrontLeft, spFrontRight, spSubwoofer}, Float);
    TALWaveFormatExtensible Header;
    Source->GetWaveFormat(Header);
    EXPECT_EQ(Header.SubFormat, Float ? KSDATAFORMAT_SUBTYPE_IEEE_FLOAT : KSDATAFORMAT_SUBTYPE_PCM);
    auto Copy = TALAudioBuffer::CreateWaveFormat(Header, 17);
    TALWaveFormatExtensible CopyHeader;
    Copy->GetWaveFormat(CopyHeader);
    EXPECT_EQ(std::memcmp(&Header, &CopyHeader, sizeof(Header)), 0);
    EXPECT_NE(Copy->GetDataContainer(), Source->GetDataContainer());
  }
}

TEST_F(ALAudioBuffer, BuffersTooLargeForOneBlockAreRefused) {
  // 2^31 data bytes, and sizes whose 32-bit product would wrap round to a small block.
  EXPECT_THROW(TALAudioBuffer::CreateSize(44100, 32, 32, 1u << 24), std::out_of_range);
  EXPECT_THROW(TALAudioBuffer::CreateSize(44100, 32, 65536, 16384), std::out_of_range);
  EXPECT_THROW(TALAudioBuffer::CreateSize(44100, 8, 0xFFFFFFFFu, 0xFFFFFFFFu), std::out_of_range);
}

TEST_F(ALAudioBuffer, EmptyFrameSizeGivesNoFrames) {
  for (auto Buffer : {TALAudioBuffer::CreateSize(44100, 0, 2, 256),
                      TALAudioBuffer::CreateSize(44100, 16, 0, 256)}) {
    EXPECT_EQ(Buffer->GetDataStep(), 0u);
    EXPECT_EQ(Buffer->GetSize(), 0u);
    EXPECT_EQ(Buffer->GetByteSize(), 0u);
    EXPECT_THROW(Buffer->GetSample(0, 0), std::out_of_range);
  }
}

TEST_F(ALAudioBuffer, SamplesAreReadAndWrittenByContainerWidth) {
  struct Case {
    uint32_t Bits;
    std::vector<uint8_t> Bytes;  // the second channel of frame 1
    int32_t Read;
  };
  const Case Cases[] = {
      {8, {0xFF}, 255},
      {8, {0x80}, 128},
      {16, {0xFF, 0xFF}, -1},
      {16, {0x00, 0x80}, -32768},
      {24, {0xFF, 0xFF, 0xFF}, 0xFFFFFF},  // not sign-extended
      {24, {0x56, 0x34, 0x12}, 0x123456},
      {32, {0xFE, 0xFF, 0xFF, 0xFF}, -2},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.Bits << " bits, read " << C.Read);
    auto Buffer = TALAudioBuffer::CreateSize(44100, C.Bits, 2, 3);
    uint8_t* Data = Buffer->ByteWrite();
    std::memset(Data, 0, Buffer->GetByteSize());
    const uint32_t Width = C.Bits / 8;
    std::memcpy(Data + 1 * 2 * Width + Width, C.Bytes.data(), C.Bytes.size());
    EXPECT_EQ(Buffer->GetSample(1, 1), C.Read);
    EXPECT_EQ(Buffer->GetSample(1, 0), 0);

    Buffer->SetSample(2, 0, C.Read);
    EXPECT_EQ(std::memcmp(Buffer->ByteRead() + 2 * 2 * Width, C.Bytes.data(), Width), 0);
    EXPECT_EQ(Buffer->GetSample(2, 0), C.Read);
  }
}

TEST_F(ALAudioBuffer, OutOfRangeSampleAccessNamesTheOffendingNumber) {
  auto Buffer = TALAudioBuffer::CreateSize(44100, 16, 2, 256);
  auto Receiver = TALAudioBuffer::CreateUniversal(*Buffer);
  auto Message = [](auto&& Access) -> std::string {
    try {
      Access();
    } catch (const std::out_of_range& E) {
      return E.what();
    }
    return "no error";
  };
  EXPECT_EQ(Message([&] { Buffer->GetSample(0, 2); }), "Channel out of range = 2");
  EXPECT_EQ(Message([&] { Buffer->GetSample(256, 0); }), "Index out of range = 256");
  EXPECT_EQ(Message([&] { Buffer->SetSample(0, 7, 1); }), "Channel out of range = 7");
  EXPECT_EQ(Message([&] { Buffer->SetSample(1000, 1, 1); }), "Index out of range = 1000");
  // A refused write leaves the buffer shared.
  EXPECT_EQ(Buffer->GetDataContainer(), Receiver->GetDataContainer());
  EXPECT_NO_THROW(Buffer->GetSample(255, 1));
}

TEST_F(ALAudioBuffer, SingleOwnerWritesInPlace) {
  auto Buffer = TALAudioBuffer::CreateSize(44100, 16, 2, 256);
  const uint8_t* Before = Buffer->ByteRead();
  EXPECT_EQ(Buffer->ByteWrite(), Before);
  EXPECT_EQ(Buffer->ByteModify(), Before);
  EXPECT_FALSE(Buffer->MakeUnique(true));
}

TEST_F(ALAudioBuffer, WriterGetsAPrivateCopyWhileTheOtherSideKeepsItsView) {
  for (bool CaptureWrites : {true, false})
    for (bool Modify : {true, false}) {
      SCOPED_TRACE(testing::Message() << (CaptureWrites ? "capture" : "receiver")
                                      << (Modify ? " modifies" : " writes"));
      auto Capture = TALAudioBuffer::CreateSize(44100, 16, 2, 256);
      uint8_t* Data = Capture->ByteWrite();
      for (uint32_t i = 0; i < Capture->GetByteSize(); ++i) Data[i] = static_cast<uint8_t>(i * 7);
      auto Receiver = TALAudioBuffer::CreateUniversal(*Capture);
      ASSERT_EQ(Receiver->GetDataContainer(), Capture->GetDataContainer());
      ASSERT_EQ(Receiver->ByteRead(), Capture->ByteRead());
      EXPECT_EQ(Receiver->GetSize(), 256u);
      EXPECT_EQ(Receiver->GetChannelMask().Mask(), 3u);

      auto& Writer = CaptureWrites ? Capture : Receiver;
      auto& Reader = CaptureWrites ? Receiver : Capture;
      const std::vector<uint8_t> Shared(Reader->ByteRead(),
                                        Reader->ByteRead() + Reader->GetByteSize());

      uint8_t* Private = Modify ? Writer->ByteModify() : Writer->ByteWrite();
      EXPECT_NE(Writer->GetDataContainer(), Reader->GetDataContainer());
      EXPECT_NE(Private, Reader->ByteRead());
      TALWaveFormatExtensible WriterHeader, ReaderHeader;
      Writer->GetWaveFormat(WriterHeader);
      Reader->GetWaveFormat(ReaderHeader);
      EXPECT_EQ(std::memcmp(&WriterHeader, &ReaderHeader, sizeof(WriterHeader)), 0);
      EXPECT_EQ(Writer->GetSize(), 256u);
      if (Modify) {
        EXPECT_EQ(std::memcmp(Private, Shared.data(), Shared.size()), 0);
      }

      std::memset(Private, 0x5A, Writer->GetByteSize());
      EXPECT_EQ(std::memcmp(Reader->ByteRead(), Shared.data(), Shared.size()), 0);
      // Each side is now alone on its container: no further copies.
      EXPECT_EQ(Writer->ByteWrite(), Private);
      EXPECT_FALSE(Reader->MakeUnique(true));
    }
}

TEST_F(ALAudioBuffer, ContainerLivesUntilItsLastBufferGoes) {
  auto Capture = TALAudioBuffer::CreateSize(44100, 16, 2, 256);
  auto Receiver = TALAudioBuffer::CreateCopy(*Capture);
  EXPECT_FALSE(Capture->GetDataContainer()->SingleOwner());
  Capture.reset();
  EXPECT_TRUE(Receiver->GetDataContainer()->SingleOwner());
  EXPECT_EQ(FreeBlocks(2048), 0);
  Receiver.reset();
  EXPECT_EQ(FreeBlocks(2048), 1);
}

// The capture thread hands each buffer to receivers on other threads, which wrap it, read
// it, sometimes write to it, and drop it in their own time while the capture side drops its
// own references.
TEST_F(ALAudioBuffer, ReceiversOnOtherThreadsShareAndDropBuffers) {
  constexpr int Receivers = 3;
  constexpr int Rounds = 2000;
  std::vector<std::shared_ptr<IALAudioBuffer>> Captured;
  for (int Round = 0; Round < Rounds; ++Round) {
    Captured.push_back(TALAudioBuffer::CreateSize(44100, 16, 2, 256));
    Captured.back()->SetSample(0, 0, Round);
  }
  std::atomic<int> Wrong{0};
  std::vector<std::thread> Threads;
  for (int Id = 0; Id < Receivers; ++Id)
    Threads.emplace_back([&Wrong, Id, Delivered = Captured] {
      for (int Round = 0; Round < Rounds; ++Round) {
        auto Wrapper = TALAudioBuffer::CreateUniversal(*Delivered[Round]);
        if (Wrapper->GetSample(0, 0) != static_cast<int16_t>(Round)) ++Wrong;
        if ((Round + Id) % 3 == 0) {
          Wrapper->SetSample(0, 1, Id);
          if (Wrapper->GetDataContainer() == Delivered[Round]->GetDataContainer()) ++Wrong;
        }
      }
    });
  Captured.clear();
  for (auto& Thread : Threads) Thread.join();
  EXPECT_EQ(Wrong, 0);
}

}  // namespace
