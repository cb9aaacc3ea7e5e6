#pragma once

#include <cstdint>

class TfmMain;

// How the meter is shown and the peak memory behind the peak readouts.
struct TVuState {
  bool Vertical = false;
  bool DotMode = false;
  int32_t Margin = 0;        // pixels of the client area around the meter, both sides together
  double PeakMemLeft = 0.0;  // largest trimmed level since the last reset, in sample units
  double PeakMemRight = 0.0;
};

extern TVuState VuState;

// Turns the window through a quarter: its client width and height are swapped, the meter takes
// the orientation asked for, and the window is kept on its screen.
void SetVuVertical(TfmMain& Form, bool Vertical);
// Shows the meter in an orientation without changing the window's size.
void ShowVuOrientation(TfmMain& Form, bool Vertical);
void SetVuDotMode(TfmMain& Form, bool Dot);
// Brings the LED peaks down to the current values, clears the peak memory and puts out the
// clip lamps.
void ResetPeaks(TfmMain& Form);
// The same for one channel (0 left, 1 right).
void ResetChannelPeak(TfmMain& Form, int32_t Channel);
