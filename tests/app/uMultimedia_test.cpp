#include "AppTestSupport.h"

#include "app/uAction.h"

#include <QComboBox>
#include <QTest>

namespace {

using Window = std::unique_ptr<TfmMain>;

std::vector<QString> Items(const QComboBox* List) {
  std::vector<QString> items;
  for (int i = 0; i < List->count(); ++i) items.push_back(List->itemText(i));
  return items;
}

class DeviceSelectionTest : public MainWindowTest {
protected:
  void ThreeDevices() {
    Recorder->Devices = {{"Audio interne", {"Micro interne", "Entrée ligne"}},
                         {"USB Microphone", {"Micro", "Casque"}},
                         {"HDMI", {"HDMI"}}};
  }
};

TEST_F(DeviceSelectionTest, StartUpSelectsDeviceAndLineZeroThenPassesTheSettingsToThem) {
  ThreeDevices();
  Window form = Open();

  const std::vector<std::string> startUp{
      "GetDeviceCount", "GetDeviceName(0)", "GetDeviceName(1)", "GetDeviceName(2)",
      // SelectDevice(0) fills the lines once...
      "DeviceIndex=0", "GetDeviceLineCount", "GetDeviceLineName(0)", "GetDeviceLineName(1)",
      "DeviceLineIndex=0",
      // ...and the start-up fills them again.
      "GetDeviceLineCount", "GetDeviceLineName(0)", "GetDeviceLineName(1)", "DeviceLineIndex=0",
      "FILEFORMAT=0", "WaveFormatIdx=0", "DeviceLineVolume=100"};
  ASSERT_GE(Recorder->Calls.size(), startUp.size());
  EXPECT_EQ(
      std::vector<std::string>(Recorder->Calls.begin(), Recorder->Calls.begin() + startUp.size()),
      startUp);
  // The settings are kept by the control, and the line that records is left as it is.
  EXPECT_EQ(Recorder->DeviceLineVolume, 100);
  EXPECT_EQ(Recorder->Devices[0].LineIndex, 0);
  EXPECT_EQ(Recorder->Devices[0].LineSwitches, 0);
  EXPECT_EQ(Items(form->lstDevices),
            (std::vector<QString>{"Audio interne", "USB Microphone", "HDMI"}));

  // No saved device at the first start: the default input is measured, which the control does
  // not list here, so no device and no lines are shown.
  EXPECT_EQ(form->lstDevices->currentIndex(), -1);
  EXPECT_EQ(form->lstDeviceLines->count(), 0);
  EXPECT_EQ(UserPrefs.Device, "");
}

TEST_F(DeviceSelectionTest, AnAbsentSavedDeviceKeepsItsNameAndSwitchesNoLine) {
  ThreeDevices();
  // Device 0 has a line of that name, which does not record.
  WriteIni("[AudioDevice]\nDevice=Carte USB\nDeviceLine=Entrée ligne\n");
  Window form = Open();
  EXPECT_EQ(UserPrefs.Device, "Carte USB");
  EXPECT_EQ(UserPrefs.DeviceLine, "Entrée ligne");
  for (const TFakeAudioDevice& d : Recorder->Devices) EXPECT_EQ(d.LineSwitches, 0) << d.Name;
  form->close();
  EXPECT_NE(ReadIni().find("Device=Carte USB\n"), std::string::npos) << ReadIni();
}

TEST_F(DeviceSelectionTest, NoDevicesLeavesBothListsEmpty) {
  Window form = Open();
  EXPECT_EQ(form->lstDevices->count(), 0);
  EXPECT_EQ(form->lstDeviceLines->count(), 0);
  EXPECT_EQ(Recorder->Calls.at(1), "DeviceIndex=0") << "device 0 is selected even so";
  EXPECT_EQ(UserPrefs.Device, "");
  EXPECT_EQ(Recorder->FILEFORMAT, 0);
  EXPECT_EQ(Recorder->WaveFormatIdx, 0);
  EXPECT_TRUE(form->isVisible());
}

TEST_F(DeviceSelectionTest, SavedDeviceIsFoundInAnyLetterCaseAndSavedAsListed) {
  ThreeDevices();
  WriteIni("[AudioDevice]\nDevice=usb MICROPHONE\nDeviceLine=casque\n");
  Window form = Open();

  EXPECT_EQ(form->lstDevices->currentIndex(), 1);
  EXPECT_EQ(Recorder->DeviceIndex, 1);
  EXPECT_EQ(Items(form->lstDeviceLines), (std::vector<QString>{"Micro", "Casque"}));
  EXPECT_EQ(form->lstDeviceLines->currentIndex(), 1);
  EXPECT_EQ(Recorder->Devices[1].LineIndex, 1);
  EXPECT_EQ(UserPrefs.Device, "USB Microphone");
  EXPECT_EQ(UserPrefs.DeviceLine, "casque") << "the line is not recorded during start-up";
}

// Names are whole now; a preference written when they were cut at 31 bytes still finds its device,
// and is written back whole.
TEST_F(DeviceSelectionTest, ASavedNameCutAsNamesOnceWereFindsItsDevice) {
  Recorder->Devices = {{"Monitor of Built-in Audio Analog Stereo", {"Monitor"}},
                       {"Monitor of Built-in Audio Analog Stereo #2", {"Monitor"}}};
  WriteIni("[AudioDevice]\nDevice=Monitor of Built-in Audio An #2\n");
  Window form = Open();
  EXPECT_EQ(form->lstDevices->currentIndex(), 1);
  EXPECT_EQ(UserPrefs.Device, "Monitor of Built-in Audio Analog Stereo #2");
}

TEST_F(DeviceSelectionTest, SavedLineTheDeviceLacksIsKeptAndWrittenBack) {
  ThreeDevices();
  WriteIni("[AudioDevice]\nDevice=HDMI\nDeviceLine=Entrée ligne\n");
  Window form = Open();

  EXPECT_EQ(Items(form->lstDeviceLines), (std::vector<QString>{"HDMI"}));
  EXPECT_EQ(form->lstDeviceLines->currentIndex(), -1);
  EXPECT_NE(std::find(Recorder->Calls.begin(), Recorder->Calls.end(), "DeviceLineIndex=-1"),
            Recorder->Calls.end());
  EXPECT_EQ(UserPrefs.DeviceLine, "Entrée ligne");
  form->close();
  EXPECT_NE(ReadIni().find("DeviceLine=Entrée ligne"), std::string::npos) << ReadIni();
}

TEST_F(DeviceSelectionTest, PickingADeviceRecordsItAndItsFirstLine) {
  ThreeDevices();
  WriteIni("[AudioDevice]\nDevice=Audio interne\nDeviceLine=Entrée ligne\n");
  Window form = Open();
  ASSERT_EQ(UserPrefs.DeviceLine, "Entrée ligne");

  // Code that moves the list does not count as a pick.
  const size_t calls = Recorder->Calls.size();
  form->lstDevices->setCurrentIndex(2);
  form->lstDeviceLines->setCurrentIndex(0);
  EXPECT_EQ(Recorder->Calls.size(), calls);
  EXPECT_EQ(UserPrefs.Device, "Audio interne");

  form->lstDevices->setCurrentIndex(0);
  QTest::keyClick(form->lstDevices, Qt::Key_Down);
  EXPECT_EQ(form->lstDevices->currentIndex(), 1);
  EXPECT_EQ(Recorder->DeviceIndex, 1);
  EXPECT_EQ(Recorder->Devices[1].LineIndex, 0);
  EXPECT_EQ(Items(form->lstDeviceLines), (std::vector<QString>{"Micro", "Casque"}));
  EXPECT_EQ(form->lstDeviceLines->currentIndex(), 0);
  EXPECT_EQ(UserPrefs.Device, "USB Microphone");
  EXPECT_EQ(UserPrefs.DeviceLine, "Micro");

  QTest::keyClick(form->lstDeviceLines, Qt::Key_Down);
  EXPECT_EQ(Recorder->Devices[1].LineIndex, 1);
  EXPECT_EQ(UserPrefs.DeviceLine, "Casque");
}

TEST_F(DeviceSelectionTest, ARefusedPickKeepsTheEarlierChoice) {
  ThreeDevices();
  WriteIni("[AudioDevice]\nDevice=Audio interne\nDeviceLine=Micro interne\n");
  Window form = Open();
  Recorder->Failures[AudioRecordCall::DeviceIndex] = "refused";

  form->lstDevices->setCurrentIndex(1);
  emit form->lstDevices->activated(1);
  EXPECT_EQ(Recorder->Calls.back(), "DeviceIndex=1");
  EXPECT_EQ(UserPrefs.Device, "Audio interne");
  EXPECT_EQ(Items(form->lstDeviceLines), (std::vector<QString>{"Micro interne", "Entrée ligne"}));

  // A line the control refuses is not recorded either.
  Recorder->Failures = {{AudioRecordCall::DeviceLineIndex, "refused"}};
  form->lstDeviceLines->setCurrentIndex(1);
  emit form->lstDeviceLines->activated(1);
  EXPECT_EQ(UserPrefs.DeviceLine, "Micro interne");
}

// Whatever the control fails at while the lists are filled, the window comes up with the lists
// as far as they got.
TEST_F(DeviceSelectionTest, ListingFailuresAtStartUpAreContained) {
  struct Case {
    AudioRecordCall call;
    std::vector<QString> devices;
    int lines;
  } cases[] = {
      {AudioRecordCall::GetDeviceCount, {}, 0},
      {AudioRecordCall::GetDeviceName, {}, 0},
      {AudioRecordCall::GetDeviceLineCount, {"Audio interne", "USB Microphone", "HDMI"}, 0},
      {AudioRecordCall::DeviceLineVolume, {"Audio interne", "USB Microphone", "HDMI"}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.call));
    Recorder = std::make_shared<TFakeAudioRecord>();
    ThreeDevices();
    Recorder->Failures[c.call] = "broken";
    UserPrefs = TUserPrefs{};
    QFile::remove(QString::fromStdString(IniPath));
    Window form = Open();
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(InFormCreate);
    EXPECT_EQ(Items(form->lstDevices), c.devices);
    EXPECT_EQ(form->lstDeviceLines->count(), c.lines);
    EXPECT_TRUE(form->ActShowPnlConfig->Checked()) << "the preferences were still applied";
  }
}

// A control that tells of its changes is followed at once; one that cannot tell is read again
// when the list is opened.
TEST_F(DeviceSelectionTest, TheDeviceListFollowsTheControlsNewsAndIsReadAgainWhenOpened) {
  ThreeDevices();
  Window form = Open();
  Recorder->Devices.push_back({"Casque Bluetooth", {"Micro"}});
  Recorder->NotifyChanged();
  WaitUntil([&] { return form->lstDevices->count() == 4; }, 1000);
  EXPECT_EQ(Items(form->lstDevices),
            (std::vector<QString>{"Audio interne", "USB Microphone", "HDMI", "Casque Bluetooth"}));

  Recorder->Devices.erase(Recorder->Devices.begin() + 1);
  QTest::mouseClick(form->lstDevices, Qt::LeftButton);
  EXPECT_EQ(Items(form->lstDevices),
            (std::vector<QString>{"Audio interne", "HDMI", "Casque Bluetooth"}));
  form->lstDevices->hidePopup();
}

TEST_F(DeviceSelectionTest, WithoutAControlThePicksDoNothing) {
  ThreeDevices();
  AudioRecordConnector = nullptr;  // the wrapper cannot be created
  Window form = Open();
  EXPECT_EQ(form->rec, nullptr);
  EXPECT_EQ(form->lstDevices->count(), 0);
  form->lstDevicesChange(form->lstDevices);
  form->lstDeviceLinesChange(form->lstDeviceLines);
  EXPECT_TRUE(Recorder->Calls.empty());
}

}  // namespace
