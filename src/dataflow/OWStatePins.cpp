#include "dataflow/OWStatePins.h"

TOWBoolStatePin::TOWBoolStatePin(TLPComponent* AOwner, std::shared_ptr<IOWLock> AOwnerLock,
                                 bool AValue, TChangeEvent AOnChange)
    : TOWPin(AOwner, std::move(AOwnerLock)), FValue(AValue), FOnChange(std::move(AOnChange)) {}

void TOWBoolStatePin::SetValue(bool AValue) {
  if (FValue.exchange(AValue) != AValue && FOnChange) FOnChange(this, AValue);
}
