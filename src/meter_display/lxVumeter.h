#pragma once

#include "meter_display/lxColors.h"

#include <QElapsedTimer>
#include <QImage>
#include <QWidget>

#include <cstdint>
#include <optional>

enum TVuMeterType { vtStereo, vtMonoL, vtMonoR, vtMonoLR };
enum TOrientation { voVertical, voHorizontal };
enum TShaddowType { stFixed, stDarkLevelColor };
enum TGraphType { gtBar, gtSpot };

// LED bar-graph control: one or two bars driven by percentages (0..100), a peak mark per bar,
// three colour zones split by two limits, bar or dot display, vertical or horizontal.
// Every change that alters the picture is drawn at once into an off-screen image, which then
// goes to the screen in one copy, so no half-drawn meter is ever visible. The image is kept in
// step with the properties: a change of value or peak copies only the LEDs whose state changed
// from pictures of the bars fully lit and fully unlit, which are made again only when the size
// or anything else of the look changes. Main thread only.
class TlxVuMeter : public QWidget {
  Q_OBJECT

public:
  explicit TlxVuMeter(QWidget* anOwner = nullptr);
  ~TlxVuMeter() override;

  TVuMeterType MeterType() const { return FVuMeterType; }
  void SetMeterType(TVuMeterType Value);
  TOrientation Orientation() const { return Forientation; }
  void SetOrientation(TOrientation Value);
  TShaddowType ShaddowType() const { return FShaddowType; }
  void SetShaddowType(TShaddowType Value);
  TGraphType GraphType() const { return FGraphType; }
  void SetGraphType(TGraphType Value);

  int32_t LeftValue() const { return FLeftValue; }
  void SetLeftValue(int32_t Value);
  int32_t RightValue() const { return FRightValue; }
  void SetRightValue(int32_t Value);

  TColor LedDisabledColor() const { return FLedDisabledColor; }
  void SetLedDisabledColor(TColor Value);
  TColor BackGroundColor() const { return FBackGroundColor; }
  void SetBackGroundColor(TColor Value);
  TColor ShaddowColor() const { return FShaddowColor; }
  void SetShaddowColor(TColor Value);
  TColor Level1Color() const { return FLevel1Color; }
  void SetLevel1Color(TColor Value);
  TColor Level2Color() const { return FLevel2Color; }
  void SetLevel2Color(TColor Value);
  TColor Level3Color() const { return FLevel3Color; }
  void SetLevel3Color(TColor Value);

  int32_t Level1Limit() const { return FLevel1Limit; }
  void SetLevel1Limit(int32_t Value);
  int32_t Level2Limit() const { return FLevel2Limit; }
  void SetLevel2Limit(int32_t Value);

  int32_t BorderMargin() const { return FBorderMargin; }
  void SetBorderMargin(int32_t Value);
  int32_t CenterMargin() const { return FCenterMargin; }
  void SetCenterMargin(int32_t Value);
  int32_t ExtremityMargin() const { return FExtremityMargin; }
  void SetExtremityMargin(int32_t Value);
  int32_t LedLength() const { return FLedLength; }
  void SetLedLength(int32_t Value);
  int32_t LedWidth() const { return FLedWidth; }
  void SetLedWidth(int32_t Value);
  int32_t LedSpacing() const { return FLedSpacing; }
  void SetLedSpacing(int32_t Value);

  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool Value);
  int32_t NumLeds() const { return FNumLeds; }
  void SetNumLeds(int32_t Value);
  bool PeakShow() const { return FPeakShow; }
  void SetPeakShow(bool Value);

  // Peaks and reset counters are plain fields: storing them draws nothing.
  int32_t LeftPeak() const { return FLeftPeak; }
  void SetLeftPeak(int32_t Value) { FLeftPeak = Value; }
  int32_t RightPeak() const { return FRightPeak; }
  void SetRightPeak(int32_t Value) { FRightPeak = Value; }
  int32_t LeftPeakResetCount() const { return FLeftPeakResetCount; }
  void SetLeftPeakResetCount(int32_t Value) { FLeftPeakResetCount = Value; }
  int32_t RightPeakResetCount() const { return FRightPeakResetCount; }
  void SetRightPeakResetCount(int32_t Value) { FRightPeakResetCount = Value; }

  // Width and Height go through SetBounds, like every bounds change made by the owner.
  int32_t Width() const { return width(); }
  void SetWidth(int32_t Value);
  int32_t Height() const { return height(); }
  void SetHeight(int32_t Value);
  // Sizes below zero are taken as zero.
  void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight);

  void LeftPeakReset();
  void RightPeakReset();
  void PeakReset();

  // Brings the picture up to date and puts what changed on screen now, without waiting for
  // the event loop; when this control last did so less than one screen refresh ago, what
  // changed goes with the window's next repaint instead.
  void Paint();

  // The off-screen picture as last drawn, and how many times it has been drawn.
  const QImage& BmpBuffer() const { return FBmpBuffer; }
  int PaintCount() const { return FPaintCount; }

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  // Everything that places and colours the LEDs, bar the values and the peaks.
  struct TLook {
    bool Vertical = false;
    int64_t L = 0, T = 0;  // length along the bars, thickness across them
    int64_t Q = -1;        // index of the last LED; negative when none is drawn
    int64_t B1 = 0, B2 = 0;
    // Along-axis start of LED i is Base + i * Step; LEDs First..Last reach into the picture.
    int64_t Base = 0, Step = 0, First = 0, Last = -1;
    int64_t LedLength = 0;
    int BarCount = 0;
    int64_t AcrossStart[2]{}, AcrossEnd[2]{};
    TGraphType Graph = gtBar;
    TColor Background = 0;
    TColor Lit[3]{}, Unlit[3]{};  // by zone, zone 3 first
    // No LED covers another, so each can be drawn on its own.
    bool Separate = false;
    bool operator==(const TLook&) const = default;
  };
  // LED indices of the shown value and the shown peak of one bar.
  struct TMarks {
    int64_t V = 0, K = 0;
    bool operator==(const TMarks&) const = default;
  };

  void RemakeBmpBuffer();
  // Draws into the picture what differs from the properties and returns the area it changed.
  QRect UpdateImage();
  // Draws LEDs From..To of a bar as Marks light them, run by run; returns the area drawn.
  QRect DrawLedRange(int Bar, int64_t From, int64_t To, const TMarks& Marks);
  QRect CopyLedRun(int Bar, int64_t From, int64_t To, bool Lit);
  TLook CurrentLook() const;
  void CurrentMarks(int64_t Q, TMarks (&Marks)[2]) const;
  void ApplyAutoSize();
  void SetValue(int32_t& Stored, int32_t& Peak, int32_t Value);

  TVuMeterType FVuMeterType = vtStereo;
  TOrientation Forientation = voVertical;
  TShaddowType FShaddowType = stDarkLevelColor;
  TGraphType FGraphType = gtBar;
  QImage FBmpBuffer;
  TColor FLedDisabledColor = clSilver;
  TColor FBackGroundColor = clBlack;
  TColor FShaddowColor = clGray;
  TColor FLevel1Color = clLime;
  TColor FLevel2Color = clYellow;
  TColor FLevel3Color = clRed;
  int32_t FLevel1Limit = 75;
  int32_t FLevel2Limit = 92;
  int32_t FLeftValue = 1;
  int32_t FRightValue = 1;
  int32_t FLeftPeak = 0;
  int32_t FRightPeak = 0;
  int32_t FLeftPeakResetCount = 0;
  int32_t FRightPeakResetCount = 0;
  int32_t FBorderMargin = 3;
  int32_t FCenterMargin = 4;
  int32_t FExtremityMargin = 3;
  int32_t FLedLength = 10;
  int32_t FLedWidth = 5;
  int32_t FLedSpacing = 2;
  bool FAutoSize = false;
  int32_t FNumLeds = 16;
  bool FPeakShow = true;

  int FPaintCount = 0;
  // What the picture shows; no look while it is fresh and empty.
  std::optional<TLook> FDrawnLook;
  TMarks FDrawnMarks[2];
  // Every LED of every bar lit, and every one unlit, in the look they were made for.
  std::optional<TLook> FLedsLook;
  QImage FLitLeds, FUnlitLeds;
  // When a change was last put on screen at once.
  QElapsedTimer FLastShown;
};
