#pragma once
// Makes an input that sends nothing read as silence. The meter only speaks when its value changes,
// so without this a device that went away, stalled or was never there would leave the bars and
// readouts at their last values, exactly what a steady signal looks like. When the capture has
// handed on no audio for half a second, both bars and the current readouts fall to zero; the
// peak memory stays as the user left it. Before any input has been measured at all, the readouts
// are left empty rather than showing values that nothing measured. Once audio flows again, the
// display takes up the meter's values.

#include "capture/SLSmartBufferManager.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <optional>

class TfmMain;

class TSilenceWatch final : public QObject {
public:
  // As often as the window's buffer-pool timer, so that the two wake the program together.
  static constexpr std::chrono::milliseconds Tick{TSLSmartBufferManager::TickInterval};
  static constexpr std::chrono::milliseconds SilentAfter{500};
  // Long enough for the meter to have measured a block of the new audio.
  static constexpr std::chrono::milliseconds MeasuringAfter{200};

  explicit TSilenceWatch(TfmMain& Form);

  // After the window's creation.
  void Start();

private:
  using TClock = std::chrono::steady_clock;
  enum class TShown { Design, Measuring, Silent, Nothing };

  void Check();
  void ShowMeterValues();
  void ShowSilence();
  void ShowNothing();
  double FullScale();

  TfmMain& FForm;
  QTimer FTimer;
  TShown FShown = TShown::Design;
  uint64_t FDelivered = 0;
  bool FEverHeard = false;
  bool FHeardSinceShown = false;
  TClock::time_point FLastAudio;
  std::optional<TClock::time_point> FAudioSince;
};
