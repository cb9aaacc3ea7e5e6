#pragma once
// Keeps the window's device lists and its capture in step with the inputs that the system has now.
// The capture measures the device that the user chose (at start-up, the saved one) while it is
// there. Without such a choice, or until the chosen device shows up, it follows the system's
// default input, wherever the user moves that. A device that was measured and goes away is
// waited for and measured again as soon as it comes back, a sound server that restarted
// included. The device list shows the input that is measured, and none while nothing is.
//
// The lists are read again when the recording control reports a change (a sound server does),
// when the device list is opened (the cards of a machine without a server cannot tell), and
// every second while there is nothing to measure. The capture's errors are shown one box at a
// time, once per outage: a device that stays away is not reported again at every retry.

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QMessageBox;
class TfmMain;

class TLiveInputs final : public QObject {
public:
  static constexpr int SettleMs = 150;  // news of a change comes in bursts
  static constexpr int RetryMs = 1000;

  explicit TLiveInputs(TfmMain& Form);

  // Once the window's creation has applied the preferences: from now on the lists and the
  // capture follow the system.
  void Start();
  // The user picked the device Name: it is measured from now on, and waited for when it goes.
  void Measure(const std::string& Name);
  // Reads the lists again and puts the capture where it belongs.
  void Sync();
  // An error of the capture, reported from inside its calls: shown later, from the event loop.
  void CaptureError(const std::string& Text, uint32_t Code);

protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
  void Watch();
  std::vector<std::string> ListDevices();
  void ShowDevices(const std::vector<std::string>& Names);
  void Restart(const std::string& Name);
  void ShowMeasured();
  void ShowLinesOf(int Index);
  void ShowPendingError();

  TfmMain& FForm;
  QTimer FSettle;
  QTimer FRetry;
  bool FStarted = false;
  bool FRestarting = false;
  bool FListed = false;    // the control answered the last listing with some device
  std::string FShown;      // the device whose lines are listed
  bool FReported = false;  // the current outage has been shown
  std::optional<std::pair<std::string, uint32_t>> FPending;  // the error still to show
  QPointer<QMessageBox> FBox;
};
