#include "app/uLiveInputs.h"

#include "app/frmMain.h"
#include "app/uLanguage.h"
#include "app/uMultimedia.h"
#include "app/uUserPrefs.h"
#include "capture/ALAudioIn.h"

#include <QComboBox>
#include <QEvent>
#include <QMessageBox>

namespace {

constexpr const char* CantOpen = "Can't open audio device.";
constexpr const char* Lost = "Audio device lost.";

// A capture that is handed no name of its own records from the system's default input.
bool FollowsDefault(const std::string& DeviceName) {
  return DeviceName.empty() || IsDefaultName(DeviceName);
}

std::string ItemText(const QComboBox* List, int Index) {
  return List->itemText(Index).toStdString();
}

}  // namespace

TLiveInputs::TLiveInputs(TfmMain& Form) : FForm(Form) {
  FSettle.setSingleShot(true);
  FSettle.setInterval(SettleMs);
  connect(&FSettle, &QTimer::timeout, this, [this] { Sync(); });
  FRetry.setInterval(RetryMs);
  connect(&FRetry, &QTimer::timeout, this, [this] { Sync(); });
}

void TLiveInputs::Start() {
  FStarted = true;
  FListed = FForm.rec != nullptr;  // made and listed by the start-up
  // The start-up selection has listed the lines of the device it shows; with none shown, they
  // belong to no device on the list.
  const int shown = FForm.lstDevices->currentIndex();
  FShown = shown >= 0 ? ItemText(FForm.lstDevices, shown) : "";
  if (shown < 0) FForm.lstDeviceLines->clear();
  FForm.lstDevices->installEventFilter(this);
  Watch();
  Sync();
}

void TLiveInputs::Watch() {
  if (!FForm.rec) return;
  // Called on the control's own thread: the news is carried to this one.
  FForm.rec->Watch([this] {
    QMetaObject::invokeMethod(
        this,
        [this] {
          if (!FSettle.isActive()) FSettle.start();
        },
        Qt::QueuedConnection);
  });
}

bool TLiveInputs::eventFilter(QObject* Watched, QEvent* Event) {
  // Opening the list, by mouse or keyboard, shows the devices as they are now.
  if (Watched == FForm.lstDevices &&
      (Event->type() == QEvent::MouseButtonPress || Event->type() == QEvent::KeyPress))
    Sync();
  return QObject::eventFilter(Watched, Event);
}

std::vector<std::string> TLiveInputs::ListDevices() {
  // A control that could not be reached, or that knows no device, is made again: the system may
  // have gained a sound server since.
  if (!FListed) {
    try {
      FForm.rec = std::make_unique<TCAudioRecord>(AudioRecordConnector);
      Watch();
    } catch (const std::exception&) {
      FForm.rec.reset();
    }
  }
  std::vector<std::string> names;
  FListed = false;
  if (!FForm.rec) return names;
  try {
    const int32_t n = FForm.rec->GetDeviceCount();
    for (int32_t nID = 0; nID < n; ++nID) names.push_back(FForm.rec->GetDeviceName(nID));
    FListed = !names.empty();
  } catch (const std::exception&) {
    names.clear();
  }
  return names;
}

void TLiveInputs::ShowDevices(const std::vector<std::string>& Names) {
  QComboBox* list = FForm.lstDevices;
  bool same = list->count() == static_cast<int>(Names.size());
  for (int i = 0; same && i < list->count(); ++i) same = ItemText(list, i) == Names[i];
  if (same) return;
  list->clear();
  for (const std::string& name : Names) list->addItem(QString::fromStdString(name));
}

void TLiveInputs::Sync() {
  if (!FStarted) return;

  ShowDevices(ListDevices());

  TALAudioIn& capture = *FForm.ALAudioIn1;
  const std::string current = capture.Device().GetDeviceName();
  const int wanted = IndexOfDevice(FForm, UserPrefs.Device);
  // The chosen device when it is there; else the default input if that is what the capture
  // follows; else the device that went away, which is waited for.
  std::string target;
  if (wanted >= 0)
    target = ItemText(FForm.lstDevices, wanted);
  else if (FollowsDefault(current))
    target = current;
  if (!target.empty() && (target != current || !capture.IsCapturing())) {
    Restart(target);
  } else if (target.empty() && capture.GetEnabled()) {
    // Its device is gone, whatever the capture has noticed yet: nothing it records now is what
    // the list would show.
    capture.SetEnabled(false);
    CaptureError(Lost, MMSYSERR_NODRIVER);
  }

  const bool capturing = capture.IsCapturing();
  if (capturing) FReported = false;  // the outage is over: the next one is news
  ShowMeasured();
  if (capturing && FListed)
    FRetry.stop();
  else if (!FRetry.isActive())
    FRetry.start();
}

void TLiveInputs::Measure(const std::string& Name) {
  // A pick is the user's: whatever it meets is shown, even right after another box.
  FReported = false;
  FShown = Name;  // the pick has listed its lines
  TALAudioIn& capture = *FForm.ALAudioIn1;
  if (capture.Device().GetDeviceName() != Name || !capture.IsCapturing()) Restart(Name);
  if (FStarted) Sync();
}

void TLiveInputs::Restart(const std::string& Name) {
  // The capture opens its device only when it starts.
  TALAudioIn& capture = *FForm.ALAudioIn1;
  struct TRestarting {
    bool& Flag;
    explicit TRestarting(bool& AFlag) : Flag(AFlag) { Flag = true; }
    ~TRestarting() { Flag = false; }
  } restarting(FRestarting);
  capture.Device().SetDeviceName(Name);
  capture.SetEnabled(false);
  capture.SetEnabled(true);
}

void TLiveInputs::ShowMeasured() {
  TALAudioIn& capture = *FForm.ALAudioIn1;
  std::string measured;
  if (capture.IsCapturing()) {
    const std::string name = capture.Device().GetDeviceName();
    measured = FollowsDefault(name) ? capture.CurrentDeviceName() : name;
  }
  const int index = measured.empty() ? -1 : IndexOfDevice(FForm, measured);
  FForm.lstDevices->setCurrentIndex(index);
  const std::string shown = index >= 0 ? ItemText(FForm.lstDevices, index) : "";
  if (shown == FShown) return;
  FShown = shown;
  ShowLinesOf(index);
}

void TLiveInputs::ShowLinesOf(int Index) {
  // Shown, not chosen: nothing is selected in the control and nothing goes to the preferences.
  QComboBox* lines = FForm.lstDeviceLines;
  lines->clear();
  if (Index < 0 || !FForm.rec) return;
  try {
    FForm.rec->SetDeviceIndex(Index);
    const int32_t m = FForm.rec->GetDeviceLineCount();
    for (int32_t nID = 0; nID < m; ++nID)
      lines->addItem(QString::fromStdString(FForm.rec->GetDeviceLineName(nID)));
    // The control lists first the line that records.
    lines->setCurrentIndex(0);
  } catch (const std::exception&) {
  }
}

void TLiveInputs::CaptureError(const std::string& Text, uint32_t Code) {
  // A run that ended by itself: where to go next. A restart that failed is tried again with the
  // retries.
  if (FStarted && !FRestarting && !FSettle.isActive()) FSettle.start();
  if (FReported) return;
  FReported = true;
  FPending.emplace(Text, Code);
  // Shown from the event loop: the capture reports from inside its own calls.
  QMetaObject::invokeMethod(
      this, [this] { ShowPendingError(); }, Qt::QueuedConnection);
}

void TLiveInputs::ShowPendingError() {
  if (!FPending) return;
  const auto [text, code] = *FPending;
  FPending.reset();
  const QString message =
      text == CantOpen && FForm.lstDevices->count() == 0
          ? Text("TLiveInputs",
                 QT_TRANSLATE_NOOP("TLiveInputs", "Aucune entrée audio n'est disponible."))
          : QString::asprintf("%s - %u - %x", text.c_str(), code, code);
  // One box at a time, shown without a modal loop of its own, so that nothing the event loop
  // is doing meanwhile (an open list, another box) can keep it from appearing.
  if (FBox) {
    FBox->setText(message);
    return;
  }
  auto* box =
      new QMessageBox(QMessageBox::Critical, FForm.windowTitle(), message, QMessageBox::Ok, &FForm);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(Qt::ApplicationModal);
  FBox = box;
  box->show();
}
