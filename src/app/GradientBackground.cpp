#include "app/GradientBackground.h"

#include <QLinearGradient>
#include <QPainter>

TGradientBackground::TGradientBackground(const QColor& TopColor, const QColor& BottomColor,
                                         QWidget* Parent)
    : QWidget(Parent), FTopColor(TopColor), FBottomColor(BottomColor) {}

void TGradientBackground::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  // The stops sit on the centres of the first and last rows so both end colours are reached.
  QLinearGradient gradient(0, 0.5, 0, height() - 0.5);
  gradient.setColorAt(0, FTopColor);
  gradient.setColorAt(1, FBottomColor);
  painter.fillRect(rect(), gradient);
}
