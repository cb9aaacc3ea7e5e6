#pragma once

#include "meter_display/lxColors.h"

#include <QImage>
#include <QWidget>

#include <cstdint>

enum TVuMeterType { vtStereo, vtMonoL, vtMonoR, vtMonoLR };
enum TOrientation { voVertical, voHorizontal };
enum TShaddowType { stFixed, stDarkLevelColor };
enum TGraphType { gtBar, gtSpot };

// LED bar-graph control: one or two bars driven by percentages (0..100), a peak mark per bar,
// three colour zones split by two limits, bar or dot display, vertical or horizontal.
// Every change that alters the picture redraws the whole control at once: the picture is
// rebuilt in an off-screen image and copied to the screen in one go, so no half-drawn meter
// is ever visible. Main thread only.
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

  // Rebuilds the picture and puts it on screen now, without waiting for the event loop.
  void Paint();

  // The off-screen picture as last built, and how many times it has been built.
  const QImage& BmpBuffer() const { return FBmpBuffer; }
  int PaintCount() const { return FPaintCount; }

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  void RemakeBmpBuffer();
  void BuildImage();
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
  // Set while Paint() hands its freshly built picture to the paint event, which would
  // otherwise build it a second time.
  bool FImageIsFresh = false;
};
