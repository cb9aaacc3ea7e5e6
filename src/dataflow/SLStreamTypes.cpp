#include "dataflow/SLStreamTypes.h"

const TOWStreamType SLUniversalStreamType{
    "SL Universal stream",
    [](const IOWStream& APin) { return dynamic_cast<const ISLDispatch*>(&APin) != nullptr; }};

TOWNotifyResult SLSubmit(IOWStream& AHandler, TOWStreamTypeID ADataTypeID,
                         const TOWOperationPtr& AOperation, TOWNotifyState AState) {
  if (AState.Contains(nsNewLink)) {
    return {};
  }
  if (ISLDispatch* dispatch = AHandler.Dispatch()) {
    return dispatch->DispatchData(ADataTypeID, AOperation, AState);
  }
  return {};
}

// ---------------------------------------------------------------- TSLOWSourcePin

TSLOWSourcePin::TSLOWSourcePin(TLPComponent* AOwner, std::shared_ptr<IOWLock> AOwnerLock,
                               TSLOperationEvent AOperationEvent,
                               std::function<void(TOWBasicPin* Sender)> AOnConnect)
    : TOWSourcePin(AOwner, std::move(AOwnerLock)),
      FOnConnect(std::move(AOnConnect)),
      FOperationEvent(std::move(AOperationEvent)) {
  StreamType.Register(&SLUniversalStreamType, SLSubmit);
}

TSLOWSourcePin::~TSLOWSourcePin() {
  // Before the event goes: the sinks may still send up while they are let go.
  BeginDestroy();
  Disconnect();
}

TOWNotifyResult TSLOWSourcePin::SubmitBuffer(std::shared_ptr<ISLData> ABuffer) {
  std::shared_ptr<TOWSuppliedBufferOperation> operation;
  {
    std::lock_guard lock(FSpareSection);
    operation = std::move(FSpareOperation);
  }
  if (operation) {
    operation->Renew(std::move(ABuffer));
  } else {
    operation = std::make_shared<TOWSuppliedBufferOperation>(std::move(ABuffer));
  }
  try {
    Notify(operation);
  } catch (...) {
    // A receiver's failure must not stop the stream.
  }
  if (operation.use_count() == 1) {
    operation->Buffer.reset();  // the data goes back to its owner now, not at the next buffer
    std::lock_guard lock(FSpareSection);
    FSpareOperation = std::move(operation);
  }
  return {};
}

void TSLOWSourcePin::Stop() { Notify(std::make_shared<TOWStopOperation>()); }

void TSLOWSourcePin::EndStop() { Notify(std::make_shared<TOWEndStopOperation>()); }

TOWNotifyResult TSLOWSourcePin::DispatchData(TOWStreamTypeID ADataTypeID,
                                             const TOWOperationPtr& AOperation,
                                             TOWNotifyState AState) {
  if (!FOperationEvent) {
    return {};
  }
  return FOperationEvent(this, ADataTypeID, AOperation, AState);
}

TOWOperationPtr TSLOWSourcePin::GetStartOperation() {
  TOWLockSection section = ReadLock();
  return FStartOperation;
}

void TSLOWSourcePin::OperationSent(const TOWOperationPtr& AOperation) {
  // Remembered as the sink list is copied, so that a sink joining during the delivery gets
  // either the delivery or the replay.
  TOWNotifyOperation& operation = AOperation->Instance();
  // Buffers, the usual operation, are recognised with one test instead of failing two.
  if (dynamic_cast<TOWSuppliedOperation*>(&operation) != nullptr) {
    return;
  }
  if (dynamic_cast<TOWStartOperation*>(&operation) != nullptr) {
    FStartOperation = AOperation;
  } else if (dynamic_cast<TOWStopOperation*>(&operation) != nullptr) {
    FStartOperation.reset();
  }
}

void TSLOWSourcePin::SinkAdded(TOWSinkPin* ASink) {
  if (FStartOperation) {
    NotifyOnly(FStartOperation, ASink);
  }
  if (FOnConnect) {
    FOnConnect(this);
  }
}

// ---------------------------------------------------------------- TSLOWSinkPin

TSLOWSinkPin::TSLOWSinkPin(TLPComponent* AOwner, std::shared_ptr<IOWLock> AOwnerLock,
                           TSLOperationEvent AOperationEvent)
    : TOWSinkPin(AOwner, std::move(AOwnerLock)), FOperationEvent(std::move(AOperationEvent)) {
  StreamType.Register(&SLUniversalStreamType, SLSubmit);
}

TSLOWSinkPin::~TSLOWSinkPin() {
  BeginDestroy();
  Disconnect();
}

TOWNotifyResult TSLOWSinkPin::DispatchData(TOWStreamTypeID ADataTypeID,
                                           const TOWOperationPtr& AOperation,
                                           TOWNotifyState AState) {
  if (!FOperationEvent) {
    return {};
  }
  return FOperationEvent(this, ADataTypeID, AOperation, AState);
}
