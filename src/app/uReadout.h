#pragma once

#include <QLabel>
#include <QStaticText>

#include <QHash>

// A numeric readout of the level panel: a label whose text changes with every measured block.
// Laying a text out (shaping it) costs far more than drawing it, and the readouts only ever show
// about a thousand different texts, so each text is laid out once per font and kept for every
// readout. It looks exactly like a plain centred label; any other use of the label is drawn by
// the label itself.
class TReadout : public QLabel {
  Q_OBJECT

public:
  TReadout(const QString& Text, QWidget* Parent);

protected:
  void paintEvent(QPaintEvent* Event) override;
  void changeEvent(QEvent* Event) override;

private:
  using TLaidOut = QHash<QString, QStaticText>;
  // The texts laid out in this readout's font, shared with the readouts in the same font.
  TLaidOut* FLaidOut;
};
