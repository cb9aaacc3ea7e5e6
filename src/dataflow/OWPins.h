#pragma once
// Pins: a source pin delivers operations, synchronously on the sender's thread, to every sink
// pin connected to it; a sink pin has at most one source and may send operations back up.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dataflow/OWLocks.h"
#include "dataflow/OWStdTypes.h"

class TLPComponent;
class TOWSinkPin;

// An object with its own lock. Its read and write sections are returned in every case (also
// when they go ahead without the lock because another thread stops it) and let go of the
// owner component's lock while they wait long.
class TOWObject {
public:
  explicit TOWObject(std::shared_ptr<IOWLock> AOwnerLock = nullptr);
  TOWObject(const TOWObject&) = delete;
  TOWObject& operator=(const TOWObject&) = delete;
  virtual ~TOWObject() = default;

  TOWLockSection ReadLock();
  TOWLockSection WriteLock();
  TOWLockSection UnlockAll();

protected:
  TOWLock FIntLock;
  std::shared_ptr<IOWLock> FOwnerLock;  // the owner component's lock, or none
};

class TOWBasicPin : public TOWObject, public IOWStream {
public:
  using TOWObject::TOWObject;

  IOWDestroyLock& GetDestroyLock() { return FDestroyLock; }
  // Whether data of this pin derives from APin; used to refuse connection loops.
  virtual bool DependsOn(const TOWBasicPin* APin) = 0;

protected:
  // First step of a pin's destruction: waits until no delivery through this pin is running
  // and refuses every later one. Every pin class calls it (and then disconnects) first thing
  // in its destructor: a delivery must not meet an object whose class is being taken apart.
  void BeginDestroy();

private:
  TOWDestroyLock FDestroyLock;
  TOWDestroyLockSection FDestroySection;  // after FDestroyLock: ends before it goes
};

struct TOWPinTypeEntry {
  TOWStreamTypeID ID;
  TOWSubmit SubmitFunction;  // may be null
};

// A pin's stream types in registration order.
class TOWPinStreamType {
public:
  // A type already registered keeps its place and takes the new submit function.
  void Register(TOWStreamTypeID AID, TOWSubmit ASubmitFunction);
  TOWSubmit SubmitFor(TOWStreamTypeID AID) const;
  const std::vector<TOWPinTypeEntry>& Types() const { return FTypes; }

private:
  std::vector<TOWPinTypeEntry> FTypes;
};

class TOWPin : public TOWBasicPin {
public:
  TOWPin(TLPComponent* AOwner, std::shared_ptr<IOWLock> AOwnerLock);

  TLPComponent* GetOwner() const { return FOwner; }
  const TOWPinStreamType& GetStreamType() const { return StreamType; }
  // Deliveries from this pin in progress, nested ones included.
  int32_t GetInSending() const { return FInSending.load(); }

protected:
  TLPComponent* FOwner;
  TOWPinStreamType StreamType;
  std::atomic<int32_t> FInSending{0};
};

// One connected sink of a source, in delivery order.
struct TOWPinEntry {
  TOWSinkPin* RealPin;
  TOWBasicPin* NotifyAfterPin;  // the sink after which this one is served, or none
  TOWStreamTypeID ConnectedID;
  TOWSubmit SubmitFunction;
  int32_t ModificationLevel;  // ordering weight: sinks that report changes move back
};

class TOWSourcePin : public TOWPin {
public:
  using TOWPin::TOWPin;
  ~TOWSourcePin() override;

  // Delivers AOperation to every connected sink and returns when all have handled it. The
  // answer comes from state connections, which pins of this system do not make: it is empty.
  virtual TOWNotifyResult Notify(const TOWOperationPtr& AOperation);
  // Lets every sink go, last first; each gets a stop first.
  void Disconnect();
  int32_t SinkCount();
  // Declares that this pin's data derives from APin (a sink pin of the same owner).
  void AddFunctionSource(TOWBasicPin* APin);
  bool DependsOn(const TOWBasicPin* APin) override;

protected:
  // Runs while the sink list is copied for a full Notify, under this pin's lock.
  virtual void OperationSent(const TOWOperationPtr&) {}
  // Runs when ASink has just been added, under this pin's write lock.
  virtual void SinkAdded(TOWSinkPin*) {}

  // Delivers AOperation to ASink alone, as Notify would.
  void NotifyOnly(const TOWOperationPtr& AOperation, TOWSinkPin* ASink);

private:
  friend class TOWSinkPin;

  // Delivers AOperation to the sinks, or to AOnly alone, refusing to nest deeper than
  // ALimit. AState, when given, replaces the per-entry state; AFull marks a Notify.
  void Deliver(const TOWOperationPtr& AOperation, TOWSinkPin* AOnly, int32_t ALimit,
               const TOWNotifyState* AState, bool AFull);

  TOWStreamTypeID ChooseType(const TOWSinkPin& ASink) const;
  void AddSink(TOWSinkPin* ASink, TOWBasicPin* ANotifyAfterPin, TOWStreamTypeID AType);
  // Sends ASink a last stop, then lets it go. Under this pin's write lock.
  void RemoveSink(TOWSinkPin* ASink);
  void SendNewLink(TOWSinkPin* ASink);
  TOWPinEntry* FindEntry(const TOWSinkPin* ASink);
  void Reorder();

  std::vector<TOWPinEntry> FSinkPins;
  std::vector<TOWBasicPin*> FFunctionSources;
  bool FInDependOn = false;
  bool FInDisconnect = false;
};

class TOWSinkPin : public TOWPin {
public:
  using TOWPin::TOWPin;
  ~TOWSinkPin() override;

  bool Connect(TOWBasicPin* AOtherPin) { return ConnectAfter(AOtherPin, nullptr); }
  // Connects to AOtherPin (none disconnects); the source serves this sink right after
  // ANotifyAfterPin when that is given. False for incompatible pins and connection loops.
  bool ConnectAfter(TOWBasicPin* AOtherPin, TOWBasicPin* ANotifyAfterPin);
  void Disconnect();
  // Sends AOperation up to the source.
  TOWNotifyResult Notify(const TOWOperationPtr& AOperation);
  void MasterPump(TOWBasicPin* ASender);
  TOWSourcePin* GetSourcePin();
  bool DependsOn(const TOWBasicPin* APin) override;

private:
  friend class TOWSourcePin;

  TOWSourcePin* FRealSourcePin = nullptr;
  TOWSubmit FSubmitFunction = nullptr;  // sends upstream
  TOWStreamTypeID FConnectedID = nullptr;
};

// A group of a component's pins, in order, each with an optional name.
class TOWPinList : public TOWObject {
public:
  // An owning list frees a pin when it is removed or cleared, and with the list.
  TOWPinList(TLPComponent* AOwner, std::shared_ptr<IOWLock> AOwnerLock, bool AOwnsPins);
  ~TOWPinList() override;

  TLPComponent* GetOwner() const { return FOwner; }
  int32_t Add(TOWBasicPin* APin);
  int32_t AddNamed(TOWBasicPin* APin, const std::string& AName);
  void Insert(int32_t AIndex, TOWBasicPin* APin);
  void Delete(int32_t AIndex);
  // Removes APin and returns its former index, or -1 when the list does not hold it.
  int32_t Remove(TOWBasicPin* APin);
  void Clear();
  int32_t Count();
  TOWBasicPin* GetPin(int32_t AIndex);
  // The pin's name, or "Pin [index]" for a pin without one.
  std::string GetPinName(int32_t AIndex);

private:
  struct TItem {
    TOWBasicPin* Pin;
    std::string Name;
  };
  void CheckIndex(int32_t AIndex, bool AEndAllowed) const;
  void FreePin(TOWBasicPin* APin) const;

  TLPComponent* FOwner;
  bool FOwnsPins;
  std::vector<TItem> FItems;
};

// A value output with its range; the meter publishes one level per channel on such pins.
class TOWRealRangedSourcePin : public TOWSourcePin {
public:
  TOWRealRangedSourcePin(TLPComponent* AOwner, std::shared_ptr<IOWLock> AOwnerLock)
      : TOWSourcePin(AOwner, std::move(AOwnerLock)) {}
  ~TOWRealRangedSourcePin() override;

  void SubmitValueRange(double AValue, double AMin, double AMax);
  double GetValue();
  double GetMin();
  double GetMax();

private:
  double FValue = 0.0;
  double FMin = 0.0;
  double FMax = 0.0;
};
