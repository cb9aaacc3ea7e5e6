// The device pick dialog, driven while it is shown modally.

#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "app/QtTestApp.h"
#include "capture/ALAudioIn.h"
#include "capture/dialog/DSDeviceListFormUnit.h"
#include "platform/VirtualWaveIn.h"

namespace {

// Runs AAction on the dialog once it is shown modally.
void WhenShown(const std::function<void(TDSDeviceListForm&)>& AAction) {
  QTimer::singleShot(0, [AAction] {
    auto* dialog = qobject_cast<TDSDeviceListForm*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    AAction(*dialog);
  });
}

std::vector<std::string> Entries(const TDSDeviceListForm& AForm) {
  std::vector<std::string> entries;
  for (int i = 0; i < AForm.ListBox->count(); ++i)
    entries.push_back(AForm.ListBox->item(i)->text().toStdString());
  return entries;
}

class DeviceDialogTest : public ::testing::Test {
protected:
  void SetUp() override { EnsureQApplication(); }
};

TEST_F(DeviceDialogTest, FixedEntries) {
  EXPECT_EQ(Entries(TDSDeviceListForm(nullptr)), (std::vector<std::string>{"None", "Default"}));
  EXPECT_EQ(Entries(TDSDeviceListForm(nullptr, false, true)), std::vector<std::string>{"Default"});
  EXPECT_EQ(Entries(TDSDeviceListForm(nullptr, true, false)), std::vector<std::string>{"None"});
  EXPECT_TRUE(Entries(TDSDeviceListForm(nullptr, false, false)).empty());
}

TEST_F(DeviceDialogTest, PreselectsByNameInAnyCase) {
  struct TCase {
    const char* Name;
    const char* Selected;
  };
  for (const TCase& c :
       {TCase{"Default", "Default"}, TCase{"dEFAULT", "Default"}, TCase{"Elsewhere", "None"}}) {
    TDSDeviceListForm form(nullptr);
    std::string shown;
    WhenShown([&](TDSDeviceListForm& d) {
      shown = d.GetSelection();
      d.OKButton->click();
    });
    EXPECT_TRUE(form.Execute("Pick", c.Name));
    EXPECT_EQ(shown, c.Selected) << c.Name;
    EXPECT_EQ(form.windowTitle().toStdString(), "Pick");
  }
}

TEST_F(DeviceDialogTest, ChoosingStoresTheNameAndCancelKeepsIt) {
  std::vector<VirtualWaveInDevice> devices(2);
  devices[0].Name = "Mic";
  devices[1].Name = "Line";
  SetWaveInBackend(std::make_shared<VirtualWaveInBackend>(devices));
  {
    TLPComponentLoading loading;  // never loaded: the capture does not start
    auto capture = TLPComponent::Create<TALAudioIn>();
    TALAudioCaptureDevice& device = capture->Device();

    WhenShown([](TDSDeviceListForm& d) {
      EXPECT_EQ(Entries(d), (std::vector<std::string>{"None", "Default", "Mic", "Line"}));
      EXPECT_EQ(d.GetSelection(), "Default");
      d.ListBox->setCurrentRow(3);
      d.CancelButton->click();
    });
    EXPECT_FALSE(ShowDeviceSelctDialog(device));
    EXPECT_EQ(device.GetDeviceName(), "Default");

    WhenShown([](TDSDeviceListForm& d) {
      d.ListBox->setCurrentRow(3);
      d.OKButton->click();
    });
    EXPECT_TRUE(ShowDeviceSelctDialog(device));
    EXPECT_EQ(device.GetDeviceName(), "Line");

    // A double click confirms the entry under it.
    WhenShown([](TDSDeviceListForm& d) {
      EXPECT_EQ(d.GetSelection(), "Line");
      d.ListBox->setCurrentRow(2);
      emit d.ListBox->itemDoubleClicked(d.ListBox->item(2));
    });
    EXPECT_TRUE(ShowDeviceSelctDialog(device));
    EXPECT_EQ(device.GetDeviceName(), "Mic");
  }
  SetWaveInBackend(nullptr);
}

}  // namespace
