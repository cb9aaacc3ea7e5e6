#pragma once

#include <QLabel>

// A latching clip lamp: lit when the channel's samples reached the capture format's full
// scale, it stays lit until the user clicks it or resets the peaks.
class TClipIndicator : public QLabel {
  Q_OBJECT

public:
  explicit TClipIndicator(QWidget* Parent);

  bool Lit() const { return FLit; }
  void SetLit(bool Value);

protected:
  void mousePressEvent(QMouseEvent* Event) override;

private:
  bool FLit = true;
};
