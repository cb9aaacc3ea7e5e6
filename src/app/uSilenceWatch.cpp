#include "app/uSilenceWatch.h"

#include "app/frmMain.h"
#include "capture/ALAudioIn.h"
#include "meter_display/lxVumeter.h"
#include "metering/ALPPMMeter.h"

#include <QLabel>

TSilenceWatch::TSilenceWatch(TfmMain& Form) : FForm(Form) {
  FTimer.setInterval(Tick);
  connect(&FTimer, &QTimer::timeout, this, [this] { Check(); });
}

void TSilenceWatch::Start() {
  FDelivered = FForm.ALAudioIn1->DeliveredBuffers();
  FLastAudio = TClock::now();
  FTimer.start();
  if (!FForm.ALAudioIn1->IsCapturing()) {
    ShowNothing();
    FShown = TShown::Nothing;
  }
}

void TSilenceWatch::Check() {
  const TClock::time_point now = TClock::now();
  TALAudioIn& capture = *FForm.ALAudioIn1;
  const uint64_t delivered = capture.DeliveredBuffers();
  if (delivered != FDelivered) {
    FDelivered = delivered;
    FLastAudio = now;
    FEverHeard = FHeardSinceShown = true;
    if (!FAudioSince) FAudioSince = now;
    if (FShown != TShown::Measuring && now - *FAudioSince >= MeasuringAfter) {
      ShowMeterValues();
      FShown = TShown::Measuring;
    }
    return;
  }
  if (now - FLastAudio < SilentAfter) return;
  FAudioSince.reset();
  const TShown shown = FEverHeard || capture.IsCapturing() ? TShown::Silent : TShown::Nothing;
  // Audio since the display was last set here may have brought the meter's values to it.
  if (shown == FShown && !FHeardSinceShown) return;
  if (shown == TShown::Silent)
    ShowSilence();
  else
    ShowNothing();
  FShown = shown;
  FHeardSinceShown = false;
}

double TSilenceWatch::FullScale() {
  const uint32_t bits = FForm.ALAudioIn1->AudioFormat().GetBits();
  return bits >= 2 && bits <= 32 ? static_cast<double>((uint64_t{1} << (bits - 1)) - 1) : 32767.0;
}

// The values the meter holds: when they did not change while the display showed silence, the
// meter has not said them again.
void TSilenceWatch::ShowMeterValues() {
  TOWPinList& pins = *FForm.ALPPMMeter1->OutputPins();
  for (int32_t channel = 0; channel < 2 && channel < pins.Count(); ++channel) {
    auto* pin = dynamic_cast<TOWRealRangedSourcePin*>(pins.GetPin(channel));
    if (pin == nullptr) continue;
    const double max = pin->GetMax();
    if (max > 0)
      FForm.ALPPMMeter1ValueChange(nullptr, channel, pin->GetValue(), pin->GetMin(), max);
    else
      FForm.ALPPMMeter1ValueChange(nullptr, channel, 0.0, 0.0, FullScale());
  }
}

void TSilenceWatch::ShowSilence() {
  for (int32_t channel = 0; channel < 2; ++channel)
    FForm.ALPPMMeter1ValueChange(nullptr, channel, 0.0, 0.0, FullScale());
}

void TSilenceWatch::ShowNothing() {
  FForm.Vumeter->SetLeftValue(0);
  FForm.Vumeter->SetRightValue(0);
  for (QLabel* label : {FForm.lblLeft, FForm.lblRight, FForm.lblPeakLeft, FForm.lblPeakRight})
    label->clear();
}
