#pragma once
// State pins: a pin that holds a value for others to set and read, and tells its owner when
// a value set from outside changes it.

#include <atomic>
#include <functional>
#include <memory>

#include "dataflow/OWPins.h"

class TOWBoolStatePin : public TOWPin {
public:
  using TChangeEvent = std::function<void(TOWBoolStatePin* Sender, bool AValue)>;

  TOWBoolStatePin(TLPComponent* AOwner, std::shared_ptr<IOWLock> AOwnerLock, bool AValue,
                  TChangeEvent AOnChange);

  bool GetValue() const { return FValue.load(); }
  // From outside: stores AValue and tells the owner when it differs.
  void SetValue(bool AValue);
  // The owner mirroring its own state: no call back.
  void UpdateValue(bool AValue) { FValue.store(AValue); }
  bool DependsOn(const TOWBasicPin*) override { return false; }

private:
  std::atomic<bool> FValue;
  TChangeEvent FOnChange;
};
