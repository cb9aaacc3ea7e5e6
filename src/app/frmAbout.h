#pragma once

#include <QDialog>

#include "app/ExeInfo.h"

class QFrame;
class QLabel;
class QPushButton;
class TGradientBackground;
class TScrollText;

// The "A propos..." dialog: the program's icon, name and description, the version strings of
// a version resource (the executable's own unless another is given), and a strip of thanks
// that scrolls while the dialog is open. "OK" or Enter closes it; Escape does not.
class TfmAbout : public QDialog {
  Q_OBJECT
public:
  explicit TfmAbout(QWidget* Owner, const TVersionResource* Resource = ExeVersionResource());

  // The components, back to front, under their design names.
  TGradientBackground* VrGradient1;
  QLabel* lblThanks;
  QLabel* ProgramIcon;
  QFrame* Bevel2;
  QLabel* Image1;
  QLabel* Image2;
  QLabel* Image3;
  QLabel* Version;
  QLabel* Copyright;
  QLabel* Comments;
  QFrame* Bevel1;
  QLabel* Label2;
  QLabel* RTFLabel1;
  QLabel* lblVersion;
  QLabel* lblCopyright;
  QLabel* lblComments;
  QPushButton* btnOK;
  TScrollText* JvScrollText1;
  TExeInfo ExeInfo1;

protected:
  void keyPressEvent(QKeyEvent* Event) override;
  void showEvent(QShowEvent* Event) override;

private:
  void CentreOnScreen();
  void FormCreate();
  void FormClose();
};
