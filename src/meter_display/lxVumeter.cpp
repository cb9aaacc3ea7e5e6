#include "meter_display/lxVumeter.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <limits>

namespace {

int64_t FloorDiv(int64_t a, int64_t b) {
  const int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

int64_t CeilDiv(int64_t a, int64_t b) { return -FloorDiv(-a, b); }

int32_t ClampToInt32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// LED index of percentage p on a bar of Q + 1 LEDs: Q * (100 - p) / 100 rounded to the nearest
// integer, an exact half to the even neighbour. Peaks are unchecked and may lie anywhere;
// beyond -100 or 300 they fall off the bar just as they do at those bounds, and the clamp keeps
// the product far from overflowing.
int64_t LedIndex(int64_t Q, int32_t p) {
  const int64_t num = Q * (100 - std::clamp(p, -100, 300));
  const int64_t whole = FloorDiv(num, 100);
  const int64_t twiceRest = 2 * (num - whole * 100);
  if (twiceRest > 100 || (twiceRest == 100 && whole % 2 != 0)) return whole + 1;
  return whole;
}

// Each of the four bytes halved on its own.
TColor Darken(TColor c) { return (c >> 1) & 0x7F7F7F7Fu; }

struct TBar {
  int64_t AcrossStart, AcrossEnd;
  int64_t V, K;  // LED index of the shown value and of the shown peak
};

}  // namespace

TlxVuMeter::TlxVuMeter(QWidget* anOwner) : QWidget(anOwner) {
  // The picture covers the whole control, so the toolkit need not clear it first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  SetBounds(0, 0, 20, 196);
}

TlxVuMeter::~TlxVuMeter() = default;

void TlxVuMeter::SetMeterType(TVuMeterType Value) {
  if (Value == FVuMeterType) return;
  FVuMeterType = Value;
  Paint();
}

// The owner lays itself out again after a change of orientation, so the bounds stay as they are.
void TlxVuMeter::SetOrientation(TOrientation Value) {
  if (Value == Forientation) return;
  Forientation = Value;
  Paint();
}

void TlxVuMeter::SetShaddowType(TShaddowType Value) {
  if (Value == FShaddowType) return;
  FShaddowType = Value;
  Paint();
}

void TlxVuMeter::SetGraphType(TGraphType Value) {
  if (Value == FGraphType) return;
  FGraphType = Value;
  Paint();
}

void TlxVuMeter::SetLeftValue(int32_t Value) { SetValue(FLeftValue, FLeftPeak, Value); }

void TlxVuMeter::SetRightValue(int32_t Value) { SetValue(FRightValue, FRightPeak, Value); }

// The comparison comes before the clamp: assigning 150 to a stored 100 draws again.
void TlxVuMeter::SetValue(int32_t& Stored, int32_t& Peak, int32_t Value) {
  if (Value == Stored) return;
  Stored = std::clamp(Value, 0, 100);
  if (FPeakShow && Stored > Peak) Peak = Stored;
  Paint();
}

void TlxVuMeter::SetLedDisabledColor(TColor Value) {
  FLedDisabledColor = Value;
  Paint();
}

void TlxVuMeter::SetBackGroundColor(TColor Value) {
  FBackGroundColor = Value;
  Paint();
}

void TlxVuMeter::SetShaddowColor(TColor Value) {
  FShaddowColor = Value;
  Paint();
}

void TlxVuMeter::SetLevel1Color(TColor Value) {
  FLevel1Color = Value;
  Paint();
}

void TlxVuMeter::SetLevel2Color(TColor Value) {
  FLevel2Color = Value;
  Paint();
}

void TlxVuMeter::SetLevel3Color(TColor Value) {
  FLevel3Color = Value;
  Paint();
}

// Each limit is bounded by the other's current value, so the zones never cross.
void TlxVuMeter::SetLevel1Limit(int32_t Value) {
  FLevel1Limit = std::min(std::clamp(Value, 0, 100), FLevel2Limit);
  Paint();
}

void TlxVuMeter::SetLevel2Limit(int32_t Value) {
  FLevel2Limit = std::max(std::clamp(Value, 0, 100), FLevel1Limit);
  Paint();
}

void TlxVuMeter::SetBorderMargin(int32_t Value) {
  if (Value == FBorderMargin) return;
  FBorderMargin = Value;
  Paint();
}

void TlxVuMeter::SetCenterMargin(int32_t Value) {
  if (Value == FCenterMargin) return;
  FCenterMargin = Value;
  Paint();
}

void TlxVuMeter::SetExtremityMargin(int32_t Value) {
  if (Value == FExtremityMargin) return;
  FExtremityMargin = Value;
  Paint();
}

void TlxVuMeter::SetLedLength(int32_t Value) {
  if (Value == FLedLength) return;
  FLedLength = Value;
  Paint();
}

void TlxVuMeter::SetLedWidth(int32_t Value) {
  if (Value == FLedWidth) return;
  FLedWidth = Value;
  Paint();
}

void TlxVuMeter::SetLedSpacing(int32_t Value) {
  if (Value == FLedSpacing) return;
  FLedSpacing = Value;
  Paint();
}

void TlxVuMeter::SetAutoSize(bool Value) {
  if (Value == FAutoSize) return;
  FAutoSize = Value;
  Paint();
}

void TlxVuMeter::SetNumLeds(int32_t Value) {
  if (Value == FNumLeds) return;
  FNumLeds = std::clamp(Value, 1, 1000);
  Paint();
}

// The peak LED is drawn whatever this says; it only stops the peaks from following the values.
void TlxVuMeter::SetPeakShow(bool Value) { FPeakShow = Value; }

void TlxVuMeter::SetWidth(int32_t Value) { SetBounds(x(), y(), Value, height()); }

void TlxVuMeter::SetHeight(int32_t Value) { SetBounds(x(), y(), width(), Value); }

void TlxVuMeter::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
  setGeometry(ALeft, ATop, std::max(AWidth, 0), std::max(AHeight, 0));
  RemakeBmpBuffer();
}

// A new, empty picture of the control's size; its content only matters after the next build.
void TlxVuMeter::RemakeBmpBuffer() { FBmpBuffer = QImage(size(), QImage::Format_RGB32); }

void TlxVuMeter::LeftPeakReset() {
  FLeftPeak = FLeftValue;
  FLeftPeakResetCount = 0;
}

void TlxVuMeter::RightPeakReset() {
  FRightPeak = FRightValue;
  FRightPeakResetCount = 0;
}

void TlxVuMeter::PeakReset() {
  LeftPeakReset();
  RightPeakReset();
  Paint();
}

void TlxVuMeter::Paint() {
  BuildImage();
  // repaint() paints before it returns when the control is on screen; when it is not, the
  // next paint event builds the picture again from the current state.
  FImageIsFresh = true;
  repaint();
  FImageIsFresh = false;
}

void TlxVuMeter::paintEvent(QPaintEvent* /*event*/) {
  if (!FImageIsFresh) BuildImage();
  if (FBmpBuffer.isNull()) return;
  QPainter painter(this);
  painter.drawImage(0, 0, FBmpBuffer);
}

void TlxVuMeter::ApplyAutoSize() {
  int64_t thickness = 2 * int64_t{FBorderMargin} + 2 * int64_t{FLedWidth} + FCenterMargin;
  if (thickness % 2 != 0) ++thickness;
  const int64_t length = int64_t{FNumLeds} * FLedLength + 2 * int64_t{FExtremityMargin} +
                         (int64_t{FNumLeds} - 1) * FLedSpacing;
  if (Forientation == voVertical) {
    SetHeight(ClampToInt32(length));
    SetWidth(ClampToInt32(thickness));
  } else {
    SetHeight(ClampToInt32(thickness));
    SetWidth(ClampToInt32(length));
  }
}

void TlxVuMeter::BuildImage() {
  ++FPaintCount;
  if (FAutoSize) ApplyAutoSize();
  // The owner may have resized the control without going through SetBounds (a layout does).
  if (FBmpBuffer.size() != size()) RemakeBmpBuffer();
  if (FBmpBuffer.isNull()) return;

  QPainter painter(&FBmpBuffer);
  painter.fillRect(FBmpBuffer.rect(), ColorToQColor(FBackGroundColor));

  const bool vertical = Forientation == voVertical;
  const int64_t L = vertical ? height() : width();
  const int64_t T = vertical ? width() : height();
  const int64_t S = int64_t{FLedLength} + FLedSpacing;
  if (S == 0) return;
  const int64_t Q = (L - 2 * int64_t{FExtremityMargin}) / S;
  if (Q < 0) return;

  const int64_t b2 = LedIndex(Q, FLevel2Limit);
  const int64_t b1 = LedIndex(Q, FLevel1Limit);

  // Across-axis extent of each bar, cut to the picture; an empty or inverted extent (a control
  // thinner than its margins) draws nothing.
  const int64_t M = T / 2;
  const int64_t h = FCenterMargin / 2;
  TBar bars[2]{};
  int barCount = 1;
  switch (FVuMeterType) {
    case vtStereo:
      bars[0] = {FBorderMargin, M - h, LedIndex(Q, FLeftValue), LedIndex(Q, FLeftPeak)};
      bars[1] = {M + h, T - FBorderMargin, LedIndex(Q, FRightValue), LedIndex(Q, FRightPeak)};
      barCount = 2;
      break;
    case vtMonoL:
      bars[0] = {FBorderMargin, T - FBorderMargin, LedIndex(Q, FLeftValue), LedIndex(Q, FLeftPeak)};
      break;
    case vtMonoR:
      bars[0] = {FBorderMargin, T - FBorderMargin, LedIndex(Q, FRightValue),
                 LedIndex(Q, FRightPeak)};
      break;
    case vtMonoLR:
      bars[0] = {FBorderMargin, T - FBorderMargin, LedIndex(Q, (FLeftValue + FRightValue) / 2),
                 LedIndex(Q, std::max(FLeftPeak, FRightPeak))};
      break;
  }
  for (TBar& bar : bars) {
    bar.AcrossStart = std::max<int64_t>(bar.AcrossStart, 0);
    bar.AcrossEnd = std::min(bar.AcrossEnd, T);
  }

  // Along-axis start of LED i is base + i * step. Only the LEDs that reach into the picture
  // are visited, so margins far beyond the control's size cannot keep the loop going for ages.
  if (FLedLength <= 0) return;
  const int64_t base = vertical ? FExtremityMargin : FExtremityMargin + Q * S;
  const int64_t step = vertical ? S : -S;
  int64_t first = 0;
  int64_t last = Q;
  if (step > 0) {
    first = std::max(first, CeilDiv(1 - FLedLength - base, step));
    last = std::min(last, FloorDiv(L - 1 - base, step));
  } else {
    first = std::max(first, FloorDiv(base - L, -step) + 1);
    last = std::min(last, CeilDiv(base + FLedLength, -step) - 1);
  }

  for (int64_t i = first; i <= last; ++i) {
    const int64_t p0 = std::max<int64_t>(base + i * step, 0);
    const int64_t p1 = std::min(base + i * step + FLedLength, L);
    const TColor zoneColor = i <= b2 ? FLevel3Color : i <= b1 ? FLevel2Color : FLevel1Color;
    for (int b = 0; b < barCount; ++b) {
      const TBar& bar = bars[b];
      if (bar.AcrossEnd <= bar.AcrossStart) continue;
      const bool lit = (FGraphType == gtBar ? i >= bar.V : i == bar.V) || i == bar.K;
      TColor color;
      if (!isEnabled())
        color = FLedDisabledColor;
      else if (lit)
        color = zoneColor;
      else
        color = FShaddowType == stFixed ? FShaddowColor : Darken(zoneColor);
      const QRect r = vertical ? QRect(QPoint(int(bar.AcrossStart), int(p0)),
                                       QPoint(int(bar.AcrossEnd - 1), int(p1 - 1)))
                               : QRect(QPoint(int(p0), int(bar.AcrossStart)),
                                       QPoint(int(p1 - 1), int(bar.AcrossEnd - 1)));
      painter.fillRect(r, ColorToQColor(color));
    }
  }
}
