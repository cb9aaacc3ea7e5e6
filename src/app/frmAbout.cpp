#include "app/frmAbout.h"

#include <QApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

#include "app/GradientBackground.h"
#include "app/ScrollText.h"
#include "app/uAppIcon.h"

namespace {

const QColor Maroon(128, 0, 0);
const QColor Yellow(255, 255, 0);
const QColor Aqua(0, 255, 255);
const QColor Blue(0, 0, 255);

// The dialog is laid out in pixels, so its fonts are too: a point size as it would be drawn
// at 96 dots per inch, whatever the screen's text size.
QFont DesignFont(const QString& Family, int Points, bool Bold = false) {
  QFont font(Family);
  font.setPixelSize((Points * 96 + 36) / 72);
  font.setBold(Bold);
  return font;
}

void SetTextColour(QWidget* Widget, const QColor& Colour) {
  QPalette palette = Widget->palette();
  palette.setColor(QPalette::WindowText, Colour);
  Widget->setPalette(palette);
}

// An auto-sized, transparent label at its top-left corner.
QLabel* NewLabel(QWidget* Parent, const QString& Text, int Left, int Top, const QColor& Colour) {
  auto* label = new QLabel(Text, Parent);
  label->setTextFormat(Qt::PlainText);
  SetTextColour(label, Colour);
  label->move(Left, Top);
  label->adjustSize();
  return label;
}

// A lowered line along the top edge of the given bounds.
QFrame* NewBevelTopLine(QWidget* Parent, int Left, int Top, int Width) {
  auto* bevel = new QFrame(Parent);
  bevel->setFrameShape(QFrame::HLine);
  bevel->setFrameShadow(QFrame::Sunken);
  bevel->setGeometry(Left, Top, Width, 2);
  return bevel;
}

QPixmap BulletPixmap() {
  QPixmap pixmap(12, 12);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setPen(QColor(0, 0, 128));
  painter.setBrush(Yellow);
  painter.drawEllipse(2, 2, 7, 7);
  return pixmap;
}

QLabel* NewImage(QWidget* Parent, const QPixmap& Pixmap, const QRect& Bounds) {
  auto* image = new QLabel(Parent);
  image->setGeometry(Bounds);
  image->setScaledContents(true);
  image->setPixmap(Pixmap);
  return image;
}

// The program's name in three colour runs; the last keeps the label's own text colour.
QString TitleHtml() {
  return QStringLiteral(
      "<span style=\"color:#000000\">Stereo</span>"
      "<span style=\"color:#ff0000\">lu</span>"
      "<span>x</span>");
}

QStringList ThanksLines() {
  return {
      TfmAbout::tr("Merci aux premiers utilisateurs"),
      TfmAbout::tr("pour leurs essais et leurs idées,"),
      TfmAbout::tr("et aux auteurs du logiciel libre."),
  };
}

}  // namespace

TfmAbout::TfmAbout(QWidget* Owner, const TVersionResource* Resource)
    : QDialog(Owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), ExeInfo1(Resource) {
  setObjectName("fmAbout");
  setWindowTitle(tr("A propos..."));
  setFont(DesignFont("Arial", 8));
  setFixedSize(305, 193);

  VrGradient1 = new TGradientBackground(Aqua, Blue, this);
  VrGradient1->setGeometry(rect());

  lblThanks = NewLabel(this, tr("Remerciements"), 8, 144, Maroon);

  ProgramIcon = new QLabel(this);
  ProgramIcon->setGeometry(16, 16, 32, 32);
  ProgramIcon->setScaledContents(true);

  Bevel2 = NewBevelTopLine(this, 16, 56, 273);

  const QPixmap bullet = BulletPixmap();
  Image1 = NewImage(this, bullet, QRect(16, 72, 12, 12));
  Image2 = NewImage(this, bullet, QRect(16, 88, 12, 12));
  Image3 = NewImage(this, bullet, QRect(16, 104, 12, 12));

  Version = NewLabel(this, tr("Version :"), 32, 72, Maroon);
  Copyright = NewLabel(this, tr("Copyright :"), 32, 88, Maroon);
  Comments = NewLabel(this, tr("Commentaires :"), 32, 104, Maroon);

  Bevel1 = NewBevelTopLine(this, 8, 136, 289);

  Label2 = new QLabel(tr("Petit vumètre redimensionnable"), this);
  Label2->setAlignment(Qt::AlignRight | Qt::AlignTop);
  Label2->adjustSize();
  Label2->move(289 - Label2->width(), 40);

  RTFLabel1 = new QLabel(this);
  RTFLabel1->setGeometry(72, 8, 225, 33);
  RTFLabel1->setFont(DesignFont("Arial", 18, true));
  RTFLabel1->setTextFormat(Qt::RichText);
  RTFLabel1->setWordWrap(false);
  RTFLabel1->setAlignment(Qt::AlignRight | Qt::AlignTop);
  RTFLabel1->setText(TitleHtml());

  lblVersion = NewLabel(this, QString(), 112, 72, Yellow);
  lblCopyright = NewLabel(this, QString(), 112, 88, Yellow);
  lblComments = NewLabel(this, QString(), 112, 104, Yellow);

  btnOK = new QPushButton(QStringLiteral("OK"), this);
  btnOK->setGeometry(216, 160, 81, 25);
  btnOK->setDefault(true);
  connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);

  JvScrollText1 = new TScrollText(ThanksLines(), this);
  JvScrollText1->setGeometry(8, 160, 200, 25);
  JvScrollText1->setFont(DesignFont("MS Sans Serif", 8));
  QPalette stripPalette = JvScrollText1->palette();
  stripPalette.setColor(QPalette::Window, Blue);
  stripPalette.setColor(QPalette::WindowText, Aqua);
  JvScrollText1->setPalette(stripPalette);

  // Every way of closing (OK, Enter, the close box, the system) ends in finished().
  connect(this, &QDialog::finished, this, &TfmAbout::FormClose);

  // Placed now so that showing does not centre it on its owner instead.
  CentreOnScreen();
  FormCreate();
}

void TfmAbout::FormCreate() {
  JvScrollText1->Start();
  const QIcon appIcon = QApplication::windowIcon();
  ProgramIcon->setPixmap((appIcon.isNull() ? StereoluxIcon() : appIcon).pixmap(32, 32));
  const auto setLabel = [](QLabel* label, const std::string& text) {
    label->setText(QString::fromStdString(text));
    label->adjustSize();
  };
  setLabel(lblVersion, ExeInfo1.FileVersion());
  setLabel(lblCopyright, ExeInfo1.LegalCopyright());
  setLabel(lblComments, ExeInfo1.Comments());
}

void TfmAbout::CentreOnScreen() {
  if (const QScreen* screen = this->screen()) {
    QRect bounds = frameGeometry();
    bounds.moveCenter(screen->availableGeometry().center());
    move(bounds.topLeft());
  }
}

void TfmAbout::showEvent(QShowEvent* Event) {
  QDialog::showEvent(Event);
  // The window frame is known only once the window exists; centre the whole of it.
  if (!Event->spontaneous()) CentreOnScreen();
}

void TfmAbout::FormClose() { JvScrollText1->Stop(); }

void TfmAbout::keyPressEvent(QKeyEvent* Event) {
  // There is no cancel button, so Escape must not close the dialog.
  if (Event->matches(QKeySequence::Cancel)) {
    Event->accept();
    return;
  }
  QDialog::keyPressEvent(Event);
}
