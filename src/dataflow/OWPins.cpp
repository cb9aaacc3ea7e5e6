#include "dataflow/OWPins.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <utility>

namespace {

constexpr int32_t CNotifyNestingLimit = 200;
constexpr int32_t CNewLinkNestingLimit = 10;
constexpr int32_t CMaxModificationLevel = 10000;
constexpr int32_t CModificationStep = 4;
const char* const CDependsOnItself =
    "The pin depends on itself. Please protect with functional dependency.";

// The sink list as it stood when a delivery began. It lives on the stack for the usual
// handful of sinks, so that delivering a buffer allocates nothing.
class TOWEntryCopy {
public:
  explicit TOWEntryCopy(const std::vector<TOWPinEntry>& AEntries) : FCount(AEntries.size()) {
    if (FCount <= FInline.size()) {
      std::copy(AEntries.begin(), AEntries.end(), FInline.begin());
    } else {
      FHeap = AEntries;
    }
  }
  size_t Size() const { return FCount; }
  const TOWPinEntry& operator[](size_t AIndex) const {
    return FCount <= FInline.size() ? FInline[AIndex] : FHeap[AIndex];
  }

private:
  size_t FCount;
  std::array<TOWPinEntry, 4> FInline{};
  std::vector<TOWPinEntry> FHeap;
};

}  // namespace

// ---------------------------------------------------------------- TOWObject

TOWObject::TOWObject(std::shared_ptr<IOWLock> AOwnerLock) : FOwnerLock(std::move(AOwnerLock)) {}

TOWLockSection TOWObject::ReadLock() { return FIntLock.AccessLock(FOwnerLock.get()); }

TOWLockSection TOWObject::WriteLock() { return FIntLock.AccessLock(FOwnerLock.get()); }

TOWLockSection TOWObject::UnlockAll() { return FIntLock.UnlockAll(); }

// ---------------------------------------------------------------- TOWBasicPin

void TOWBasicPin::BeginDestroy() {
  if (!FDestroySection) {
    FDestroySection = FDestroyLock.DestroyLock();
  }
}

// ---------------------------------------------------------------- TOWPinStreamType

void TOWPinStreamType::Register(TOWStreamTypeID AID, TOWSubmit ASubmitFunction) {
  for (TOWPinTypeEntry& entry : FTypes) {
    if (entry.ID == AID) {
      entry.SubmitFunction = ASubmitFunction;
      return;
    }
  }
  FTypes.push_back({AID, ASubmitFunction});
}

TOWSubmit TOWPinStreamType::SubmitFor(TOWStreamTypeID AID) const {
  for (const TOWPinTypeEntry& entry : FTypes) {
    if (entry.ID == AID) {
      return entry.SubmitFunction;
    }
  }
  return nullptr;
}

// ---------------------------------------------------------------- TOWPin

TOWPin::TOWPin(TLPComponent* AOwner, std::shared_ptr<IOWLock> AOwnerLock)
    : TOWBasicPin(std::move(AOwnerLock)), FOwner(AOwner) {}

// ---------------------------------------------------------------- TOWSourcePin

TOWSourcePin::~TOWSourcePin() {
  BeginDestroy();
  Disconnect();
}

TOWNotifyResult TOWSourcePin::Notify(const TOWOperationPtr& AOperation) {
  Deliver(AOperation, nullptr, CNotifyNestingLimit, nullptr, true);
  return {};
}

void TOWSourcePin::NotifyOnly(const TOWOperationPtr& AOperation, TOWSinkPin* ASink) {
  Deliver(AOperation, ASink, CNotifyNestingLimit, nullptr, false);
}

void TOWSourcePin::Deliver(const TOWOperationPtr& AOperation, TOWSinkPin* AOnly, int32_t ALimit,
                           const TOWNotifyState* AState, bool AFull) {
  TOWLockSection section = ReadLock();
  if (AFull) {
    OperationSent(AOperation);
  }
  const TOWEntryCopy entries(FSinkPins);
  if (FInSending.load() > ALimit) {
    throw std::runtime_error(CDependsOnItself);
  }
  ++FInSending;
  struct TSendingGuard {
    std::atomic<int32_t>& Count;
    ~TSendingGuard() { --Count; }
  } sending{FInSending};

  for (size_t i = 0; i < entries.Size(); ++i) {
    const TOWPinEntry& entry = entries[i];
    if ((AOnly != nullptr && entry.RealPin != AOnly) || entry.SubmitFunction == nullptr) {
      continue;
    }
    // A sink that left while an earlier one was served gets nothing more, and one that is
    // being destroyed gets nothing at all; the destroy-lock section keeps the sink alive
    // until the call returns.
    if (FindEntry(entry.RealPin) == nullptr) {
      continue;
    }
    TOWDestroyLockSection sinkAlive = entry.RealPin->GetDestroyLock().Lock();
    if (!sinkAlive) {
      continue;
    }
    TOWNotifyState state;
    if (AState != nullptr) {
      state = *AState;
    } else if (i + 1 == entries.Size()) {
      state = {nsLastIteration};
    }
    TOWNotifyResult answer;
    section.Release();
    if (TOWDestroyLockSection alive = GetDestroyLock().Lock()) {
      TOWLockSection ownerFree = FOwnerLock ? FOwnerLock->UnlockAll() : TOWLockSection();
      answer = entry.SubmitFunction(*entry.RealPin, entry.ConnectedID, AOperation, state);
    }
    sinkAlive.Release();
    section = ReadLock();
    if (answer.Contains(nrDataChanged)) {
      TOWPinEntry* current = FindEntry(entry.RealPin);
      if (current != nullptr && current->ModificationLevel < CMaxModificationLevel) {
        current->ModificationLevel += CModificationStep;
      }
    }
  }
  if (!FInDisconnect) {
    Reorder();
  }
}

TOWPinEntry* TOWSourcePin::FindEntry(const TOWSinkPin* ASink) {
  for (TOWPinEntry& entry : FSinkPins) {
    if (entry.RealPin == ASink) {
      return &entry;
    }
  }
  return nullptr;
}

void TOWSourcePin::Reorder() {
  for (TOWPinEntry& entry : FSinkPins) {
    if (entry.ModificationLevel > 0) {
      --entry.ModificationLevel;
    }
  }
  // Insertion sort: the list is short and sorting must not allocate.
  for (size_t i = 1; i < FSinkPins.size(); ++i) {
    const TOWPinEntry entry = FSinkPins[i];
    size_t j = i;
    for (; j > 0 && FSinkPins[j - 1].ModificationLevel > entry.ModificationLevel; --j) {
      FSinkPins[j] = FSinkPins[j - 1];
    }
    FSinkPins[j] = entry;
  }
  // A sink to be served after another moves just behind it. Sinks that name each other
  // would move forever; the number of moves is bounded.
  const size_t count = FSinkPins.size();
  size_t moves = count * count;
  for (size_t i = 0; i < count;) {
    const TOWBasicPin* after = FSinkPins[i].NotifyAfterPin;
    size_t j = i + 1;
    while (after != nullptr && j < count && FSinkPins[j].RealPin != after) {
      ++j;
    }
    if (after != nullptr && j < count && moves > 0) {
      std::rotate(FSinkPins.begin() + static_cast<std::ptrdiff_t>(i),
                  FSinkPins.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                  FSinkPins.begin() + static_cast<std::ptrdiff_t>(j) + 1);
      --moves;
    } else {
      ++i;
    }
  }
}

void TOWSourcePin::Disconnect() {
  TOWLockSection section = WriteLock();
  while (!FSinkPins.empty()) {
    RemoveSink(FSinkPins.back().RealPin);
  }
}

int32_t TOWSourcePin::SinkCount() {
  TOWLockSection section = ReadLock();
  return static_cast<int32_t>(FSinkPins.size());
}

void TOWSourcePin::AddFunctionSource(TOWBasicPin* APin) {
  TOWLockSection section = WriteLock();
  FFunctionSources.push_back(APin);
}

bool TOWSourcePin::DependsOn(const TOWBasicPin* APin) {
  TOWLockSection section = ReadLock();
  if (FInDependOn) {
    return false;
  }
  FInDependOn = true;
  bool depends = false;
  try {
    for (TOWBasicPin* source : FFunctionSources) {
      if (source == APin || source->DependsOn(APin)) {
        depends = true;
        break;
      }
    }
  } catch (...) {
    FInDependOn = false;
    throw;
  }
  FInDependOn = false;
  return depends;
}

TOWStreamTypeID TOWSourcePin::ChooseType(const TOWSinkPin& ASink) const {
  const std::vector<TOWPinTypeEntry>& types = StreamType.Types();
  for (auto it = types.rbegin(); it != types.rend(); ++it) {
    if (it->ID != nullptr && it->ID->Implements(ASink)) {
      return it->ID;
    }
  }
  return nullptr;
}

void TOWSourcePin::AddSink(TOWSinkPin* ASink, TOWBasicPin* ANotifyAfterPin, TOWStreamTypeID AType) {
  FSinkPins.push_back({ASink, ANotifyAfterPin, AType, StreamType.SubmitFor(AType), 0});
  try {
    SinkAdded(ASink);
  } catch (...) {
    // The sink has not recorded this source yet: a failed connection must leave no entry.
    std::erase_if(FSinkPins,
                  [ASink](const TOWPinEntry& AEntry) { return AEntry.RealPin == ASink; });
    throw;
  }
}

void TOWSourcePin::SendNewLink(TOWSinkPin* ASink) {
  const TOWNotifyState state{nsNewLink, nsLastIteration};
  Deliver(std::make_shared<TOWNotifyOperation>(), ASink, CNewLinkNestingLimit, &state, false);
}

void TOWSourcePin::RemoveSink(TOWSinkPin* ASink) {
  if (FindEntry(ASink) == nullptr) {
    return;
  }
  const bool wasInDisconnect = std::exchange(FInDisconnect, true);
  {
    // The last stop reaches the sink also while this pin is being destroyed.
    TOWDestroyLockSection lifted = GetDestroyLock().DestroyUnlockLock();
    try {
      NotifyOnly(std::make_shared<TOWStopOperation>(), ASink);
    } catch (...) {
      // The sink leaves whatever its handler thought of the stop.
    }
  }
  FInDisconnect = wasInDisconnect;
  std::erase_if(FSinkPins, [ASink](const TOWPinEntry& AEntry) { return AEntry.RealPin == ASink; });
  TOWLockSection sinkSection = ASink->WriteLock();
  ASink->FRealSourcePin = nullptr;
  ASink->FConnectedID = nullptr;
}

// ---------------------------------------------------------------- TOWSinkPin

TOWSinkPin::~TOWSinkPin() {
  BeginDestroy();
  Disconnect();
}

bool TOWSinkPin::ConnectAfter(TOWBasicPin* AOtherPin, TOWBasicPin* ANotifyAfterPin) {
  if (AOtherPin == this) {
    return false;
  }
  TOWLockSection section = WriteLock();
  if (AOtherPin == FRealSourcePin) {
    return true;
  }
  if (AOtherPin == nullptr) {
    Disconnect();
    return true;
  }
  auto* source = dynamic_cast<TOWSourcePin*>(AOtherPin);
  if (source == nullptr) {
    return false;
  }
  const TOWStreamTypeID type = source->ChooseType(*this);
  if (type == nullptr || source->DependsOn(this)) {
    return false;
  }
  Disconnect();
  TOWLockSection sourceSection = source->WriteLock();
  source->AddSink(this, ANotifyAfterPin, type);
  FRealSourcePin = source;
  FConnectedID = type;
  FSubmitFunction = StreamType.SubmitFor(type);
  source->SendNewLink(this);
  return true;
}

void TOWSinkPin::Disconnect() {
  TOWLockSection section = WriteLock();
  FSubmitFunction = nullptr;
  TOWSourcePin* source = FRealSourcePin;
  if (source == nullptr) {
    return;
  }
  TOWDestroyLockSection sourceAlive = source->GetDestroyLock().Lock();
  if (!sourceAlive) {
    return;  // the source is being destroyed and lets its sinks go itself
  }
  TOWLockSection sourceSection = source->WriteLock();
  source->RemoveSink(this);
}

TOWNotifyResult TOWSinkPin::Notify(const TOWOperationPtr& AOperation) {
  TOWSourcePin* source = nullptr;
  TOWSubmit submit = nullptr;
  TOWStreamTypeID type = nullptr;
  TOWDestroyLockSection sourceAlive;
  {
    TOWLockSection section = ReadLock();
    if (FRealSourcePin == nullptr || FSubmitFunction == nullptr) {
      return {};
    }
    source = FRealSourcePin;
    submit = FSubmitFunction;
    type = FConnectedID;
    // Taken while this pin still lists the source: the source cannot be gone yet.
    sourceAlive = source->GetDestroyLock().Lock();
    if (!sourceAlive) {
      return {};
    }
  }
  TOWDestroyLockSection alive = GetDestroyLock().Lock();
  if (!alive) {
    return {};
  }
  TOWLockSection ownerFree = FOwnerLock ? FOwnerLock->UnlockAll() : TOWLockSection();
  return submit(*source, type, AOperation, {nsLastIteration});
}

void TOWSinkPin::MasterPump(TOWBasicPin* ASender) {
  Notify(std::make_shared<TOWMasterPumpOperation>(ASender));
}

TOWSourcePin* TOWSinkPin::GetSourcePin() {
  TOWLockSection section = ReadLock();
  return FRealSourcePin;
}

bool TOWSinkPin::DependsOn(const TOWBasicPin* APin) {
  TOWSourcePin* source = GetSourcePin();
  return source != nullptr && (source == APin || source->DependsOn(APin));
}

// ---------------------------------------------------------------- TOWPinList

TOWPinList::TOWPinList(TLPComponent* AOwner, std::shared_ptr<IOWLock> AOwnerLock, bool AOwnsPins)
    : TOWObject(std::move(AOwnerLock)), FOwner(AOwner), FOwnsPins(AOwnsPins) {}

TOWPinList::~TOWPinList() { Clear(); }

void TOWPinList::CheckIndex(int32_t AIndex, bool AEndAllowed) const {
  const auto limit = static_cast<int32_t>(FItems.size()) + (AEndAllowed ? 1 : 0);
  if (AIndex < 0 || AIndex >= limit) {
    throw std::out_of_range("List index out of bounds (" + std::to_string(AIndex) + ")");
  }
}

void TOWPinList::FreePin(TOWBasicPin* APin) const {
  if (FOwnsPins) {
    delete APin;
  }
}

int32_t TOWPinList::Add(TOWBasicPin* APin) { return AddNamed(APin, std::string()); }

int32_t TOWPinList::AddNamed(TOWBasicPin* APin, const std::string& AName) {
  TOWLockSection section = WriteLock();
  FItems.push_back({APin, AName});
  return static_cast<int32_t>(FItems.size()) - 1;
}

void TOWPinList::Insert(int32_t AIndex, TOWBasicPin* APin) {
  TOWLockSection section = WriteLock();
  CheckIndex(AIndex, true);
  FItems.insert(FItems.begin() + AIndex, TItem{APin, std::string()});
}

void TOWPinList::Delete(int32_t AIndex) {
  TOWBasicPin* pin = nullptr;
  {
    TOWLockSection section = WriteLock();
    CheckIndex(AIndex, false);
    pin = FItems[static_cast<size_t>(AIndex)].Pin;
    FItems.erase(FItems.begin() + AIndex);
  }
  // Freed outside the list's lock: a pin's destruction disconnects and delivers.
  FreePin(pin);
}

int32_t TOWPinList::Remove(TOWBasicPin* APin) {
  int32_t index = -1;
  {
    TOWLockSection section = WriteLock();
    auto it = std::find_if(FItems.begin(), FItems.end(),
                           [APin](const TItem& AItem) { return AItem.Pin == APin; });
    if (it == FItems.end()) {
      return -1;
    }
    index = static_cast<int32_t>(it - FItems.begin());
    FItems.erase(it);
  }
  FreePin(APin);
  return index;
}

void TOWPinList::Clear() {
  std::vector<TItem> items;
  {
    TOWLockSection section = WriteLock();
    items.swap(FItems);
  }
  for (const TItem& item : items) {
    FreePin(item.Pin);
  }
}

int32_t TOWPinList::Count() {
  TOWLockSection section = ReadLock();
  return static_cast<int32_t>(FItems.size());
}

TOWBasicPin* TOWPinList::GetPin(int32_t AIndex) {
  TOWLockSection section = ReadLock();
  CheckIndex(AIndex, false);
  return FItems[static_cast<size_t>(AIndex)].Pin;
}

std::string TOWPinList::GetPinName(int32_t AIndex) {
  TOWLockSection section = ReadLock();
  CheckIndex(AIndex, false);
  const std::string& name = FItems[static_cast<size_t>(AIndex)].Name;
  return name.empty() ? "Pin [" + std::to_string(AIndex) + "]" : name;
}

// ---------------------------------------------------------------- TOWRealRangedSourcePin

TOWRealRangedSourcePin::~TOWRealRangedSourcePin() {
  BeginDestroy();
  Disconnect();
}

void TOWRealRangedSourcePin::SubmitValueRange(double AValue, double AMin, double AMax) {
  // No sink type takes these values in this program, so there is nothing to deliver.
  TOWLockSection section = WriteLock();
  FValue = AValue;
  FMin = AMin;
  FMax = AMax;
}

double TOWRealRangedSourcePin::GetValue() {
  TOWLockSection section = ReadLock();
  return FValue;
}

double TOWRealRangedSourcePin::GetMin() {
  TOWLockSection section = ReadLock();
  return FMin;
}

double TOWRealRangedSourcePin::GetMax() {
  TOWLockSection section = ReadLock();
  return FMax;
}
