#include "capture/dialog/DSDeviceListFormUnit.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <vector>

#include "capture/ALAudioIn.h"

namespace {

QString AsciiUpper(const QString& AText) {
  QString upper = AText;
  for (QChar& c : upper) {
    if (c >= QLatin1Char('a') && c <= QLatin1Char('z')) c = QChar(c.unicode() - 'a' + 'A');
  }
  return upper;
}

}  // namespace

TDSDeviceListForm::TDSDeviceListForm(QWidget* AOwner) : TDSDeviceListForm(AOwner, true, true) {}

TDSDeviceListForm::TDSDeviceListForm(QWidget* AOwner, bool UseNone, bool UseDefault)
    : QDialog(AOwner) {
  setWindowTitle(QStringLiteral("Devices"));
  resize(346, 290);
  setMinimumSize(200, 160);

  ListBox = new QListWidget(this);
  OKButton = new QPushButton(QStringLiteral("OK"));
  CancelButton = new QPushButton(QStringLiteral("Cancel"));
  for (QPushButton* button : {OKButton, CancelButton}) button->setFixedSize(75, 25);
  OKButton->setDefault(true);

  // Panel1 along the bottom (41 high) holds Panel2 on its right (185 wide) with the buttons.
  auto* panel2 = new QWidget;
  panel2->setFixedWidth(185);
  auto* buttons = new QHBoxLayout(panel2);
  buttons->setContentsMargins(8, 8, 8, 8);
  buttons->setSpacing(13);
  buttons->addWidget(OKButton);
  buttons->addWidget(CancelButton);
  buttons->addStretch();
  auto* panel1 = new QWidget;
  panel1->setFixedHeight(41);
  auto* bottom = new QHBoxLayout(panel1);
  bottom->setContentsMargins(0, 0, 0, 0);
  bottom->addStretch();
  bottom->addWidget(panel2);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(ListBox);
  layout->addWidget(panel1);

  if (UseNone) ListBox->addItem(QStringLiteral("None"));
  if (UseDefault) ListBox->addItem(QStringLiteral("Default"));

  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
  connect(ListBox, &QListWidget::itemDoubleClicked, this, [this] { ListBoxDblClick(); });
}

bool TDSDeviceListForm::Execute(const std::string& DeviceName) {
  if (ListBox->count() > 0) ListBox->setCurrentRow(0);
  const QString wanted = AsciiUpper(QString::fromStdString(DeviceName));
  for (int i = 0; i < ListBox->count(); ++i) {
    if (AsciiUpper(ListBox->item(i)->text()) == wanted) {
      ListBox->setCurrentRow(i);
      break;
    }
  }
  if (QWidget* owner = parentWidget()) {
    move(owner->geometry().center() - rect().center());
  }
  return exec() == QDialog::Accepted;
}

bool TDSDeviceListForm::Execute(const std::string& ACaption, const std::string& DeviceName) {
  setWindowTitle(QString::fromStdString(ACaption));
  return Execute(DeviceName);
}

std::string TDSDeviceListForm::GetSelection() const {
  const QListWidgetItem* item = ListBox->currentItem();
  return item != nullptr ? item->text().toStdString() : std::string();
}

void TDSDeviceListForm::ListBoxDblClick() { accept(); }

bool ShowDeviceSelctDialog(TALAudioCaptureDevice& ADevice) {
  // A hidden stand-in owner over the application's first window, so that the dialog is
  // centred on it without belonging to it.
  QWidget owner;
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (window->isWindow() && window->isVisible()) {
      owner.setGeometry(window->geometry());
      break;
    }
  }
  TDSDeviceListForm dialog(&owner);
  std::vector<std::string> names;
  ADevice.GetDeviceList(names);
  for (const std::string& name : names) dialog.ListBox->addItem(QString::fromStdString(name));
  if (!dialog.Execute(ADevice.GetDeviceName())) return false;
  ADevice.SetDeviceName(dialog.GetSelection());
  return true;
}
