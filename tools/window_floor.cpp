// The least a Qt window can cost while it shows levels: a bare window of Stereolux's first-start
// size that, ten times a second (the rate at which the meter receives its levels), repaints a
// bar-sized rectangle in another colour and writes a new number into a label, with no sound
// and no work of its own. tools/window_cpu.sh measures it beside Stereolux, so that the drawing
// toolkit's own share on the machine at hand is known. To see where that share goes, `bar` leaves
// the label alone and `idle` changes nothing while the timer still fires.
//   window-floor [bar|idle]
#include <QApplication>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <string>

namespace {

class TBar final : public QWidget {
public:
  using QWidget::QWidget;

  void Step() {
    ++FStep;
    update(0, 0, 200, 20);
  }

protected:
  void paintEvent(QPaintEvent* Event) override {
    QPainter painter(this);
    painter.fillRect(Event->rect(), FStep % 2 != 0 ? Qt::red : Qt::green);
  }

private:
  int FStep = 0;
};

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (argc > 2 || (!mode.empty() && mode != "bar" && mode != "idle")) {
    std::fprintf(stderr, "usage: window-floor [bar|idle]\n");
    return 2;
  }
  const bool drawBar = mode != "idle";
  const bool writeText = mode.empty();
  QApplication app(argc, argv);
  QWidget window;
  window.setWindowTitle(QStringLiteral("window-floor"));
  window.resize(548, 194);
  // Placed by hand, as the program places its panels, without a layout to recompute.
  auto* bar = new TBar(&window);
  bar->setGeometry(8, 8, 532, 40);
  auto* readout = new QLabel(&window);
  readout->setGeometry(8, 56, 80, 20);
  window.show();

  int step = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    if (drawBar) bar->Step();
    if (writeText) readout->setText(QString::number(-(++step % 600) / 10.0, 'f', 1));
  });
  timer.start(100);
  return app.exec();
}
