#include "AppTestSupport.h"

#include "app/uAction.h"
#include "meter_display/lxVumeter.h"

#include <QLabel>
#include <QLocale>
#include <QSlider>

namespace {

using Window = std::unique_ptr<TfmMain>;
constexpr double Max16 = 32767;

class LevelRoutingTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        QLocale::setDefault(QLocale::c());
        form = Open();
    }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }

    void Value(int32_t Channel, double Level, double AMax = Max16)
    {
        form->ALPPMMeter1ValueChange(nullptr, Channel, Level, 0, AMax);
    }
    void ShowDBFS() { MenuEntry(form->AdvMainMenu1, QStringLiteral("Afficher valeurs en dBFS"))->trigger(); }

    Window form;
};

TEST_F(LevelRoutingTest, TrimmedPercentIsTruncatedAndClampedByTheMeter)
{
    struct Case {
        int trim;
        double level;
        int32_t shown;
        double peakMem;
    };
    const Case cases[] = {
        {100, 16384, 50, 16384},  // 50.0015 %
        {90, 30000, 82, 27000},   // 82.39997 %, not rounded up
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

TEST_F(LevelRoutingTest, PercentPeaksComeFromTheLedMeter)
{
    Value(0, 32767);
    Value(0, 8192);
    EXPECT_EQ(form->lblLeft->text(), QStringLiteral("25 %"));
    EXPECT_EQ(form->lblPeakLeft->text(), QStringLiteral("100 %"));
    EXPECT_EQ(form->lblPeakRight->text(), QString::number(form->Vumeter->RightPeak()) + " %");
    // The memory keeps the largest level only.
    EXPECT_EQ(VuState.PeakMemLeft, 32767.0);
}

TEST_F(LevelRoutingTest, DBFSReadoutsUseTheLocaleSeparator)
{
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

TEST_F(LevelRoutingTest, RightChannelLeavesTheLeftReadout)
{
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

TEST_F(LevelRoutingTest, ValuesDuringStartUpOrWithoutAScaleChangeNothing)
{
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

TEST_F(LevelRoutingTest, TrimsShowTheirPositionAndWaitForTheNextValue)
{
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

TEST_F(LevelRoutingTest, ReadoutModeWithoutSenderFollowsThePreferences)
{
    UserPrefs.ShowPeakDBFS = true;
    form->ActShowPeakPercentExecute(nullptr);
    EXPECT_TRUE(form->ActShowPeakDBFS->Checked());
    EXPECT_FALSE(form->ActShowPeakPercent->Checked());

    MenuEntry(form->AdvPopupMenu1,
              QStringLiteral("Afficher valeurs en pourcentage (crêtes mémorisées)"))->trigger();
    EXPECT_FALSE(UserPrefs.ShowPeakDBFS);
    EXPECT_TRUE(form->ActShowPeakPercent->Checked());
    EXPECT_FALSE(form->ActShowPeakDBFS->Checked());
}

} // namespace
