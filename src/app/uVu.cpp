#include "app/uVu.h"

#include "app/frmMain.h"
#include "meter_display/lxVumeter.h"

TVuState VuState;

void SetVuVertical(TfmMain& Form, bool Vertical) {
  VuState.Vertical = Vertical;
  const int32_t h = Form.ClientHeight();
  const int32_t w = Form.ClientWidth();
  Form.SetClientHeight(w);
  Form.SetClientWidth(h);
  Form.Vumeter->SetOrientation(Vertical ? voVertical : voHorizontal);
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
}
