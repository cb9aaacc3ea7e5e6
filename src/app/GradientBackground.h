#pragma once

#include <QColor>
#include <QWidget>

// A background that grades its colour from top to bottom; children are drawn over it.
class TGradientBackground : public QWidget {
  Q_OBJECT
public:
  TGradientBackground(const QColor& TopColor, const QColor& BottomColor, QWidget* Parent);

protected:
  void paintEvent(QPaintEvent* Event) override;

private:
  QColor FTopColor;
  QColor FBottomColor;
};
