#include "app/uClipIndicator.h"

#include <QMouseEvent>

TClipIndicator::TClipIndicator(QWidget* Parent) : QLabel(QStringLiteral("CLIP"), Parent) {
  setAlignment(Qt::AlignCenter);
  setFont(QFont(QStringLiteral("Tahoma"), 7, QFont::Bold));
  setCursor(Qt::PointingHandCursor);
  setToolTip(tr("Écrêtage : cliquer pour éteindre"));
  SetLit(false);
}

void TClipIndicator::SetLit(bool Value) {
  if (Value == FLit) return;
  FLit = Value;
  // Unlit, it keeps the readouts' dark red so that it reads as a lamp that is off.
  setStyleSheet(FLit ? QStringLiteral("color: white; background: #FF0000;")
                     : QStringLiteral("color: #800000; background: #400000;"));
}

void TClipIndicator::mousePressEvent(QMouseEvent* Event) {
  if (Event->button() == Qt::LeftButton) {
    SetLit(false);
    Event->accept();
    return;
  }
  QLabel::mousePressEvent(Event);
}
