#include <gtest/gtest.h>

#include <QImage>
#include <QTest>

#include "QtTestApp.h"
#include "app/GradientBackground.h"
#include "app/ScrollText.h"

namespace {

class Widgets : public ::testing::Test {
protected:
  void SetUp() override { EnsureQApplication(); }
};

// True when some pixel of the strip is drawn in the text colour (aqua: strong green).
bool ShowsText(TScrollText& strip) {
  const QImage image = strip.grab().toImage();
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (qGreen(image.pixel(x, y)) > 128) return true;
  return false;
}

std::unique_ptr<TScrollText> NewStrip(const QStringList& lines) {
  auto strip = std::make_unique<TScrollText>(lines, nullptr);
  strip->resize(200, 25);
  QPalette palette = strip->palette();
  palette.setColor(QPalette::Window, QColor(0, 0, 255));
  palette.setColor(QPalette::WindowText, QColor(0, 255, 255));
  strip->setPalette(palette);
  return strip;
}

TEST_F(Widgets, GradientGoesFromTopColourToBottomColour) {
  TGradientBackground gradient(QColor(0, 255, 255), QColor(0, 0, 255), nullptr);
  gradient.resize(305, 193);
  const QImage image = gradient.grab().toImage();
  EXPECT_EQ(QColor(image.pixel(150, 0)), QColor(0, 255, 255));
  EXPECT_EQ(QColor(image.pixel(150, 192)), QColor(0, 0, 255));
  const QColor middle(image.pixel(150, 96));
  EXPECT_NEAR(middle.green(), 128, 4);
  EXPECT_EQ(middle.blue(), 255);
  // Graded up-down only: a row is one colour.
  EXPECT_EQ(image.pixel(0, 50), image.pixel(304, 50));
}

TEST_F(Widgets, TextBlockIsNeverShorterThanTheStrip) {
  const auto one = NewStrip({"Merci"});
  EXPECT_EQ(one->BlockHeight(), 25);
  const QStringList ten(10, "Merci");
  const auto many = NewStrip(ten);
  EXPECT_EQ(many->BlockHeight(), 10 * many->fontMetrics().height());
  EXPECT_GT(many->BlockHeight(), 25);
}

TEST_F(Widgets, EveryStartBringsTheBlockInFromTheBottomWithinTwoSteps) {
  const auto strip = NewStrip({"un", "deux", "trois"});
  for (int start = 0; start < 2; ++start) {
    strip->Start();
    EXPECT_TRUE(strip->Active());
    EXPECT_EQ(strip->BlockTop() + strip->BlockHeight(), 0) << "out of sight above the strip";
    strip->Step();
    if (strip->BlockTop() != strip->height()) strip->Step();
    EXPECT_EQ(strip->BlockTop(), strip->height());
    // Part of the way through before the next start.
    for (int i = 0; i < 10; ++i) strip->Step();
    strip->Stop();
    EXPECT_FALSE(strip->Active());
  }
}

TEST_F(Widgets, BlockRisesOnePixelPerStepAndWrapsForever) {
  const auto strip = NewStrip({"un", "deux", "trois"});
  strip->Start();
  strip->Step();
  ASSERT_EQ(strip->BlockTop(), strip->height());
  const int height = strip->BlockHeight();
  const int period = strip->height() + height + 1;
  for (int lap = 0; lap < 3; ++lap) {
    for (int i = 1; i < period; ++i) {
      strip->Step();
      ASSERT_EQ(strip->BlockTop(), strip->height() - i) << "lap " << lap << " step " << i;
    }
    // Bottom edge level with the strip's top: the next step takes it past, so it comes back.
    ASSERT_EQ(strip->BlockTop() + height, 0);
    strip->Step();
    ASSERT_EQ(strip->BlockTop(), strip->height()) << "lap " << lap;
  }
}

TEST_F(Widgets, TextIsDrawnOnlyWhileTheBlockIsInView) {
  const auto strip = NewStrip({"Merci"});
  strip->Start();
  EXPECT_FALSE(ShowsText(*strip));
  strip->Step();
  EXPECT_FALSE(ShowsText(*strip)) << "top edge at the bottom edge: nothing shown yet";
  for (int i = 0; i < strip->fontMetrics().height(); ++i) strip->Step();
  EXPECT_TRUE(ShowsText(*strip));
  while (strip->BlockTop() > 0) strip->Step();
  for (int i = 0; i < strip->BlockHeight(); ++i) strip->Step();
  ASSERT_EQ(strip->BlockTop() + strip->BlockHeight(), 0);
  EXPECT_FALSE(ShowsText(*strip)) << "gone through the top";
}

TEST_F(Widgets, RunningStripIsMovedByItsOwnTimer) {
  const auto strip = NewStrip({"Merci"});
  strip->Start();
  EXPECT_TRUE(QTest::qWaitFor([&] { return strip->BlockTop() == strip->height() - 1; }, 5000));
  strip->Stop();
  const int stopped = strip->BlockTop();
  QTest::qWait(3 * TScrollText::StepInterval);
  EXPECT_EQ(strip->BlockTop(), stopped);
}

}  // namespace
