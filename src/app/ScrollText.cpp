#include "app/ScrollText.h"

#include <QPainter>
#include <algorithm>

TScrollText::TScrollText(const QStringList& Lines, QWidget* Parent)
    : QWidget(Parent), FLines(Lines) {
  FTimer.setInterval(StepInterval);
  connect(&FTimer, &QTimer::timeout, this, &TScrollText::Step);
}

void TScrollText::Start() {
  // Just out of sight above the strip: the first step brings the block in at the bottom.
  FBlockTop = -BlockHeight();
  FTimer.start();
  update();
}

void TScrollText::Stop() { FTimer.stop(); }

void TScrollText::Step() {
  --FBlockTop;
  if (FBlockTop + BlockHeight() < 0) FBlockTop = height();
  update();
}

int TScrollText::LineHeight() const { return fontMetrics().height(); }

int TScrollText::BlockHeight() const {
  return std::max(height(), static_cast<int>(FLines.size()) * LineHeight());
}

void TScrollText::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().color(QPalette::Window));
  painter.setPen(palette().color(QPalette::WindowText));
  const int lineHeight = LineHeight();
  for (int i = 0; i < FLines.size(); ++i) {
    const QRect line(0, FBlockTop + i * lineHeight, width(), lineHeight);
    if (line.intersects(rect()))
      painter.drawText(line.adjusted(TextMargin, 0, 0, 0),
                       Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, FLines[i]);
  }
}
