#include "meter_display/lxVumeter.h"

#include <QApplication>
#include <QVBoxLayout>
#include <QWidget>

// A plain window filled by the meter, until the main window takes its place.
int main(int argc, char* argv[])
{
    QApplication app(argc, argv);

    QWidget window;
    window.setWindowTitle("Stereolux");
    window.resize(548, 194);

    auto* meter = new TlxVuMeter(&window);
    meter->SetOrientation(voHorizontal);
    meter->SetLedSpacing(1);
    meter->SetPeakShow(false);
    meter->SetLeftValue(0);
    meter->SetRightValue(0);
    meter->PeakReset();

    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(meter);

    window.show();
    return app.exec();
}
