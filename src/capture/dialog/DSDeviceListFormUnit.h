#pragma once
// A small modal dialog that lets the user pick a capture device from a list.

#include <QDialog>
#include <QString>
#include <string>

class QListWidget;
class QPushButton;
class QWidget;
class TALAudioCaptureDevice;

class TDSDeviceListForm : public QDialog {
  Q_OBJECT

public:
  // The list starts with "None" and "Default".
  explicit TDSDeviceListForm(QWidget* AOwner);
  // The list starts with "None" when UseNone, then "Default" when UseDefault.
  TDSDeviceListForm(QWidget* AOwner, bool UseNone, bool UseDefault);

  // Preselects the entry named DeviceName (letter case aside; the first entry when none is)
  // and shows the dialog modally; true when it was closed with OK.
  bool Execute(const std::string& DeviceName);
  bool Execute(const std::string& ACaption, const std::string& DeviceName);
  std::string GetSelection() const;

  QListWidget* ListBox;
  QPushButton* OKButton;
  QPushButton* CancelButton;

private:
  void ListBoxDblClick();
};

// Shows the dialog over the application's first top-level window, with the device's names;
// a confirmed choice becomes the device's DeviceName.
bool ShowDeviceSelctDialog(TALAudioCaptureDevice& ADevice);
