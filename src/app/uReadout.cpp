#include "app/uReadout.h"

#include <QEvent>
#include <QPainter>

#include <map>

namespace {

// More texts than the readouts show (a decibel value with one decimal, or a percentage); past
// this a font's store starts again.
constexpr qsizetype MaxTexts = 2048;

// By font; a map, so that a readout may keep a pointer to its font's store. Never destroyed:
// laid-out texts hold on to fonts, which must not be released after the application is gone.
std::map<QString, QHash<QString, QStaticText>>& LaidOutByFont() {
  static auto* stores = new std::map<QString, QHash<QString, QStaticText>>;
  return *stores;
}

}  // namespace

TReadout::TReadout(const QString& Text, QWidget* Parent)
    : QLabel(Text, Parent), FLaidOut(&LaidOutByFont()[font().key()]) {
  setTextFormat(Qt::PlainText);
}

void TReadout::paintEvent(QPaintEvent* Event) {
  const QString& text = this->text();
  // Frames, margins, indents, other alignments and the disabled look are the label's own.
  if (alignment() != Qt::AlignCenter || frameShape() != QFrame::NoFrame || margin() != 0 ||
      indent() > 0 || !isEnabled() || text.isEmpty() || text.contains(QLatin1Char('\n'))) {
    QLabel::paintEvent(Event);
    return;
  }
  QPainter painter(this);
  auto laidOut = FLaidOut->find(text);
  if (laidOut == FLaidOut->end()) {
    if (FLaidOut->size() >= MaxTexts) FLaidOut->clear();
    QStaticText staticText(text);
    staticText.setTextFormat(Qt::PlainText);
    staticText.prepare(painter.transform(), font());
    laidOut = FLaidOut->insert(text, staticText);
  }
  painter.setPen(palette().color(foregroundRole()));
  // The label centres its text at fractional positions, and so does this.
  const QRectF area = contentsRect();
  const QSizeF size = laidOut->size();
  painter.drawStaticText(QPointF(area.x() + (area.width() - size.width()) / 2,
                                 area.y() + (area.height() - size.height()) / 2),
                         *laidOut);
}

void TReadout::changeEvent(QEvent* Event) {
  if (Event->type() == QEvent::FontChange) FLaidOut = &LaidOutByFont()[font().key()];
  QLabel::changeEvent(Event);
}
