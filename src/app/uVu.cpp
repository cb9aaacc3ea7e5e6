#include "app/uVu.h"

#include "app/frmMain.h"
#include "app/uClipIndicator.h"
#include "app/uWindowState.h"
#include "meter_display/lxVumeter.h"

TVuState VuState;

void SetVuVertical(TfmMain& Form, bool Vertical) {
  const int32_t h = Form.ClientHeight();
  const int32_t w = Form.ClientWidth();
  // The window's smallest size depends on the orientation, so the meter turns first.
  ShowVuOrientation(Form, Vertical);
  PlaceForm(Form, Form.pos(), QSize(h, w));
  Form.Vumeter->Paint();
}

void ShowVuOrientation(TfmMain& Form, bool Vertical) {
  VuState.Vertical = Vertical;
  Form.Vumeter->SetOrientation(Vertical ? voVertical : voHorizontal);
  Form.FormResize(nullptr);
  Form.Vumeter->Paint();
}

void SetVuDotMode(TfmMain& Form, bool Dot) {
  VuState.DotMode = Dot;
  Form.Vumeter->SetGraphType(Dot ? gtSpot : gtBar);
  Form.Vumeter->Paint();
}

void ResetPeaks(TfmMain& Form) {
  Form.Vumeter->PeakReset();
  VuState.PeakMemLeft = 0.0;
  VuState.PeakMemRight = 0.0;
  Form.lblClipLeft->SetLit(false);
  Form.lblClipRight->SetLit(false);
}

void ResetChannelPeak(TfmMain& Form, int32_t Channel) {
  if (Channel == 0) {
    Form.Vumeter->LeftPeakReset();
    VuState.PeakMemLeft = 0.0;
    Form.lblClipLeft->SetLit(false);
  } else if (Channel == 1) {
    Form.Vumeter->RightPeakReset();
    VuState.PeakMemRight = 0.0;
    Form.lblClipRight->SetLit(false);
  }
  Form.Vumeter->Paint();
}
