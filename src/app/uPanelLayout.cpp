#include "app/uPanelLayout.h"

#include "app/frmMain.h"
#include "app/uAction.h"
#include "app/uClipIndicator.h"
#include "app/uVu.h"
#include "app/uVuScale.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>

#include <algorithm>

namespace {

// The design layouts end at these right edges; a window narrower than this stacks the panel.
constexpr int32_t ConfWideWidth = 535 + 8;
constexpr int32_t ConfWideHeight = 57;
constexpr int32_t ConfNarrowMinWidth = 180;
constexpr int32_t ConfNarrowHeight = 130;

constexpr int32_t LevelWideWidth = 353 + 8;
constexpr int32_t LevelWideHeight = 41;
constexpr int32_t LevelNarrowMinWidth = 188;
constexpr int32_t LevelNarrowHeight = 74;

// Sixteen LEDs at the window's pitch, and two bars with their margins.
constexpr int32_t MeterMinLength = 2 * 3 + 16 * 10 + 15 * 1;
constexpr int32_t MeterMinThickness = 2 * 3 + 2 * 5 + 4;

void LayoutConfig(TfmMain& F, int32_t W) {
  if (W >= ConfWideWidth) {
    F.lstDevices->setGeometry(8, 8, 209, 21);
    F.lstDeviceLines->setGeometry(8, 30, 209, 21);
    F.Label5->setGeometry(230, 9, 21, 14);
    F.Label6->setGeometry(230, 31, 21, 14);
    F.tbLevelLeft->setGeometry(256, 9, 150, 15);
    F.tbLevelRight->setGeometry(256, 31, 150, 15);
    F.lblLevelCoefLeft->setGeometry(408, 9, 40, 15);
    F.lblLevelCoefRight->setGeometry(408, 31, 40, 15);
    F.lblHalfLive->setGeometry(462, 8, 73, 14);
    F.seHalfLive->setGeometry(462, 24, 73, 22);
    F.pnlConf->setFixedHeight(ConfWideHeight);
    return;
  }
  // Device, line, left trim, right trim and release time, one under the other.
  W = std::max(W, ConfNarrowMinWidth);
  const int32_t trim = W - 32 - 2 - 40 - 8;
  F.lstDevices->setGeometry(8, 8, W - 16, 21);
  F.lstDeviceLines->setGeometry(8, 30, W - 16, 21);
  F.Label5->setGeometry(8, 57, 21, 14);
  F.tbLevelLeft->setGeometry(32, 57, trim, 15);
  F.lblLevelCoefLeft->setGeometry(W - 48, 57, 40, 15);
  F.Label6->setGeometry(8, 79, 21, 14);
  F.tbLevelRight->setGeometry(32, 79, trim, 15);
  F.lblLevelCoefRight->setGeometry(W - 48, 79, 40, 15);
  F.lblHalfLive->setGeometry(8, 104, 73, 14);
  F.seHalfLive->setGeometry(W - 8 - 73, 100, 73, 22);
  F.pnlConf->setFixedHeight(ConfNarrowHeight);
}

void LayoutLevel(TfmMain& F, int32_t W) {
  if (W >= LevelWideWidth) {
    F.Label3->setGeometry(8, 4, 21, 14);
    F.Label4->setGeometry(8, 20, 21, 14);
    F.lblLeft->setGeometry(32, 4, 104, 15);
    F.lblRight->setGeometry(32, 20, 104, 15);
    F.lblPeakLeft->setGeometry(138, 4, 104, 15);
    F.lblPeakRight->setGeometry(138, 20, 104, 15);
    // The design places the button right after the peak readouts; the clip lamps follow it.
    F.btnPeakReset->setGeometry(250, 8, 63, 25);
    F.lblClipLeft->setGeometry(321, 4, 32, 15);
    F.lblClipRight->setGeometry(321, 20, 32, 15);
    F.pnlLevel->setFixedHeight(LevelWideHeight);
    return;
  }
  // The current readouts with their clip lamps, the peak readouts under them, the button
  // beside the peaks.
  F.Label3->setGeometry(8, 4, 21, 14);
  F.Label4->setGeometry(8, 20, 21, 14);
  F.lblLeft->setGeometry(32, 4, 80, 15);
  F.lblRight->setGeometry(32, 20, 80, 15);
  F.lblPeakLeft->setGeometry(32, 38, 80, 15);
  F.lblPeakRight->setGeometry(32, 54, 80, 15);
  F.lblClipLeft->setGeometry(116, 4, 32, 15);
  F.lblClipRight->setGeometry(116, 20, 32, 15);
  F.btnPeakReset->setGeometry(116, 41, 63, 25);
  F.pnlLevel->setFixedHeight(LevelNarrowHeight);
}

}  // namespace

void LayoutPanels(TfmMain& Form, int32_t ClientWidth) {
  LayoutConfig(Form, ClientWidth);
  LayoutLevel(Form, ClientWidth);
}

QSize MinimumClientSize(const TfmMain& Form) {
  int32_t width = 0;
  int32_t height = 0;
  if (Form.ActShowPnlConfig->Checked()) {
    width = std::max(width, ConfNarrowMinWidth);
    height += Form.pnlConf->minimumHeight();  // as laid out, see FormResize
  }
  if (Form.ActShowPnlLevel->Checked()) {
    width = std::max(width, LevelNarrowMinWidth);
    height += Form.pnlLevel->minimumHeight();
  }
  const bool vertical = VuState.Vertical;
  const int32_t margin = VuState.Margin;
  const int32_t scale = Form.ActShowScale->Checked() ? TVuScale::Thickness(vertical) : 0;
  width = std::max(width, (vertical ? MeterMinThickness + scale : MeterMinLength) + margin);
  height += (vertical ? MeterMinLength : MeterMinThickness + scale) + margin;
  return {width, height};
}
