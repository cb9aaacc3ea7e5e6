#include "AppTestSupport.h"
#include "metering/MeterTestSupport.h"

#include "app/uAction.h"
#include "app/uClipIndicator.h"
#include "app/uMaths.h"
#include "app/uVuScale.h"
#include "capture/ALAudioBuffer.h"
#include "dataflow/ALStreamTypes.h"
#include "dataflow/LPComponent.h"
#include "dataflow/OWStdTypes.h"
#include "meter_display/lxVumeter.h"
#include "metering/ALPPMMeter.h"

#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QSlider>
#include <QSpinBox>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <limits>
#include <thread>

namespace {

using Window = std::unique_ptr<TfmMain>;
constexpr double Max16 = 32767;

class LevelRoutingTest : public MainWindowTest {
protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    QLocale::setDefault(QLocale::c());
    form = Open();
  }
  void TearDown() override { QLocale::setDefault(QLocale::c()); }

  void Value(int32_t Channel, double Level, double AMax = Max16) {
    form->ALPPMMeter1ValueChange(nullptr, Channel, Level, 0, AMax);
  }
  void ShowDBFS() {
    MenuEntry(form->AdvMainMenu1, QStringLiteral("Afficher valeurs en dBFS"))->trigger();
  }

  Window form;
};

TEST_F(LevelRoutingTest, TrimmedPercentIsTruncatedAndClampedByTheMeter) {
  struct Case {
    int trim;
    double level;
    int32_t shown;
    double peakMem;
  };
  const Case cases[] = {
      {100, 16384, 50, 16384},     // 50.0015 %
      {90, 30000, 82, 27000},      // 82.39997 %, not rounded up
      {120, 32767, 100, 39320.4},  // 120 % stored as 100
      {0, 32767, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.trim);
    ResetPeaks(*form);
    form->tbLevelLeft->setValue(c.trim);
    form->tbLevelRight->setValue(c.trim);
    Value(0, c.level);
    Value(1, c.level);
    EXPECT_EQ(form->Vumeter->LeftValue(), c.shown);
    EXPECT_EQ(form->Vumeter->RightValue(), c.shown);
    EXPECT_EQ(form->lblLeft->text(), QString::number(c.shown) + " %");
    EXPECT_EQ(form->lblRight->text(), QString::number(c.shown) + " %");
    EXPECT_DOUBLE_EQ(VuState.PeakMemLeft, c.peakMem);
    EXPECT_DOUBLE_EQ(VuState.PeakMemRight, c.peakMem);
  }
}

TEST_F(LevelRoutingTest, PercentPeaksComeFromTheLedMeter) {
  Value(0, 32767);
  Value(0, 8192);
  EXPECT_EQ(form->lblLeft->text(), QStringLiteral("25 %"));
  EXPECT_EQ(form->lblPeakLeft->text(), QStringLiteral("100 %"));
  EXPECT_EQ(form->lblPeakRight->text(), QString::number(form->Vumeter->RightPeak()) + " %");
  // The memory keeps the largest level only.
  EXPECT_EQ(VuState.PeakMemLeft, 32767.0);
}

TEST_F(LevelRoutingTest, DBFSReadoutsUseTheLocaleSeparator) {
  ShowDBFS();
  EXPECT_TRUE(form->ActShowPeakDBFS->Checked());
  EXPECT_FALSE(form->ActShowPeakPercent->Checked());
  EXPECT_TRUE(UserPrefs.ShowPeakDBFS);
  form->tbLevelLeft->setValue(50);

  QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
  Value(0, 32767);
  // The current level before its trim, the peak after it.
  EXPECT_EQ(form->lblLeft->text(), QStringLiteral("-6,0 dBFS"));
  EXPECT_EQ(form->lblPeakLeft->text(), QStringLiteral("-12,0 dBFS"));
  EXPECT_EQ(form->lblPeakRight->text(), QStringLiteral("-96,3 dBFS"));

  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  Value(0, 32767);
  EXPECT_EQ(form->lblLeft->text(), QStringLiteral("-6.0 dBFS"));
}

// Decimal rounding, signs, levels above full scale and the silence of minus infinity are
// written as printf's "%.1f" writes them; each readout looks exactly like a label styled with its
// colours.
TEST_F(LevelRoutingTest, DBFSReadoutsRoundAsPrintfAndLookAsStyledLabels) {
  ShowDBFS();
  QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
  const double levels[] = {32767, 32768, 65535, 100000, 16384, 1234.5, 3.3, 1, 1e-300, 0, -3};
  for (double level : levels) {
    SCOPED_TRACE(level);
    Value(0, level);
    QString expected = QString::asprintf("%.1f", AmplitudeToDBFS(level));
    expected.replace(QLatin1Char('.'), QLatin1Char(',')).append(QStringLiteral(" dBFS"));
    EXPECT_EQ(form->lblLeft->text(), expected);

    const std::pair<QLabel*, const char*> readouts[] = {
        {form->lblLeft, "color: #00FFFF; background: #400000;"},
        {form->lblPeakLeft, "color: #FF8000; background: #400000;"}};
    for (const auto& [readout, style] : readouts) {
      QLabel styled(readout->text());
      styled.setFont(readout->font());
      styled.setAlignment(readout->alignment());
      styled.setStyleSheet(QString::fromLatin1(style));
      styled.resize(readout->size());
      EXPECT_EQ(readout->grab().toImage(), styled.grab().toImage())
          << readout->text().toStdString();
    }
  }
}

TEST_F(LevelRoutingTest, RightChannelLeavesTheLeftReadout) {
  ShowDBFS();
  Value(0, 32767);
  const QString left = form->lblLeft->text();
  Value(1, 16384);
  EXPECT_EQ(form->lblLeft->text(), left);
  EXPECT_EQ(form->lblRight->text(), QStringLiteral("-12.0 dBFS"));
  EXPECT_EQ(form->lblPeakRight->text(), QStringLiteral("-12.0 dBFS"));
  EXPECT_EQ(form->Vumeter->LeftValue(), 100);

  // Another channel moves no bar but rewrites the peak readouts.
  ResetPeaks(*form);
  Value(2, 32767);
  EXPECT_EQ(form->Vumeter->LeftValue(), 100);
  EXPECT_EQ(form->Vumeter->RightValue(), 50);
  EXPECT_EQ(form->lblPeakLeft->text(), QStringLiteral("-96.3 dBFS"));
}

TEST_F(LevelRoutingTest, ValuesDuringStartUpOrWithoutAScaleChangeNothing) {
  InFormCreate = true;
  Value(0, 32767);
  InFormCreate = false;
  EXPECT_EQ(form->Vumeter->LeftValue(), 0);
  EXPECT_EQ(VuState.PeakMemLeft, 0.0);
  EXPECT_EQ(form->lblLeft->text(), QStringLiteral("-12.0 dBFS"));

  Value(0, 32767, 0);
  EXPECT_EQ(form->Vumeter->LeftValue(), 0);
  EXPECT_EQ(VuState.PeakMemLeft, 0.0);
  EXPECT_EQ(form->lblLeft->text(), QStringLiteral("-12.0 dBFS"));
}

TEST_F(LevelRoutingTest, TrimsShowTheirPositionAndWaitForTheNextValue) {
  Value(1, 32767);
  form->tbLevelRight->setValue(75);
  EXPECT_EQ(form->lblLevelCoefRight->text(), QStringLiteral("75 %"));
  EXPECT_EQ(UserPrefs.InLevelCoefRight, 75);
  EXPECT_EQ(form->lblLevelCoefLeft->text(), QStringLiteral("100 %"));
  EXPECT_EQ(form->Vumeter->RightValue(), 100);
  Value(1, 32767);
  EXPECT_EQ(form->Vumeter->RightValue(), 75);

  form->tbLevelLeft->setValue(500);
  EXPECT_EQ(form->lblLevelCoefLeft->text(), QStringLiteral("120 %"));
  EXPECT_EQ(UserPrefs.InLevelCoefLeft, 120);
}

TEST_F(LevelRoutingTest, CapturedAudioReachesTheBars) {
  auto source = TLPComponent::Create<TTestSource>();
  ASSERT_TRUE(form->ALPPMMeter1->InputPin()->Connect(&source->OutputPin()));
  source->OutputPin().Notify(
      std::make_shared<TOWStartWaveOperation>(MakeFormat(44100, 16, 2), false));

  // 200 ms of the highest tone, full scale on the left and half scale on the right, handed
  // over from a worker thread as the capture does.
  constexpr uint32_t frames = 8820;
  auto buffer = TALAudioBuffer::CreateSize(44100, 16, 2, frames);
  for (uint32_t f = 0; f < frames; ++f) {
    const int32_t sign = (f % 2 == 0) ? 1 : -1;
    buffer->SetSample(f, 0, sign * 32767);
    buffer->SetSample(f, 1, sign * 16384);
  }
  std::thread worker([&] { source->OutputPin().SubmitBuffer(buffer); });
  worker.join();

  WaitUntil([&] { return form->Vumeter->RightValue() != 0; }, 5000);
  EXPECT_GE(form->Vumeter->LeftValue(), 98);
  EXPECT_NEAR(form->Vumeter->RightValue(), 50, 2);
  EXPECT_EQ(form->lblLeft->text(), QString::number(form->Vumeter->LeftValue()) + " %");

  source->OutputPin().Notify(std::make_shared<TOWStopOperation>());
  form->ALPPMMeter1->InputPin()->Connect(nullptr);
}

// A lamp lights for a sample at either end of the format's range, not for one a step inside,
// and stays lit until it is clicked or the peaks are reset.
TEST_F(LevelRoutingTest, ClipLampsLatchOnFullScaleSamplesOfEveryDepth) {
  struct Case {
    uint16_t bits;
    int32_t silence, fullScale, oneBelow, mostNegative;
  };
  const Case cases[] = {
      {8, 128, 255, 254, 0},
      {16, 0, 32767, 32766, -32768},
      {24, 0, 8388607, 8388606, -8388608},
      {32, 0, 2147483647, 2147483646, std::numeric_limits<int32_t>::min()},
  };
  auto source = TLPComponent::Create<TTestSource>();
  ASSERT_TRUE(form->ALPPMMeter1->InputPin()->Connect(&source->OutputPin()));
  // Two blocks of silence on both channels but for one sample of each.
  auto send = [&](const Case& c, int32_t Left, int32_t Right) {
    constexpr uint32_t frames = 8820;
    auto buffer = TALAudioBuffer::CreateSize(44100, c.bits, 2, frames);
    for (uint32_t f = 0; f < frames; ++f) {
      buffer->SetSample(f, 0, f == 100 ? Left : c.silence);
      buffer->SetSample(f, 1, f == 200 ? Right : c.silence);
    }
    std::thread worker([&] { source->OutputPin().SubmitBuffer(buffer); });
    worker.join();
  };
  auto waitFor = [](const TClipIndicator* Lamp) {
    return WaitUntil([Lamp] { return Lamp->Lit(); }, 5000);
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bits);
    source->OutputPin().Notify(
        std::make_shared<TOWStartWaveOperation>(MakeFormat(44100, c.bits, 2), false));
    send(c, c.fullScale, c.oneBelow);
    EXPECT_TRUE(waitFor(form->lblClipLeft));
    EXPECT_FALSE(form->lblClipRight->Lit());

    QTest::mouseClick(form->lblClipLeft, Qt::LeftButton);
    EXPECT_FALSE(form->lblClipLeft->Lit());
    send(c, c.oneBelow, c.mostNegative);
    EXPECT_TRUE(waitFor(form->lblClipRight));
    EXPECT_FALSE(form->lblClipLeft->Lit());

    form->ActPeakReset->Execute();
    EXPECT_FALSE(form->lblClipRight->Lit());
    source->OutputPin().Notify(std::make_shared<TOWStopOperation>());
  }
  form->ALPPMMeter1->InputPin()->Connect(nullptr);
}

TEST_F(LevelRoutingTest, ClickOnAPeakReadoutResetsThatChannelOnly) {
  Value(0, 30000);
  Value(1, 20000);
  Value(0, 10000);
  Value(1, 5000);
  form->lblClipLeft->SetLit(true);
  form->lblClipRight->SetLit(true);
  QTest::mouseClick(form->lblPeakRight, Qt::LeftButton);
  EXPECT_EQ(VuState.PeakMemRight, 0.0);
  EXPECT_EQ(form->Vumeter->RightPeak(), form->Vumeter->RightValue());
  EXPECT_FALSE(form->lblClipRight->Lit());
  EXPECT_EQ(VuState.PeakMemLeft, 30000.0);
  EXPECT_EQ(form->Vumeter->LeftPeak(), 91);
  EXPECT_TRUE(form->lblClipLeft->Lit());
}

// Each mark stands at the LED that is the last one lit for a level of that many dBFS, in both
// orientations; the scale lies beside the meter, which gives it room.
TEST_F(LevelRoutingTest, ScaleMarksTheLedThatItsLevelLights) {
  const auto lit = [](QRgb Pixel) {
    return qRed(Pixel) == 255 || qGreen(Pixel) == 255 || qBlue(Pixel) == 255;
  };
  EXPECT_FALSE(form->VuScale->isVisibleTo(form.get()));
  MenuEntry(form->AdvMainMenu1, QStringLiteral("Afficher l'échelle en dB"))->trigger();
  for (const char* orientation : {"Horizontal", "Vertical"}) {
    SCOPED_TRACE(orientation);
    MenuEntry(form->AdvMainMenu1, QString::fromLatin1(orientation))->trigger();
    const bool vertical = form->Vumeter->Orientation() == voVertical;
    ASSERT_TRUE(form->VuScale->isVisibleTo(form.get()));
    const QRect meter = form->Vumeter->geometry();
    const QRect scale = form->VuScale->geometry();
    if (vertical) {
      EXPECT_EQ(scale, QRect(meter.right() + 1, meter.top(), 28, meter.height()));
      EXPECT_EQ(meter.width(), form->ClientWidth() - 16 - 28);
    } else {
      EXPECT_EQ(scale, QRect(meter.left(), meter.bottom() + 1, meter.width(), 16));
    }

    const std::vector<TVuScale::TMark> marks = form->VuScale->Marks();
    ASSERT_GE(marks.size(), 5u);
    // Full scale of 16-bit audio reads -6.0 dBFS, half scale -12.0.
    EXPECT_EQ(marks.front().dB, -6);
    EXPECT_EQ(marks.front().Led, 0);
    EXPECT_TRUE(std::any_of(marks.begin(), marks.end(), [](auto& M) { return M.dB == -12; }));
    const int32_t pitch = form->Vumeter->LedLength() + form->Vumeter->LedSpacing();
    for (auto m = marks.rbegin(); m != marks.rend(); ++m) {
      SCOPED_TRACE(m->dB);
      Value(0, 65536.0 * std::pow(10.0, m->dB / 20.0));
      const QImage& image = form->Vumeter->BmpBuffer();
      // The left bar: the upper one lying, the left one standing.
      const auto at = [&](int32_t Along) {
        return vertical ? image.pixel(5, Along) : image.pixel(Along, 5);
      };
      EXPECT_TRUE(lit(at(m->Pixel)));
      if (m->Led > 0) {
        EXPECT_FALSE(lit(at(vertical ? m->Pixel - pitch : m->Pixel + pitch)));
      }
      if (m != marks.rbegin()) {
        EXPECT_GE(std::abs(m->Pixel - std::prev(m)->Pixel), 10);
      }
    }
    Value(0, 0);
    form->ActPeakReset->Execute();
  }
}

TEST_F(LevelRoutingTest, OnlyReleaseTimesWithinTheRangeReachTheMeter) {
  auto* edit = form->seHalfLive->findChild<QLineEdit*>();
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(form->ALPPMMeter1->HalfLife(), 400);
  edit->setText(QStringLiteral("1000"));
  EXPECT_EQ(form->ALPPMMeter1->HalfLife(), 1000);
  for (const char* typing : {"", "5", "0", "-"}) {
    edit->setText(QString::fromLatin1(typing));
    EXPECT_EQ(form->ALPPMMeter1->HalfLife(), 1000) << typing;
  }
  form->seHalfLive->setValue(20000);
  EXPECT_EQ(form->ALPPMMeter1->HalfLife(), 20000);
  form->seHalfLive->setValue(10);
  EXPECT_EQ(form->ALPPMMeter1->HalfLife(), 10);
}

TEST_F(LevelRoutingTest, ReadoutModeWithoutSenderFollowsThePreferences) {
  UserPrefs.ShowPeakDBFS = true;
  form->ActShowPeakPercentExecute(nullptr);
  EXPECT_TRUE(form->ActShowPeakDBFS->Checked());
  EXPECT_FALSE(form->ActShowPeakPercent->Checked());

  MenuEntry(form->AdvPopupMenu1,
            QStringLiteral("Afficher valeurs en pourcentage (crêtes mémorisées)"))
      ->trigger();
  EXPECT_FALSE(UserPrefs.ShowPeakDBFS);
  EXPECT_TRUE(form->ActShowPeakPercent->Checked());
  EXPECT_FALSE(form->ActShowPeakDBFS->Checked());
}

}  // namespace
