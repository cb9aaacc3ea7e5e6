#include "app/uAppIcon.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>

namespace {

QPixmap IconPixmap(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::black);
  QPainter painter(&pixmap);
  // Drawn on a 16-unit grid: two bars of eight LEDs, the right one a little lower.
  painter.scale(size / 16.0, size / 16.0);
  const int lit[2] = {7, 5};
  for (int bar = 0; bar < 2; ++bar) {
    for (int led = 0; led < 8; ++led) {
      const QColor on = led >= 7   ? QColor(255, 0, 0)
                        : led >= 5 ? QColor(255, 255, 0)
                                   : QColor(0, 255, 0);
      const QColor colour = led < lit[bar] ? on : on.darker(400);
      painter.fillRect(QRectF(2 + bar * 7, 14 - led * 1.75, 5, 1.25), colour);
    }
  }
  return pixmap;
}

}  // namespace

QIcon StereoluxIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(IconPixmap(size));
  return icon;
}

void ApplyAppIdentity() {
  QGuiApplication::setDesktopFileName(QString::fromLatin1(StereoluxAppId));
  QGuiApplication::setWindowIcon(StereoluxIcon());
}
