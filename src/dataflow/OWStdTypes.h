#pragma once
// The vocabulary that pins exchange: notify operations, the state and result sets of a
// delivery, and stream types.

#include <cstdint>
#include <initializer_list>
#include <memory>

class TLPComponent;
class TOWBasicPin;

// A small set over an enumeration of at most 32 items.
template <typename E>
class TOWEnumSet {
public:
  constexpr TOWEnumSet() = default;
  constexpr TOWEnumSet(std::initializer_list<E> AItems) {
    for (E item : AItems) {
      FBits |= Bit(item);
    }
  }
  constexpr bool Contains(E AItem) const { return (FBits & Bit(AItem)) != 0; }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr friend bool operator==(TOWEnumSet, TOWEnumSet) = default;

private:
  static constexpr uint32_t Bit(E AItem) { return uint32_t{1} << static_cast<uint32_t>(AItem); }
  uint32_t FBits = 0;
};

enum class TOWNotifyStateItem : uint8_t { nsNewLink, nsLastIteration };
using TOWNotifyState = TOWEnumSet<TOWNotifyStateItem>;
inline constexpr TOWNotifyStateItem nsNewLink = TOWNotifyStateItem::nsNewLink;
inline constexpr TOWNotifyStateItem nsLastIteration = TOWNotifyStateItem::nsLastIteration;

enum class TOWNotifyResultItem : uint8_t { nrDataChanged };
using TOWNotifyResult = TOWEnumSet<TOWNotifyResultItem>;
inline constexpr TOWNotifyResultItem nrDataChanged = TOWNotifyResultItem::nrDataChanged;

enum class TOWPumpType : uint8_t { ptNone, ptSlave, ptMaster, ptHardware };

// ---------------------------------------------------------------- operations

class TOWNotifyOperation;

// The handle through which operations travel; receivers tell operations apart by the class
// of the object behind it (an end-stop is a stop, a start-wave is a start).
class IOWNotifyOperation {
public:
  virtual ~IOWNotifyOperation() = default;
  virtual TOWNotifyOperation& Instance() = 0;
};

using TOWOperationPtr = std::shared_ptr<IOWNotifyOperation>;

// The next number of the process-wide operation counter; the first is 1.
uint32_t OWNextOperationID();

class TOWNotifyOperation : public IOWNotifyOperation {
public:
  TOWNotifyOperation() : FOperationID(OWNextOperationID()) {}
  TOWNotifyOperation& Instance() override { return *this; }
  uint32_t GetOperationID() const { return FOperationID; }

protected:
  uint32_t FOperationID;
};

class TOWStartOperation : public TOWNotifyOperation {};

class TOWStartRateOperation : public TOWStartOperation {
public:
  explicit TOWStartRateOperation(float ARate) : Rate(ARate) {}
  float Rate;
};

class TOWStartSampleRateOperation : public TOWStartRateOperation {
public:
  explicit TOWStartSampleRateOperation(double ASampleRate)
      : TOWStartRateOperation(static_cast<float>(ASampleRate)), SampleRate(ASampleRate) {}
  double SampleRate;
};

class TOWStopOperation : public TOWNotifyOperation {};

class TOWEndStopOperation : public TOWStopOperation {};

class TOWClockOperation : public TOWNotifyOperation {};

class TOWSuppliedOperation : public TOWClockOperation {};

class TOWPumpRequestOperation : public TOWNotifyOperation {
public:
  TOWPumpRequestOperation(TLPComponent* APump, float ADesiredRate, int32_t APumpPriority,
                          TOWPumpType APumpType)
      : Pump(APump), PumpType(APumpType), PumpPriority(APumpPriority), DesiredRate(ADesiredRate) {}
  // A receiver that will drive the stream itself puts itself here; the sender reads it back.
  TLPComponent* Pump;
  TOWPumpType PumpType;
  int32_t PumpPriority;
  float DesiredRate;
};

class TOWMasterPumpOperation : public TOWNotifyOperation {
public:
  explicit TOWMasterPumpOperation(TOWBasicPin* APump) : Pump(APump) {}
  TOWBasicPin* Pump;
};

// ---------------------------------------------------------------- stream types

class ISLDispatch;

// Every pin is a stream handle; submit functions receive the pin that they call as one.
class IOWStream {
public:
  virtual ~IOWStream() = default;
  // The pin's dispatch interface, where it has one. A virtual call finds it for every operation
  // sent; a cast across the pin classes would search their whole hierarchy each time.
  virtual ISLDispatch* Dispatch() { return nullptr; }
};

// A stream type of the process-wide set. A pin supports the type when it implements the
// type's interface, which Implements tests.
struct TOWStreamType {
  const char* Name;
  bool (*Implements)(const IOWStream& APin);
};

// Identifies a stream type; null is no type.
using TOWStreamTypeID = const TOWStreamType*;

// Delivers an operation to the pin AHandler over the stream type ADataTypeID.
using TOWSubmit = TOWNotifyResult (*)(IOWStream& AHandler, TOWStreamTypeID ADataTypeID,
                                      const TOWOperationPtr& AOperation, TOWNotifyState AState);
