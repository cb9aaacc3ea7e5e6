#include "meter_display/lxVumeter.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <cstring>
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

// Zone 3, 2 or 1 of LED i, as 0, 1 or 2.
template <class TLook>
int Zone(const TLook& Look, int64_t i) {
  return i <= Look.B2 ? 0 : i <= Look.B1 ? 1 : 2;
}

template <class TMarks>
bool IsLit(TGraphType Graph, const TMarks& Marks, int64_t i) {
  return (Graph == gtBar ? i >= Marks.V : i == Marks.V) || i == Marks.K;
}

// The picture drawn from scratch: the background, then one solid rectangle per visible LED and
// bar, in the order of the LED index, so that where LEDs cover each other the later one shows.
template <class TLook, class TLitFn>
void DrawAllLeds(QImage& Image, const TLook& Look, TLitFn Lit) {
  QPainter painter(&Image);
  painter.fillRect(Image.rect(), ColorToQColor(Look.Background));
  for (int64_t i = Look.First; i <= Look.Last; ++i) {
    const int64_t p0 = std::max<int64_t>(Look.Base + i * Look.Step, 0);
    const int64_t p1 = std::min(Look.Base + i * Look.Step + Look.LedLength, Look.L);
    const int zone = Zone(Look, i);
    for (int b = 0; b < Look.BarCount; ++b) {
      const int64_t a0 = Look.AcrossStart[b];
      const int64_t a1 = Look.AcrossEnd[b];
      if (a1 <= a0) continue;
      const TColor color = Lit(b, i) ? Look.Lit[zone] : Look.Unlit[zone];
      const QRect r = Look.Vertical
                          ? QRect(QPoint(int(a0), int(p0)), QPoint(int(a1 - 1), int(p1 - 1)))
                          : QRect(QPoint(int(p0), int(a0)), QPoint(int(p1 - 1), int(a1 - 1)));
      painter.fillRect(r, ColorToQColor(color));
    }
  }
}

// Copies the rectangle R from Source to Target, two pictures of one size and format.
void CopyRect(QImage& Target, const QImage& Source, const QRect& R) {
  const qsizetype line = Target.bytesPerLine();
  const qsizetype offset = qsizetype{R.left()} * 4;
  const std::size_t bytes = static_cast<std::size_t>(R.width()) * 4;
  uchar* target = Target.bits();
  const uchar* source = Source.constBits();
  for (int y = R.top(); y <= R.bottom(); ++y)
    std::memcpy(target + y * line + offset, source + y * line + offset, bytes);
}

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

// A new, empty picture of the control's size; its content only matters after the next drawing.
void TlxVuMeter::RemakeBmpBuffer() {
  FBmpBuffer = QImage(size(), QImage::Format_RGB32);
  FDrawnLook.reset();
}

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
  ++FPaintCount;
  const QRect changed = UpdateImage();
  if (changed.isEmpty() || !isVisible()) return;
  // A change that follows the last one shown within one screen refresh (the other channel,
  // set right after) does not force a screen update of its own: it goes with the window's next
  // repaint, together with whatever else has changed since.
  const QScreen* s = screen();
  const double hz = s && s->refreshRate() > 0 ? s->refreshRate() : 60.0;
  if (FLastShown.isValid() && FLastShown.nsecsElapsed() < static_cast<qint64>(1e9 / hz)) {
    update(changed);
    return;
  }
  FLastShown.start();
  // repaint() paints before it returns when the control is on screen.
  repaint(changed);
}

void TlxVuMeter::paintEvent(QPaintEvent* event) {
  // A change the setters do not draw (a peak stored directly, the control enabled again).
  const QRect changed = UpdateImage();
  if (!changed.isEmpty()) {
    ++FPaintCount;
    if (!event->rect().contains(changed)) update(changed);
  }
  if (FBmpBuffer.isNull()) return;
  QPainter painter(this);
  painter.drawImage(event->rect(), FBmpBuffer, event->rect());
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

TlxVuMeter::TLook TlxVuMeter::CurrentLook() const {
  TLook k;
  k.Vertical = Forientation == voVertical;
  k.L = k.Vertical ? height() : width();
  k.T = k.Vertical ? width() : height();
  k.Background = FBackGroundColor;
  const int64_t S = int64_t{FLedLength} + FLedSpacing;
  if (S == 0 || FLedLength <= 0) return k;
  const int64_t Q = (k.L - 2 * int64_t{FExtremityMargin}) / S;
  if (Q < 0) return k;
  k.Q = Q;
  k.B2 = LedIndex(Q, FLevel2Limit);
  k.B1 = LedIndex(Q, FLevel1Limit);

  // Across-axis extent of each bar, cut to the picture; an empty or inverted extent (a control
  // thinner than its margins) draws nothing.
  const int64_t M = k.T / 2;
  const int64_t h = FCenterMargin / 2;
  if (FVuMeterType == vtStereo) {
    k.BarCount = 2;
    k.AcrossStart[0] = FBorderMargin;
    k.AcrossEnd[0] = M - h;
    k.AcrossStart[1] = M + h;
    k.AcrossEnd[1] = k.T - FBorderMargin;
  } else {
    k.BarCount = 1;
    k.AcrossStart[0] = FBorderMargin;
    k.AcrossEnd[0] = k.T - FBorderMargin;
  }
  for (int b = 0; b < k.BarCount; ++b) {
    k.AcrossStart[b] = std::max<int64_t>(k.AcrossStart[b], 0);
    k.AcrossEnd[b] = std::min(k.AcrossEnd[b], k.T);
  }

  // Only the LEDs that reach into the picture are visited, so margins far beyond the control's
  // size cannot keep a loop going for ages.
  k.LedLength = FLedLength;
  k.Base = k.Vertical ? FExtremityMargin : FExtremityMargin + Q * S;
  k.Step = k.Vertical ? S : -S;
  k.First = 0;
  k.Last = Q;
  if (k.Step > 0) {
    k.First = std::max(k.First, CeilDiv(1 - FLedLength - k.Base, k.Step));
    k.Last = std::min(k.Last, FloorDiv(k.L - 1 - k.Base, k.Step));
  } else {
    k.First = std::max(k.First, FloorDiv(k.Base - k.L, -k.Step) + 1);
    k.Last = std::min(k.Last, CeilDiv(k.Base + FLedLength, -k.Step) - 1);
  }

  k.Graph = FGraphType;
  const TColor level[3] = {FLevel3Color, FLevel2Color, FLevel1Color};
  for (int z = 0; z < 3; ++z) {
    k.Lit[z] = isEnabled() ? level[z] : FLedDisabledColor;
    k.Unlit[z] = !isEnabled()              ? FLedDisabledColor
                 : FShaddowType == stFixed ? FShaddowColor
                                           : Darken(level[z]);
  }

  const bool barsOverlap = k.BarCount == 2 && k.AcrossStart[0] < k.AcrossEnd[0] &&
                           k.AcrossStart[1] < k.AcrossEnd[1] && k.AcrossStart[1] < k.AcrossEnd[0] &&
                           k.AcrossStart[0] < k.AcrossEnd[1];
  k.Separate = FLedSpacing >= 0 && !barsOverlap;
  return k;
}

void TlxVuMeter::CurrentMarks(int64_t Q, TMarks (&Marks)[2]) const {
  switch (FVuMeterType) {
    case vtStereo:
      Marks[0] = {LedIndex(Q, FLeftValue), LedIndex(Q, FLeftPeak)};
      Marks[1] = {LedIndex(Q, FRightValue), LedIndex(Q, FRightPeak)};
      break;
    case vtMonoL: Marks[0] = {LedIndex(Q, FLeftValue), LedIndex(Q, FLeftPeak)}; break;
    case vtMonoR: Marks[0] = {LedIndex(Q, FRightValue), LedIndex(Q, FRightPeak)}; break;
    case vtMonoLR:
      Marks[0] = {LedIndex(Q, (FLeftValue + FRightValue) / 2),
                  LedIndex(Q, std::max(FLeftPeak, FRightPeak))};
      break;
  }
}

QRect TlxVuMeter::UpdateImage() {
  if (FAutoSize) ApplyAutoSize();
  // The owner may have resized the control without going through SetBounds (a layout does).
  if (FBmpBuffer.size() != size()) RemakeBmpBuffer();
  if (FBmpBuffer.isNull()) return {};

  const TLook look = CurrentLook();
  TMarks marks[2];
  if (look.Q >= 0) CurrentMarks(look.Q, marks);
  const bool sameLook = FDrawnLook == look;
  if (sameLook && marks[0] == FDrawnMarks[0] && marks[1] == FDrawnMarks[1]) return {};

  FDrawnLook = look;
  QRect changed;
  if (!look.Separate) {
    // LEDs that cover each other are only right when all are drawn in order.
    DrawAllLeds(FBmpBuffer, look, [&](int b, int64_t i) { return IsLit(look.Graph, marks[b], i); });
    changed = FBmpBuffer.rect();
  } else {
    if (FLedsLook != look) {
      if (FLitLeds.size() != FBmpBuffer.size()) {
        FLitLeds = QImage(FBmpBuffer.size(), QImage::Format_RGB32);
        FUnlitLeds = QImage(FBmpBuffer.size(), QImage::Format_RGB32);
      }
      DrawAllLeds(FLitLeds, look, [](int, int64_t) { return true; });
      DrawAllLeds(FUnlitLeds, look, [](int, int64_t) { return false; });
      FLedsLook = look;
    }
    if (!sameLook) {
      CopyRect(FBmpBuffer, FUnlitLeds, FBmpBuffer.rect());
      for (int b = 0; b < look.BarCount; ++b) DrawLedRange(b, look.First, look.Last, marks[b]);
      changed = FBmpBuffer.rect();
    } else {
      // Only the LEDs between the old and the new value, and the old and the new peak, can
      // have changed.
      for (int b = 0; b < look.BarCount; ++b) {
        const TMarks& was = FDrawnMarks[b];
        const TMarks& now = marks[b];
        if (was == now) continue;
        if (look.Graph == gtBar) {
          changed |= DrawLedRange(b, std::min(was.V, now.V), std::max(was.V, now.V) - 1, now);
        } else {
          changed |= DrawLedRange(b, was.V, was.V, now);
          changed |= DrawLedRange(b, now.V, now.V, now);
        }
        changed |= DrawLedRange(b, was.K, was.K, now);
        changed |= DrawLedRange(b, now.K, now.K, now);
      }
    }
  }
  FDrawnMarks[0] = marks[0];
  FDrawnMarks[1] = marks[1];
  return changed;
}

QRect TlxVuMeter::DrawLedRange(int Bar, int64_t From, int64_t To, const TMarks& Marks) {
  const TLook& look = *FDrawnLook;
  From = std::max(From, look.First);
  To = std::min(To, look.Last);
  QRect drawn;
  while (From <= To) {
    const bool lit = IsLit(look.Graph, Marks, From);
    int64_t end = From;
    while (end < To && IsLit(look.Graph, Marks, end + 1) == lit) ++end;
    drawn |= CopyLedRun(Bar, From, end, lit);
    From = end + 1;
  }
  return drawn;
}

// LEDs From..To of a bar as they are lit or unlit, with the gaps between them, in one block.
QRect TlxVuMeter::CopyLedRun(int Bar, int64_t From, int64_t To, bool Lit) {
  const TLook& look = *FDrawnLook;
  const int64_t a0 = look.AcrossStart[Bar];
  const int64_t a1 = look.AcrossEnd[Bar];
  if (a1 <= a0) return {};
  const int64_t pFrom = look.Base + From * look.Step;
  const int64_t pTo = look.Base + To * look.Step;
  const int64_t p0 = std::max<int64_t>(std::min(pFrom, pTo), 0);
  const int64_t p1 = std::min(std::max(pFrom, pTo) + look.LedLength, look.L);
  if (p1 <= p0) return {};
  const QRect r = look.Vertical ? QRect(QPoint(int(a0), int(p0)), QPoint(int(a1 - 1), int(p1 - 1)))
                                : QRect(QPoint(int(p0), int(a0)), QPoint(int(p1 - 1), int(a1 - 1)));
  CopyRect(FBmpBuffer, Lit ? FLitLeds : FUnlitLeds, r);
  return r;
}
