#pragma once

#include <QStringList>
#include <QTimer>
#include <QWidget>

// A strip through which a block of text lines scrolls upward, 1 pixel per step, without end:
// once the block has left through the top it comes in again from the bottom edge.
class TScrollText : public QWidget {
  Q_OBJECT
public:
  static constexpr int StepInterval = 100;  // ms

  TScrollText(const QStringList& Lines, QWidget* Parent);

  void Start();
  void Stop();
  bool Active() const { return FTimer.isActive(); }

  // One step of the movement; the timer calls it, and it may be called directly.
  void Step();

  // The block's top edge relative to the strip's top edge, and its height (never shorter
  // than the strip).
  int BlockTop() const { return FBlockTop; }
  int BlockHeight() const;

protected:
  void paintEvent(QPaintEvent* Event) override;

private:
  static constexpr int TextMargin = 2;  // px left of each line

  int LineHeight() const;

  QStringList FLines;
  QTimer FTimer;
  int FBlockTop = 0;
};
