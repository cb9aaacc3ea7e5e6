#include "AppTestSupport.h"

#include "capture/ALAudioIn.h"
#include "meter_display/lxVumeter.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QTest>

#include <sndfile.h>

#include <cmath>
#include <cstdlib>
#include <numbers>

namespace {

using Window = std::unique_ptr<TfmMain>;

// Two inputs playing the same tone at different levels, the soft one the system's default: the
// left bar tells which one is open.
class CaptureDeviceTest : public MainWindowTest {
protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    previous = GetWaveInBackend();
    VirtualWaveInDevice loud;
    loud.Name = "Micro fort";
    loud.Amplitudes = {0.5};
    loud.RealTime = true;
    VirtualWaveInDevice soft = loud;
    soft.Name = "Micro doux";
    soft.Amplitudes = {0.1};
    devices =
        std::make_shared<VirtualWaveInBackend>(std::vector<VirtualWaveInDevice>{loud, soft}, 1);
    SetWaveInBackend(devices);
    Recorder->Devices = {{"Micro fort", {"Micro"}}, {"Micro doux", {"Interne", "Ligne"}}};
  }
  void TearDown() override { SetWaveInBackend(previous); }

  static void Pick(TfmMain& Form, int Index) {
    Form.lstDevices->setCurrentIndex(Index);
    emit Form.lstDevices->activated(Index);
  }

  std::shared_ptr<IWaveInBackend> previous;
  std::shared_ptr<VirtualWaveInBackend> devices;
};

TEST_F(CaptureDeviceTest, AFirstStartMeasuresAndShowsTheDefaultInputAndAPickMovesTheCapture) {
  Window form = Open();
  EXPECT_TRUE(IsDefaultName(form->ALAudioIn1->Device().GetDeviceName()));
  EXPECT_TRUE(LeftBarSettlesAt(*form, 10)) << form->Vumeter->LeftValue();
  EXPECT_EQ(form->lstDevices->currentText(), QStringLiteral("Micro doux"));
  EXPECT_EQ(form->lstDeviceLines->count(), 2);
  EXPECT_EQ(form->lstDeviceLines->currentIndex(), 0);
  EXPECT_EQ(UserPrefs.Device, "") << "showing the default input is not a choice";

  Pick(*form, 0);
  EXPECT_EQ(form->ALAudioIn1->Device().GetDeviceName(), "Micro fort");
  EXPECT_TRUE(form->ALAudioIn1->GetEnabled());
  EXPECT_TRUE(LeftBarSettlesAt(*form, 50)) << form->Vumeter->LeftValue();
  EXPECT_EQ(form->lstDevices->currentIndex(), 0);
  EXPECT_EQ(UserPrefs.Device, "Micro fort");
}

TEST_F(CaptureDeviceTest, TheSavedDeviceIsMeasuredFromTheStartAnAbsentOneOnlyWhenItIsThere) {
  WriteIni("[AudioDevice]\nDevice=micro FORT\n");
  {
    Window form = Open();
    EXPECT_EQ(form->ALAudioIn1->Device().GetDeviceName(), "Micro fort");
    EXPECT_TRUE(LeftBarSettlesAt(*form, 50)) << form->Vumeter->LeftValue();
  }

  // Until it comes, the default input stands in for it, and it stays the choice.
  Recorder->Devices.erase(Recorder->Devices.begin());
  UserPrefs = TUserPrefs{};
  Window form = Open();
  EXPECT_TRUE(LeftBarSettlesAt(*form, 10)) << form->Vumeter->LeftValue();
  EXPECT_EQ(form->lstDevices->currentText(), QStringLiteral("Micro doux"));
  EXPECT_EQ(UserPrefs.Device, "micro FORT");
  Recorder->Devices.insert(Recorder->Devices.begin(), {"Micro fort", {"Micro"}});
  Recorder->NotifyChanged();
  EXPECT_TRUE(LeftBarSettlesAt(*form, 50)) << form->Vumeter->LeftValue();
  EXPECT_EQ(form->lstDevices->currentText(), QStringLiteral("Micro fort"));
}

// The device goes away: the meter reads silence, one box says so, and once the device is back it
// is measured again without a pick.
TEST_F(CaptureDeviceTest, ADeviceThatGoesAwayReadsAsSilenceIsShownOnceAndIsMeasuredWhenBack) {
  WriteIni("[AudioDevice]\nDevice=Micro fort\nShowPeakDBFS=1\n");
  Window form = Open();
  ASSERT_TRUE(LeftBarSettlesAt(*form, 50)) << form->Vumeter->LeftValue();
  const QString peak = form->lblPeakLeft->text();

  TModalBoxCatcher box;
  Recorder->Devices.erase(Recorder->Devices.begin());
  devices->Unplug(0);
  Recorder->NotifyChanged();
  EXPECT_TRUE(
      WaitUntil([&] { return box.Text != "<none>" && form->Vumeter->LeftValue() == 0; }, 1500));
  EXPECT_EQ(box.Text, "Audio device lost. - 6 - 6");
  EXPECT_EQ(form->Vumeter->LeftValue(), 0);
  EXPECT_EQ(form->Vumeter->RightValue(), 0);
  EXPECT_EQ(form->lblLeft->text(), QStringLiteral("-96.3 dBFS"));
  EXPECT_EQ(form->lblPeakLeft->text(), peak) << "the peak memory stays";
  EXPECT_EQ(form->lstDevices->count(), 1);
  EXPECT_EQ(form->lstDevices->currentIndex(), -1) << "nothing is measured";
  EXPECT_EQ(UserPrefs.Device, "Micro fort");

  TModalBoxCatcher second;
  QTest::qWait(1500);
  EXPECT_EQ(second.Text, "<none>") << "waiting for it is no news";
  EXPECT_EQ(form->Vumeter->LeftValue(), 0);

  Recorder->Devices.insert(Recorder->Devices.begin(), {"Micro fort", {"Micro"}});
  Recorder->NotifyChanged();
  EXPECT_TRUE(LeftBarSettlesAt(*form, 50)) << form->Vumeter->LeftValue();
  EXPECT_EQ(form->lstDevices->currentText(), QStringLiteral("Micro fort"));
}

// An input that stops sending: a recording that plays once, for a second.
TEST_F(CaptureDeviceTest, AnInputThatSendsNothingMoreReadsAsSilence) {
  const std::string path = folder.filePath(QStringLiteral("once.wav")).toStdString();
  SF_INFO info{};
  info.samplerate = 44100;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr);
  std::vector<int16_t> frames(2 * 44100);
  for (size_t i = 0; i < frames.size(); ++i)
    frames[i] = static_cast<int16_t>(
        std::lround(0.5 * 32767 * std::sin(2 * std::numbers::pi * 1000.0 * double(i / 2) / 44100)));
  sf_writef_short(file, frames.data(), 44100);
  sf_close(file);
  VirtualWaveInDevice once;
  once.Name = "Enregistrement";
  once.Signal = VirtualSignal::File;
  once.FilePath = path;
  once.Loop = false;
  once.RealTime = true;
  SetWaveInBackend(std::make_shared<VirtualWaveInBackend>(std::vector<VirtualWaveInDevice>{once}));
  Recorder->Devices = {{"Enregistrement", {"Ligne"}}};

  Window form = Open();
  ASSERT_TRUE(LeftBarSettlesAt(*form, 50)) << form->Vumeter->LeftValue();
  EXPECT_TRUE(WaitUntil([&] { return form->Vumeter->LeftValue() == 0; }, 3000));
  EXPECT_EQ(form->Vumeter->RightValue(), 0);
  EXPECT_EQ(form->lblLeft->text(), QStringLiteral("0 %"));
  EXPECT_EQ(form->lstDevices->currentText(), QStringLiteral("Enregistrement")) << "still open";
}

// Every loss is shown, also one that follows a pick made with the mouse in the open list.
TEST_F(CaptureDeviceTest, EveryLossIsShownAlsoAfterAPickWithTheMouse) {
  Window form = Open();
  ASSERT_TRUE(LeftBarSettlesAt(*form, 10)) << form->Vumeter->LeftValue();
  const auto lossShown = [&](uint32_t Device) {
    TModalBoxCatcher box;
    devices->Unplug(Device);
    box.Caught();
    return box.Text;
  };
  EXPECT_EQ(lossShown(1), "Audio device lost. - 6 - 6");

  // Pressed on the list, held until it opens, released on the first input.
  QTest::mousePress(form->lstDevices, Qt::LeftButton);
  QTest::qWait(QApplication::doubleClickInterval() + 100);
  QAbstractItemView* view = form->lstDevices->view();
  const QPoint first = view->visualRect(view->model()->index(0, 0)).center();
  QTest::mouseMove(view->viewport(), first);
  QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, first);
  EXPECT_EQ(form->ALAudioIn1->Device().GetDeviceName(), "Micro fort");
  ASSERT_TRUE(LeftBarSettlesAt(*form, 50)) << form->Vumeter->LeftValue();
  EXPECT_EQ(lossShown(0), "Audio device lost. - 6 - 6");
}

// No input at all: one box says so, the readouts hold no made-up values, and an input that
// appears later is measured without a restart.
TEST_F(CaptureDeviceTest, WithoutAnyInputOneBoxSaysSoAndAnInputThatAppearsIsMeasured) {
  SetWaveInBackend(std::make_shared<VirtualWaveInBackend>(std::vector<VirtualWaveInDevice>{}));
  Recorder->Devices.clear();
  TModalBoxCatcher box;
  Window form = Open();
  box.Caught();
  EXPECT_EQ(box.Text, "Aucune entrée audio n'est disponible.");
  for (const QLabel* label : {form->lblLeft, form->lblRight, form->lblPeakLeft, form->lblPeakRight})
    EXPECT_EQ(label->text(), QString());

  TModalBoxCatcher second;
  QTest::qWait(2500);
  EXPECT_EQ(second.Text, "<none>") << "the retries are no news";

  SetWaveInBackend(devices);
  Recorder->Devices = {{"Micro fort", {"Micro"}}, {"Micro doux", {"Interne", "Ligne"}}};
  EXPECT_TRUE(LeftBarSettlesAt(*form, 10)) << form->Vumeter->LeftValue();
  EXPECT_EQ(form->lstDevices->currentText(), QStringLiteral("Micro doux"));
  EXPECT_EQ(form->lblLeft->text(), QStringLiteral("%1 %").arg(form->Vumeter->LeftValue()));
}

// Inputs that refuse to open at the start: one box says why, and the window stays up with the
// inputs listed, measuring the one picked once it opens.
TEST_F(CaptureDeviceTest, AnInputThatCannotBeOpenedIsShownOnceAndTheWindowStaysUsable) {
  devices->SetFailure(WaveInCall::Open, MMSYSERR_ALLOCATED);
  TModalBoxCatcher box;
  Window form = Open();
  box.Caught();
  EXPECT_EQ(box.Text, "Can't open audio device. - 4 - 4");
  TModalBoxCatcher second;
  QTest::qWait(2500);
  EXPECT_EQ(second.Text, "<none>") << "the retries are no news";
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(form->lstDevices->count(), 2);

  devices->SetFailure(WaveInCall::Open, MMSYSERR_NOERROR);
  Pick(*form, 0);
  EXPECT_TRUE(LeftBarSettlesAt(*form, 50)) << form->Vumeter->LeftValue();
  EXPECT_EQ(UserPrefs.Device, "Micro fort");
}

}  // namespace
