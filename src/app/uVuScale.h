#pragma once

#include <QWidget>

#include <cstdint>
#include <vector>

class TlxVuMeter;

// A scale in dB along the LED meter's bars, beside it: a mark at the LED that a level of that
// many dBFS lights, labelled in the window's dBFS convention (that of the readouts). It follows
// the meter's orientation and length; labels are as many as fit, rounder values first.
class TVuScale : public QWidget {
  Q_OBJECT

public:
  // Its size across the bars: below a horizontal meter, right of a vertical one.
  static constexpr int32_t Thickness(bool Vertical) { return Vertical ? 28 : 16; }

  TVuScale(TlxVuMeter* Meter, QWidget* Parent);

  // The largest level of the captured format (32767 for 16-bit samples).
  void SetFullScale(double AMax);
  double FullScale() const { return FFullScale; }

  struct TMark {
    int32_t dB;
    int32_t Led;    // the meter's LED index, 0 at full scale
    int32_t Pixel;  // centre of that LED along the bars, in the meter's coordinates
  };
  // The marks drawn for the meter's present size and orientation.
  std::vector<TMark> Marks() const;

protected:
  void paintEvent(QPaintEvent* Event) override;

private:
  TlxVuMeter* FMeter;
  double FFullScale = 32767;
};
