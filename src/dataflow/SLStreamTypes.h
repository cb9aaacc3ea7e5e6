#pragma once
// Pins of the signal library: they hand every operation that reaches them to their owner
// through an operation event, and carry data buffers.

#include <functional>
#include <memory>
#include <mutex>

#include "capture/ALAudioBuffer.h"
#include "dataflow/OWPins.h"

using TSLOperationEvent =
    std::function<TOWNotifyResult(TOWBasicPin* Sender, TOWStreamTypeID DataTypeID,
                                  const TOWOperationPtr& Operation, TOWNotifyState State)>;

// The dispatch interface of the signal library's pins; it also makes a pin support the
// universal stream.
class ISLDispatch {
public:
  virtual ~ISLDispatch() = default;
  virtual TOWNotifyResult DispatchData(TOWStreamTypeID ADataTypeID,
                                       const TOWOperationPtr& AOperation,
                                       TOWNotifyState AState) = 0;
};

extern const TOWStreamType SLUniversalStreamType;

// The submit function of both directions: hands the operation to the pin's dispatch
// interface. New-link notices stop here.
TOWNotifyResult SLSubmit(IOWStream& AHandler, TOWStreamTypeID ADataTypeID,
                         const TOWOperationPtr& AOperation, TOWNotifyState AState);

class TOWSuppliedBufferOperation : public TOWSuppliedOperation {
public:
  explicit TOWSuppliedBufferOperation(std::shared_ptr<ISLData> ABuffer)
      : Buffer(std::move(ABuffer)) {}
  std::shared_ptr<ISLData> Buffer;

private:
  friend class TSLOWSourcePin;
  // Makes a delivered operation that nobody kept into a new one.
  void Renew(std::shared_ptr<ISLData> ABuffer) {
    FOperationID = OWNextOperationID();
    Buffer = std::move(ABuffer);
  }
};

class TSLOWSourcePin : public TOWSourcePin, public virtual ISLDispatch {
public:
  // AOperationEvent receives the operations that the sinks send up; AOnConnect runs when a
  // sink joins.
  TSLOWSourcePin(TLPComponent* AOwner, std::shared_ptr<IOWLock> AOwnerLock,
                 TSLOperationEvent AOperationEvent,
                 std::function<void(TOWBasicPin* Sender)> AOnConnect = {});
  ~TSLOWSourcePin() override;

  ISLDispatch* Dispatch() override { return this; }

  // Delivers ABuffer in a supplied-buffer operation. Errors raised by the receivers are
  // dropped: the sender goes on.
  TOWNotifyResult SubmitBuffer(std::shared_ptr<ISLData> ABuffer);
  void Stop();
  void EndStop();
  TOWNotifyResult DispatchData(TOWStreamTypeID ADataTypeID, const TOWOperationPtr& AOperation,
                               TOWNotifyState AState) override;
  // The last start operation sent and not followed by a stop, replayed to joining sinks.
  TOWOperationPtr GetStartOperation();

protected:
  void OperationSent(const TOWOperationPtr& AOperation) override;
  void SinkAdded(TOWSinkPin* ASink) override;

private:
  TOWOperationPtr FStartOperation;
  std::function<void(TOWBasicPin* Sender)> FOnConnect;
  TSLOperationEvent FOperationEvent;
  // A supplied-buffer operation that no receiver kept, ready for the next buffer, so that
  // a steady stream costs no operation allocation per buffer.
  std::mutex FSpareSection;
  std::shared_ptr<TOWSuppliedBufferOperation> FSpareOperation;
};

class TSLOWSinkPin : public TOWSinkPin, public virtual ISLDispatch {
public:
  TSLOWSinkPin(TLPComponent* AOwner, std::shared_ptr<IOWLock> AOwnerLock,
               TSLOperationEvent AOperationEvent);
  ~TSLOWSinkPin() override;

  ISLDispatch* Dispatch() override { return this; }

  TOWNotifyResult DispatchData(TOWStreamTypeID ADataTypeID, const TOWOperationPtr& AOperation,
                               TOWNotifyState AState) override;

private:
  TSLOperationEvent FOperationEvent;
};
