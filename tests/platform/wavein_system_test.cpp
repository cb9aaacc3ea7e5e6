// The layer's choice of backend when no sound server answers: the sound cards' own, here with a
// libasound configuration that defines nothing.

#include <gtest/gtest.h>

#include <cstdlib>

#include "AlsaTestSupport.h"
#include "WaveInTestSupport.h"
#include "platform/PulseWaveIn.h"
#include "platform/WaveInBackend.h"

namespace {

TEST(SystemWaveIn, WithoutAServerTheSoundCardsAreAskedDirectly) {
  ASSERT_EQ(setenv("PULSE_SERVER", "unix:/nonexistent/stereolux/native", 1), 0);
  EXPECT_EQ(PulseWaveInBackend::Connect(), nullptr);
  AlsaConfig config;
  config.Use("");

  SetWaveInBackend(nullptr);  // the next call picks the system's backend
  EXPECT_EQ(waveInGetNumDevs(), 0u);
  WAVEINCAPS caps{};
  EXPECT_EQ(waveInGetDevCaps(0, &caps, sizeof caps), MMSYSERR_BADDEVICEID);
  HWAVEIN h = 1;
  const auto format = MakeFormat(2, 44100, 16);
  // This configuration has no "default" device: there is nothing to record from.
  EXPECT_EQ(waveInOpen(&h, WAVE_MAPPER, AsFormat(format), &Notifications::Callback, 0,
                       CALLBACK_FUNCTION | WAVE_ALLOWSYNC),
            MMSYSERR_NODRIVER);
  EXPECT_EQ(h, 0);
  EXPECT_EQ(waveInStart(h), MMSYSERR_INVALHANDLE);
}

}  // namespace
