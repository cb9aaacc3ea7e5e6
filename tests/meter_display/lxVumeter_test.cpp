#include "meter_display/lxVumeter.h"

#include <QApplication>
#include <QPixmap>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <limits>
#include <memory>
#include <random>
#include <string>

namespace {

// The application lives from before the first test until after the last one, and goes before
// the program's static objects do.
class QtEnvironment : public ::testing::Environment {
public:
  void SetUp() override { app = std::make_unique<QApplication>(argc, argv); }
  void TearDown() override { app.reset(); }

private:
  int argc = 1;
  char name[15] = "lxVumeter_test";
  char* argv[2] = {name, nullptr};
  std::unique_ptr<QApplication> app;
};

const auto* const qtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

QRgb Rgb(int r, int g, int b) { return qRgb(r, g, b); }

// One letter per colour the meter draws with its default colours: capitals for lit LEDs,
// small letters for the darkened unlit ones.
char ColorLetter(QRgb c) {
  struct Named {
    QRgb rgb;
    char letter;
  };
  static const Named names[] = {
      {Rgb(0, 255, 0), 'G'},     {Rgb(255, 255, 0), 'Y'},   {Rgb(255, 0, 0), 'R'},
      {Rgb(0, 127, 0), 'g'},     {Rgb(127, 127, 0), 'y'},   {Rgb(127, 0, 0), 'r'},
      {Rgb(128, 128, 128), 's'}, {Rgb(192, 192, 192), 'd'}, {Rgb(0, 0, 0), '.'},
  };
  for (const Named& n : names)
    if (n.rgb == (c | 0xFF000000u)) return n.letter;
  return '?';
}

// The colour filling r, or 0x01000000 when r holds more than one colour or leaves the image.
QRgb UniformColor(const QImage& img, const QRect& r) {
  if (!img.rect().contains(r) || r.isEmpty()) return 0x01000000u;
  const QRgb first = img.pixel(r.topLeft()) | 0xFF000000u;
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x)
      if ((img.pixel(x, y) | 0xFF000000u) != first) return 0x01000000u;
  return first;
}

// Reads LEDs 0..count-1 of one bar: each must be a solid block of one known colour.
std::string ReadBar(const QImage& img, int count, const std::function<QRect(int)>& ledRect) {
  std::string s;
  for (int i = 0; i < count; ++i) s += ColorLetter(UniformColor(img, ledRect(i)));
  return s;
}

// The 20 x 196 vertical meter: LED i covers rows 3 + 12 i .. 12 i + 12; the left bar columns
// 3..7, the right bar 12..16, a single bar 3..16.
QRect LeftLed(int i) { return QRect(QPoint(3, 3 + 12 * i), QPoint(7, 12 + 12 * i)); }
QRect RightLed(int i) { return QRect(QPoint(12, 3 + 12 * i), QPoint(16, 12 + 12 * i)); }
QRect MonoLed(int i) { return QRect(QPoint(3, 3 + 12 * i), QPoint(16, 12 + 12 * i)); }

int CountColor(const QImage& img, QRgb c) {
  int n = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) n += (img.pixel(x, y) | 0xFF000000u) == c;
  return n;
}

class VuMeterTest : public ::testing::Test {
protected:
  std::string Left() const { return ReadBar(meter.BmpBuffer(), 16, LeftLed); }
  std::string Right() const { return ReadBar(meter.BmpBuffer(), 16, RightLed); }
  std::string Mono() const { return ReadBar(meter.BmpBuffer(), 16, MonoLed); }

  TlxVuMeter meter;
};

TEST_F(VuMeterTest, DefaultPictureHasTwoBarsOfSixteenLedsOnTheBackground) {
  ASSERT_EQ(meter.BmpBuffer().size(), QSize(20, 196));
  meter.Paint();
  const QImage& img = meter.BmpBuffer();
  const QRgb black = Rgb(0, 0, 0);

  // Columns outside the bars, the gaps between LEDs and the leftover rows at the bottom.
  for (int x : {0, 1, 2, 8, 9, 10, 11, 17, 18, 19})
    EXPECT_EQ(UniformColor(img, QRect(x, 0, 1, 196)), black) << "column " << x;
  EXPECT_EQ(UniformColor(img, QRect(0, 0, 20, 3)), black);
  for (int i = 0; i < 15; ++i)
    EXPECT_EQ(UniformColor(img, QRect(0, 13 + 12 * i, 20, 2)), black) << "gap after LED " << i;
  EXPECT_EQ(UniformColor(img, QRect(0, 193, 20, 3)), black);

  // Values 1 and peaks 0 light only the zero-end LED; zones 3 | 2 | 1 split after LEDs 1 and 4.
  EXPECT_EQ(Left(), "rryyyggggggggggG");
  EXPECT_EQ(Right(), "rryyyggggggggggG");
}

TEST_F(VuMeterTest, PaintPutsTheWholeImageOnScreen) {
  meter.SetLeftValue(60);
  const QImage screen = meter.grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(screen, meter.BmpBuffer());
}

// The main window's first bounds: horizontal, 441 x 81, spacing 1. Q = 39, so LED i starts at
// x = 3 + 11 (39 - i); LED 0 would end at 442 and loses its last column to the edge.
TEST_F(VuMeterTest, HorizontalMainWindowLayoutHasFortyLedsAndLeftChannelOnTop) {
  meter.SetBounds(8, 8, 441, 81);
  meter.SetOrientation(voHorizontal);
  meter.SetLedSpacing(1);
  meter.SetPeakShow(false);
  meter.SetLeftValue(0);
  meter.SetRightValue(0);
  meter.SetLeftPeak(70);
  meter.SetRightPeak(75);
  meter.Paint();
  const QImage& img = meter.BmpBuffer();
  ASSERT_EQ(img.size(), QSize(441, 81));

  // Upper bar 3 <= y < 38 (left channel), lower bar 42 <= y < 78; LED 0 clipped to 432..440.
  auto upper = [](int i) {
    return QRect(QPoint(3 + 11 * (39 - i), 3), QPoint(std::min(12 + 11 * (39 - i), 440), 37));
  };
  auto lower = [](int i) {
    return QRect(QPoint(3 + 11 * (39 - i), 42), QPoint(std::min(12 + 11 * (39 - i), 440), 77));
  };
  // b2 = 3 and b1 = 10; the stored peaks stay lit although PeakShow is off: idx(70) = 12 above,
  // idx(75) = 10 below.
  const std::string r(4, 'r');
  EXPECT_EQ(ReadBar(img, 40, upper), r + std::string(7, 'y') + "gG" + std::string(26, 'g') + "G");
  EXPECT_EQ(ReadBar(img, 40, lower), r + std::string(6, 'y') + "Y" + std::string(28, 'g') + "G");
  EXPECT_EQ(UniformColor(img, QRect(0, 38, 441, 4)), Rgb(0, 0, 0)) << "gap between the bars";
  EXPECT_EQ(UniformColor(img, QRect(0, 78, 441, 3)), Rgb(0, 0, 0));
  EXPECT_EQ(UniformColor(img, QRect(0, 0, 3, 81)), Rgb(0, 0, 0)) << "left extremity margin";
}

TEST_F(VuMeterTest, ValueIndexRoundsExactHalvesToEven) {
  struct Case {
    int length;  // 196 gives Q = 15, 313 gives Q = 25
    int value;
    std::string lit;  // bar mode; the peak follows the value
  };
  // Q = 25: zone 3 is LEDs 0..2 (idx(92) = 2), zone 2 LEDs 3..6 (idx(75) = 6.25 -> 6).
  const std::string lit25 = std::string(19, 'G');
  const Case cases[] = {
      {196, 50, "rryyyggg" + std::string(8, 'G')},     // 7.5 -> 8: 8 of 16
      {196, 51, "rryyygg" + std::string(9, 'G')},      // 7.35 -> 7
      {196, 100, "RRYYY" + std::string(11, 'G')},      // idx(100) = 0
      {196, 0, "rryyy" + std::string(10, 'g') + "G"},  // a value of 0 still lights the zero-end LED
      {313, 98, "RRRYYYY" + lit25},                    // 0.5 -> 0: all 26 lit
      {313, 94, "rrRYYYY" + lit25},                    // 1.5 -> 2
      {313, 90, "rrRYYYY" + lit25},                    // 2.5 -> 2
      {313, 86, "rrryYYY" + lit25},                    // 3.5 -> 4
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "length " << c.length << ", value " << c.value);
    TlxVuMeter m;
    m.SetHeight(c.length);
    m.SetLeftValue(c.value);  // draws
    m.SetMeterType(vtMonoL);
    const int count = static_cast<int>(c.lit.size());
    EXPECT_EQ(ReadBar(m.BmpBuffer(), count, MonoLed), c.lit);
  }
}

TEST_F(VuMeterTest, DotModeLightsTheValueAndThePeakOnly) {
  meter.SetGraphType(gtSpot);
  meter.SetLeftValue(50);  // LED 8, peak follows to 50
  meter.SetRightValue(50);
  meter.SetRightValue(20);  // LED 12, peak stays at 50 (LED 8)
  EXPECT_EQ(Left(), "rryyygggGggggggg");
  EXPECT_EQ(Right(), "rryyygggGgggGggg");
  EXPECT_EQ(CountColor(meter.BmpBuffer(), Rgb(0, 255, 0)), 3 * 50) << "three lit LEDs of 5 x 10";

  meter.SetLeftValue(0);
  meter.SetLeftPeak(0);
  meter.Paint();
  EXPECT_EQ(Left(), "rryyyggggggggggG");
}

TEST_F(VuMeterTest, MonoTypesDrawOneBarAcrossTheWholeThickness) {
  meter.SetLeftValue(100);
  meter.SetRightValue(50);
  meter.SetLeftPeak(20);   // LED 12
  meter.SetRightPeak(75);  // LED 4

  meter.SetMeterType(vtMonoL);
  EXPECT_EQ(Mono(), "RRYYYGGGGGGGGGGG");
  meter.SetMeterType(vtMonoR);
  EXPECT_EQ(Mono(), "rryyYgggGGGGGGGG");
  // Values 100 and 50 average to 75 (LED 4); the higher peak (75) is on that same LED.
  meter.SetGraphType(gtSpot);
  meter.SetMeterType(vtMonoLR);
  EXPECT_EQ(Mono(), "rryyYggggggggggg");
  meter.SetLeftValue(51);
  meter.SetRightValue(50);  // (51 + 50) div 2 = 50: LED 8, where 51 would be LED 7
  EXPECT_EQ(Mono(), "rryyYgggGggggggg");

  const QImage& img = meter.BmpBuffer();
  for (int x : {0, 1, 2, 17, 18, 19})
    EXPECT_EQ(UniformColor(img, QRect(x, 0, 1, 196)), Rgb(0, 0, 0)) << "column " << x;
}

TEST_F(VuMeterTest, UnlitLedsAreFixedShadowOrTheirZoneColourHalvedBytewise) {
  meter.SetLeftValue(50);
  meter.SetShaddowType(stFixed);
  EXPECT_EQ(Left(), "ssssssssGGGGGGGG");

  meter.SetShaddowType(stDarkLevelColor);
  // Odd bytes lose their low bit without borrowing from the neighbouring byte.
  meter.SetLevel1Color(RGBToColor(201, 3, 77));
  meter.SetLevel3Color(RGBToColor(255, 128, 1));
  const QImage& img = meter.BmpBuffer();
  EXPECT_EQ(UniformColor(img, LeftLed(5)), Rgb(100, 1, 38));
  EXPECT_EQ(UniformColor(img, LeftLed(0)), Rgb(127, 64, 0));
  EXPECT_EQ(UniformColor(img, LeftLed(8)), Rgb(201, 3, 77));
}

TEST_F(VuMeterTest, DisabledControlDrawsEveryLedInTheDisabledColour) {
  meter.SetLeftValue(80);
  meter.setEnabled(false);
  meter.Paint();
  EXPECT_EQ(Left(), "dddddddddddddddd");
  EXPECT_EQ(Right(), "dddddddddddddddd");
  EXPECT_EQ(CountColor(meter.BmpBuffer(), Rgb(192, 192, 192)), 2 * 16 * 50);
  EXPECT_EQ(CountColor(meter.BmpBuffer(), Rgb(0, 0, 0)), 20 * 196 - 2 * 16 * 50);

  meter.SetLedDisabledColor(clLime);
  EXPECT_EQ(Left(), "GGGGGGGGGGGGGGGG");

  // Enabling again is drawn at the next paint the toolkit asks for.
  meter.setEnabled(true);
  const QImage screen = meter.grab().toImage();
  EXPECT_EQ(ReadBar(screen, 16, LeftLed), "rryYYGGGGGGGGGGG");
}

TEST_F(VuMeterTest, AutoSizeFitsNumLedsInBothOrientations) {
  meter.SetBounds(0, 0, 50, 50);
  meter.SetAutoSize(true);
  EXPECT_EQ(meter.Width(), 20);
  EXPECT_EQ(meter.Height(), 196);
  EXPECT_EQ(meter.BmpBuffer().size(), QSize(20, 196));
  EXPECT_EQ(Left(), "rryyyggggggggggG");

  meter.SetOrientation(voHorizontal);
  EXPECT_EQ(meter.Width(), 196);
  EXPECT_EQ(meter.Height(), 20);
  // Horizontal: LED 15 (zero end) at the left, LED 0 ending at 196 - 3.
  auto upper = [](int i) {
    return QRect(QPoint(3 + 12 * (15 - i), 3), QPoint(12 + 12 * (15 - i), 7));
  };
  EXPECT_EQ(ReadBar(meter.BmpBuffer(), 16, upper), "rryyyggggggggggG");
  EXPECT_EQ(UniformColor(meter.BmpBuffer(), QRect(193, 0, 3, 20)), Rgb(0, 0, 0));

  // Without spacing the fitted length holds one more LED than NumLeds.
  meter.SetNumLeds(5);
  meter.SetLedSpacing(0);
  EXPECT_EQ(meter.Width(), 56);
  // Q = 5, so LED 0 starts at 53 and is cut at the edge.
  auto tight = [](int i) {
    return QRect(QPoint(3 + 10 * (5 - i), 3), QPoint(std::min(12 + 10 * (5 - i), 55), 7));
  };
  EXPECT_EQ(ReadBar(meter.BmpBuffer(), 6, tight), "rygggG");
}

TEST_F(VuMeterTest, OddCenterMarginWidensAutoSizeToEvenAndBarsToSixPixels) {
  meter.SetAutoSize(true);
  meter.SetCenterMargin(5);
  ASSERT_EQ(meter.Width(), 22);
  const QImage& img = meter.BmpBuffer();
  for (int x : {0, 1, 2, 9, 10, 11, 12, 19, 20, 21})
    EXPECT_EQ(UniformColor(img, QRect(x, 0, 1, 196)), Rgb(0, 0, 0)) << "column " << x;
  EXPECT_EQ(UniformColor(img, QRect(QPoint(3, 183), QPoint(8, 192))), Rgb(0, 255, 0));
  EXPECT_EQ(UniformColor(img, QRect(QPoint(13, 183), QPoint(18, 192))), Rgb(0, 255, 0));
}

TEST_F(VuMeterTest, OrientationChangeKeepsTheBoundsAtRunTime) {
  meter.SetOrientation(voHorizontal);
  EXPECT_EQ(meter.Width(), 20);
  EXPECT_EQ(meter.Height(), 196);
  // 20 px long: Q = 14 div 12 = 1, two LEDs along x; 196 thick: M = 98, bars 3..95 and 100..192.
  const QImage& img = meter.BmpBuffer();
  EXPECT_EQ(UniformColor(img, QRect(QPoint(3, 3), QPoint(12, 95))), Rgb(0, 255, 0));
  EXPECT_EQ(UniformColor(img, QRect(QPoint(15, 3), QPoint(19, 95))), Rgb(127, 0, 0));
  EXPECT_EQ(UniformColor(img, QRect(QPoint(3, 100), QPoint(12, 192))), Rgb(0, 255, 0));
}

TEST_F(VuMeterTest, ValuesAreClampedAndEqualValuesDrawNothing) {
  int paints = meter.PaintCount();
  meter.SetLeftValue(1);  // unchanged
  EXPECT_EQ(meter.PaintCount(), paints);

  meter.SetLeftValue(150);
  EXPECT_EQ(meter.LeftValue(), 100);
  EXPECT_EQ(meter.PaintCount(), ++paints);
  // Compared before clamping: 150 again differs from the stored 100 and draws again.
  meter.SetLeftValue(150);
  EXPECT_EQ(meter.PaintCount(), ++paints);
  meter.SetLeftValue(100);
  EXPECT_EQ(meter.PaintCount(), paints);

  meter.SetRightValue(-5);
  EXPECT_EQ(meter.RightValue(), 0);
  EXPECT_EQ(meter.PaintCount(), ++paints);
  EXPECT_EQ(Right(), "rryyyggggggggggG");
}

TEST_F(VuMeterTest, PeaksFollowRisingValuesOnlyWhilePeakShowIsOn) {
  meter.SetLeftValue(60);
  meter.SetLeftValue(30);
  EXPECT_EQ(meter.LeftPeak(), 60);

  const int paints = meter.PaintCount();
  meter.SetPeakShow(false);
  EXPECT_EQ(meter.PaintCount(), paints);
  meter.SetLeftValue(90);
  meter.SetRightValue(90);
  EXPECT_EQ(meter.LeftPeak(), 60);
  EXPECT_EQ(meter.RightPeak(), 0);

  meter.SetLeftValue(0);
  EXPECT_EQ(Left(), "rryyygGggggggggG") << "the stored peak (LED 6) stays lit";
}

TEST_F(VuMeterTest, PeakResetBringsPeaksDownToTheCurrentValues) {
  meter.SetLeftValue(90);
  meter.SetLeftValue(40);
  meter.SetRightValue(70);
  meter.SetLeftPeakResetCount(3);
  meter.SetRightPeakResetCount(4);

  int paints = meter.PaintCount();
  meter.LeftPeakReset();
  EXPECT_EQ(meter.LeftPeak(), 40);
  EXPECT_EQ(meter.LeftPeakResetCount(), 0);
  EXPECT_EQ(meter.RightPeakResetCount(), 4);
  EXPECT_EQ(meter.PaintCount(), paints);

  meter.SetLeftPeak(90);
  meter.SetRightValue(20);
  meter.PeakReset();
  EXPECT_EQ(meter.PaintCount(), paints + 2);
  EXPECT_EQ(meter.LeftPeak(), 40);
  EXPECT_EQ(meter.RightPeak(), 20);
  EXPECT_EQ(meter.LeftPeakResetCount(), 0);
  EXPECT_EQ(meter.RightPeakResetCount(), 0);
  EXPECT_EQ(Left(), "rryyyggggGGGGGGG");
}

TEST_F(VuMeterTest, LimitsAreClampedAndNeverCross) {
  struct Case {
    bool first;  // which limit is set
    int value;
    int limit1, limit2;  // expected afterwards, from 75 / 92
  };
  const Case cases[] = {
      {true, 95, 92, 92},    {false, 50, 75, 75}, {true, -20, 0, 92},
      {false, 300, 75, 100}, {true, 10, 10, 92},  {false, 95, 75, 95},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << (c.first ? "Level1Limit := " : "Level2Limit := ") << c.value);
    TlxVuMeter m;
    const int paints = m.PaintCount();
    c.first ? m.SetLevel1Limit(c.value) : m.SetLevel2Limit(c.value);
    EXPECT_EQ(m.Level1Limit(), c.limit1);
    EXPECT_EQ(m.Level2Limit(), c.limit2);
    EXPECT_EQ(m.PaintCount(), paints + 1);
  }

  // Equal limits leave zone 2 empty: both boundaries at idx(92) = 1.
  meter.SetLevel1Limit(95);
  EXPECT_EQ(Left(), "rr" + std::string(13, 'g') + "G");
}

TEST_F(VuMeterTest, NumLedsIsClampedAndOnlyShapesTheAutoSize) {
  meter.SetNumLeds(0);
  EXPECT_EQ(meter.NumLeds(), 1);
  meter.SetNumLeds(5000);
  EXPECT_EQ(meter.NumLeds(), 1000);
  const int paints = meter.PaintCount();
  meter.SetNumLeds(5000);
  EXPECT_EQ(meter.PaintCount(), paints + 1) << "5000 differs from the stored 1000";
  meter.SetNumLeds(1000);
  EXPECT_EQ(meter.PaintCount(), paints + 1);

  meter.SetNumLeds(3);
  EXPECT_EQ(meter.Height(), 196);
  EXPECT_EQ(Left(), "rryyyggggggggggG");
}

TEST_F(VuMeterTest, SettersRedrawOnlyWhereTheyChangeSomething) {
  struct Setter {
    const char* name;
    std::function<void(TlxVuMeter&)> assignCurrent;
    bool redraws;
  };
  const Setter setters[] = {
      {"MeterType", [](TlxVuMeter& m) { m.SetMeterType(m.MeterType()); }, false},
      {"Orientation", [](TlxVuMeter& m) { m.SetOrientation(m.Orientation()); }, false},
      {"ShaddowType", [](TlxVuMeter& m) { m.SetShaddowType(m.ShaddowType()); }, false},
      {"GraphType", [](TlxVuMeter& m) { m.SetGraphType(m.GraphType()); }, false},
      {"BorderMargin", [](TlxVuMeter& m) { m.SetBorderMargin(m.BorderMargin()); }, false},
      {"CenterMargin", [](TlxVuMeter& m) { m.SetCenterMargin(m.CenterMargin()); }, false},
      {"ExtremityMargin", [](TlxVuMeter& m) { m.SetExtremityMargin(m.ExtremityMargin()); }, false},
      {"LedLength", [](TlxVuMeter& m) { m.SetLedLength(m.LedLength()); }, false},
      {"LedWidth", [](TlxVuMeter& m) { m.SetLedWidth(m.LedWidth()); }, false},
      {"LedSpacing", [](TlxVuMeter& m) { m.SetLedSpacing(m.LedSpacing()); }, false},
      {"AutoSize", [](TlxVuMeter& m) { m.SetAutoSize(m.AutoSize()); }, false},
      {"NumLeds", [](TlxVuMeter& m) { m.SetNumLeds(m.NumLeds()); }, false},
      {"PeakShow", [](TlxVuMeter& m) { m.SetPeakShow(!m.PeakShow()); }, false},
      {"LeftPeak", [](TlxVuMeter& m) { m.SetLeftPeak(50); }, false},
      {"LedDisabledColor", [](TlxVuMeter& m) { m.SetLedDisabledColor(m.LedDisabledColor()); },
       true},
      {"BackGroundColor", [](TlxVuMeter& m) { m.SetBackGroundColor(m.BackGroundColor()); }, true},
      {"ShaddowColor", [](TlxVuMeter& m) { m.SetShaddowColor(m.ShaddowColor()); }, true},
      {"Level1Color", [](TlxVuMeter& m) { m.SetLevel1Color(m.Level1Color()); }, true},
      {"Level2Color", [](TlxVuMeter& m) { m.SetLevel2Color(m.Level2Color()); }, true},
      {"Level3Color", [](TlxVuMeter& m) { m.SetLevel3Color(m.Level3Color()); }, true},
      {"Level1Limit", [](TlxVuMeter& m) { m.SetLevel1Limit(m.Level1Limit()); }, true},
      {"Level2Limit", [](TlxVuMeter& m) { m.SetLevel2Limit(m.Level2Limit()); }, true},
  };
  for (const Setter& s : setters) {
    SCOPED_TRACE(s.name);
    TlxVuMeter m;
    const int paints = m.PaintCount();
    s.assignCurrent(m);
    EXPECT_EQ(m.PaintCount(), paints + (s.redraws ? 1 : 0));
  }
}

TEST_F(VuMeterTest, SetBoundsMakesAFreshImageOnEveryCall) {
  const qint64 before = meter.BmpBuffer().cacheKey();
  meter.SetBounds(meter.x(), meter.y(), 20, 196);
  EXPECT_NE(meter.BmpBuffer().cacheKey(), before);
  meter.SetWidth(33);
  EXPECT_EQ(meter.BmpBuffer().size(), QSize(33, 196));
}

TEST_F(VuMeterTest, DegenerateSizesDrawTheBackgroundOnly) {
  meter.SetBackGroundColor(clGray);

  meter.SetBounds(0, 0, -10, -3);
  EXPECT_EQ(meter.Width(), 0);
  EXPECT_EQ(meter.Height(), 0);
  meter.Paint();
  EXPECT_TRUE(meter.BmpBuffer().isNull());

  // No LED pitch: the LED count cannot be formed.
  meter.SetBounds(0, 0, 20, 196);
  meter.SetLedSpacing(-10);
  EXPECT_EQ(CountColor(meter.BmpBuffer(), Rgb(128, 128, 128)), 20 * 196);

  // Q < 0: the bar is shorter than its margins by at least one pitch.
  meter.SetLedSpacing(2);
  meter.SetExtremityMargin(20);
  meter.SetHeight(27);
  meter.Paint();
  EXPECT_EQ(CountColor(meter.BmpBuffer(), Rgb(128, 128, 128)), 20 * 27);
}

// A margin of -2^31 makes billions of 1-pixel LEDs; only the ones inside the picture are drawn,
// and they must cover it from edge to edge in both directions of the LED index.
TEST_F(VuMeterTest, HugeMarginsDrawOnlyTheVisibleLedsAndStillFillTheBar) {
  meter.SetLedLength(1);
  meter.SetLedSpacing(0);
  meter.SetExtremityMargin(std::numeric_limits<int32_t>::min());
  const QImage& img = meter.BmpBuffer();
  for (int y : {0, 1, 98, 194, 195})
    EXPECT_NE(img.pixel(3, y) | 0xFF000000u, Rgb(0, 0, 0)) << "row " << y;
  EXPECT_EQ(UniformColor(img, QRect(0, 0, 3, 196)), Rgb(0, 0, 0));

  meter.SetOrientation(voHorizontal);
  for (int x : {0, 1, 10, 18, 19})
    EXPECT_NE(img.pixel(x, 3) | 0xFF000000u, Rgb(0, 0, 0)) << "column " << x;
  EXPECT_EQ(UniformColor(img, QRect(0, 0, 20, 3)), Rgb(0, 0, 0));
}

TEST_F(VuMeterTest, ControlShorterThanOnePitchStillShowsLedZero) {
  meter.SetHeight(12);  // 12 - 6 < 12: Q = 0
  meter.Paint();
  const QImage& img = meter.BmpBuffer();
  // LED 0 starts at y = 3 and is cut at the bottom edge.
  EXPECT_EQ(UniformColor(img, QRect(QPoint(3, 3), QPoint(7, 11))), Rgb(255, 0, 0));
  EXPECT_EQ(UniformColor(img, QRect(QPoint(12, 3), QPoint(16, 11))), Rgb(255, 0, 0));
  EXPECT_EQ(UniformColor(img, QRect(0, 0, 20, 3)), Rgb(0, 0, 0));
}

// A value or peak change redraws only the LEDs whose state it changes; after any sequence of
// changes the picture must be, bit for bit, the one a fresh control draws from the same state.
TEST_F(VuMeterTest, PictureDrawnChangeByChangeEqualsAFreshDrawing) {
  struct Config {
    const char* name;
    QSize size;
    TOrientation orientation;
    TVuMeterType type;
    TGraphType graph;
    TShaddowType shadow;
    int spacing;
  };
  const Config configs[] = {
      {"vertical stereo bars", {20, 196}, voVertical, vtStereo, gtBar, stDarkLevelColor, 2},
      {"main window, LED 0 cut", {441, 81}, voHorizontal, vtStereo, gtBar, stDarkLevelColor, 1},
      {"horizontal dots", {441, 81}, voHorizontal, vtStereo, gtSpot, stFixed, 1},
      {"mono sum dots, no spacing", {40, 300}, voVertical, vtMonoLR, gtSpot, stDarkLevelColor, 0},
      {"tall right channel, zero-end LED cut", {30, 701}, voVertical, vtMonoR, gtBar, stFixed, 3},
  };
  auto configure = [](TlxVuMeter& m, const Config& c) {
    m.SetBounds(0, 0, c.size.width(), c.size.height());
    m.SetOrientation(c.orientation);
    m.SetMeterType(c.type);
    m.SetGraphType(c.graph);
    m.SetShaddowType(c.shadow);
    m.SetLedSpacing(c.spacing);
  };
  std::mt19937 random(15);
  std::uniform_int_distribution<int> value(-20, 120);
  std::uniform_int_distribution<int> peak(-150, 350);  // peaks are unchecked
  for (const Config& c : configs) {
    SCOPED_TRACE(c.name);
    TlxVuMeter m;
    configure(m, c);
    for (int step = 0; step < 300; ++step) {
      const auto op = random() % 8;
      if (op < 3) {
        m.SetLeftValue(value(random));
      } else if (op < 6) {
        m.SetRightValue(value(random));
      } else if (op == 6) {
        (random() % 2 ? m.SetLeftPeak(peak(random)) : m.SetRightPeak(peak(random)));
        m.Paint();
      } else if (random() % 2) {
        m.PeakReset();
      } else {
        m.SetPeakShow(!m.PeakShow());
      }
      TlxVuMeter fresh;
      configure(fresh, c);
      fresh.SetPeakShow(false);
      fresh.SetLeftValue(m.LeftValue());
      fresh.SetRightValue(m.RightValue());
      fresh.SetLeftPeak(m.LeftPeak());
      fresh.SetRightPeak(m.RightPeak());
      fresh.Paint();
      ASSERT_EQ(m.BmpBuffer(), fresh.BmpBuffer()) << "step " << step;
    }
  }
}

// Counts the paint events the toolkit delivers, to see when the screen is updated.
class CountingVuMeter : public TlxVuMeter {
public:
  int paintEvents = 0;

protected:
  void paintEvent(QPaintEvent* event) override {
    ++paintEvents;
    TlxVuMeter::paintEvent(event);
  }
};

TEST_F(VuMeterTest, ValueChangeReachesTheScreenBeforeTheSetterReturns) {
  QWidget window;
  window.resize(100, 250);
  auto* m = new CountingVuMeter;
  m->setParent(&window);
  m->SetBounds(10, 10, 20, 196);
  window.show();
  for (int i = 0; i < 5; ++i) QApplication::processEvents();

  const int events = m->paintEvents;
  const int builds = m->PaintCount();
  m->SetLeftValue(50);
  EXPECT_EQ(m->paintEvents, events + 1);
  EXPECT_EQ(m->PaintCount(), builds + 1) << "the screen copy reuses the image just built";
  EXPECT_EQ(ReadBar(m->BmpBuffer(), 16, LeftLed), "rryyygggGGGGGGGG");
}

}  // namespace
