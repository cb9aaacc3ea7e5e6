#include "AppTestSupport.h"

#include "capture/ALAudioIn.h"
#include "meter_display/lxVumeter.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QTest>

#include <cstdlib>

namespace {

using Window = std::unique_ptr<TfmMain>;

// Two inputs playing the same tone at different levels: the left bar tells which one is open.
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
    devices = std::make_shared<VirtualWaveInBackend>(std::vector<VirtualWaveInDevice>{loud, soft});
    SetWaveInBackend(devices);
    Recorder->Devices = {{"Micro fort", {"Micro"}}, {"Micro doux", {"Micro"}}};
  }
  void TearDown() override { SetWaveInBackend(previous); }

  std::shared_ptr<IWaveInBackend> previous;
  std::shared_ptr<VirtualWaveInBackend> devices;
};

TEST_F(CaptureDeviceTest, TheListedDeviceIsTheOneMeasuredAndAPickMovesTheCaptureToIt) {
  Window form = Open();
  EXPECT_EQ(form->ALAudioIn1->Device().GetDeviceName(), "Micro fort");
  EXPECT_TRUE(LeftBarSettlesAt(*form, 50)) << form->Vumeter->LeftValue();

  // The user's pick.
  form->lstDevices->setCurrentIndex(1);
  emit form->lstDevices->activated(1);
  EXPECT_EQ(form->ALAudioIn1->Device().GetDeviceName(), "Micro doux");
  EXPECT_TRUE(form->ALAudioIn1->GetEnabled());
  EXPECT_TRUE(LeftBarSettlesAt(*form, 10)) << form->Vumeter->LeftValue();
}

TEST_F(CaptureDeviceTest, TheSavedDeviceIsMeasuredFromTheStart) {
  WriteIni("[AudioDevice]\nDevice=micro DOUX\n");
  Window form = Open();
  EXPECT_EQ(form->ALAudioIn1->Device().GetDeviceName(), "Micro doux");
  EXPECT_TRUE(LeftBarSettlesAt(*form, 10)) << form->Vumeter->LeftValue();
}

TEST_F(CaptureDeviceTest, ADeviceThatGoesAwayIsShownOnceAndAPickMeasuresAgain) {
  Window form = Open();
  ASSERT_TRUE(LeftBarSettlesAt(*form, 50)) << form->Vumeter->LeftValue();

  TModalBoxCatcher box;
  devices->Unplug(0);
  QElapsedTimer clock;
  clock.start();
  while (box.Text == "<none>" && clock.elapsed() < 10000) QTest::qWait(20);
  EXPECT_EQ(box.Text, "Audio device lost. - 6 - 6");
  EXPECT_FALSE(form->ALAudioIn1->GetEnabled());
  TModalBoxCatcher second;
  QTest::qWait(300);
  EXPECT_EQ(second.Text, "<none>");

  // Picking the other input measures from it.
  form->lstDevices->setCurrentIndex(1);
  emit form->lstDevices->activated(1);
  EXPECT_TRUE(form->ALAudioIn1->GetEnabled());
  EXPECT_TRUE(LeftBarSettlesAt(*form, 10)) << form->Vumeter->LeftValue();
}

}  // namespace
