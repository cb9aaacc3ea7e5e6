#include "app/uMultimedia.h"

#include "app/frmMain.h"
#include "app/uLiveInputs.h"
#include "app/uUserPrefs.h"

#include "platform/DeviceNames.h"

#include <QComboBox>

#include <algorithm>

TAudioRecordConnector AudioRecordConnector = ConnectSystemAudioRecord;

namespace {

int IndexOfName(const QComboBox* List, const std::string& Name) {
  return List->findText(QString::fromStdString(Name), Qt::MatchFixedString);
}

// The item's text; empty outside the list.
std::string ItemText(const QComboBox* List, int Index) {
  return List->itemText(Index).toStdString();
}

// A pick moves the capture to the device. At start-up the selections only say what the user
// chose: once they are all made, the window measures that device, or the default input when it
// is absent.
void HandDeviceToCapture(TfmMain& Form, const std::string& Name) {
  if (InFormCreate || !Form.LiveInputs) return;
  Form.LiveInputs->Measure(Name);
}

}  // namespace

void CreateRecordControl(TfmMain& Form) {
  try {
    Form.rec = std::make_unique<TCAudioRecord>(AudioRecordConnector);
  } catch (const std::exception&) {
    Form.rec.reset();
  }
  FillDeviceList(Form);
  FillDeviceLineList(Form, 0, "");
  if (Form.rec) {
    Form.rec->SetFILEFORMAT(0);
    Form.rec->SetWaveFormatIdx(0);
    Form.rec->SetDeviceLineVolume(100);
  }
}

void FillDeviceList(TfmMain& Form) {
  if (!Form.rec) return;
  const int32_t n = Form.rec->GetDeviceCount();
  for (int32_t nID = 0; nID < n; ++nID)
    Form.lstDevices->addItem(QString::fromStdString(Form.rec->GetDeviceName(nID)));
  Form.lstDevices->setCurrentIndex(0);
  SelectDevice(Form, 0, "");
}

void FillDeviceLineList(TfmMain& Form, int Index, const std::string& Name) {
  Form.lstDeviceLines->clear();
  if (!Form.rec) return;
  if (Index == -1) Index = IndexOfDevice(Form, Name);
  if (Index == -1) return;
  // The lines are those of the control's current device, which the caller has chosen.
  const int32_t m = Form.rec->GetDeviceLineCount();
  for (int32_t nID = 0; nID < m; ++nID)
    Form.lstDeviceLines->addItem(QString::fromStdString(Form.rec->GetDeviceLineName(nID)));
  Form.lstDeviceLines->setCurrentIndex(0);
  SelectDeviceLine(Form, 0, "");
}

void SelectDevice(TfmMain& Form, int Index, const std::string& Name) {
  if (Index == -1) Index = IndexOfDevice(Form, Name);
  try {
    if (!Form.rec) return;
    Form.rec->SetDeviceIndex(Index);
    UserPrefs.Device = ItemText(Form.lstDevices, Index);
    FillDeviceLineList(Form, Index, "");
    HandDeviceToCapture(Form, ItemText(Form.lstDevices, Index));
  } catch (const std::exception&) {
  }
}

void SelectDeviceLine(TfmMain& Form, int Index, const std::string& Name) {
  if (Index == -1) Index = IndexOfDeviceLine(Form, Name);
  try {
    if (!Form.rec) return;
    // With no device shown (the saved one is absent), the lines listed are another device's: a
    // saved line name must not switch that device.
    if (Form.lstDevices->currentIndex() < 0) return;
    Form.rec->SetDeviceLineIndex(Index);
    // At start-up the first line is selected before the saved one is applied; recording it
    // would lose the saved name.
    if (!InFormCreate) UserPrefs.DeviceLine = ItemText(Form.lstDeviceLines, Index);
  } catch (const std::exception&) {
  }
}

int IndexOfDevice(const TfmMain& Form, const std::string& Name) {
  const int found = IndexOfName(Form.lstDevices, Name);
  if (found >= 0 || Name.empty()) return found;
  // Preferences written when names were cut short name the device as it was then.
  std::vector<std::string> listed;
  for (int i = 0; i < Form.lstDevices->count(); ++i) listed.push_back(ItemText(Form.lstDevices, i));
  const std::vector<std::string> legacy = LegacyDeviceNames(listed);
  const auto at = std::find(legacy.begin(), legacy.end(), Name);
  return at == legacy.end() ? -1 : static_cast<int>(at - legacy.begin());
}

int IndexOfDeviceLine(const TfmMain& Form, const std::string& Name) {
  return IndexOfName(Form.lstDeviceLines, Name);
}
