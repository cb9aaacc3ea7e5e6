#include "dataflow/OWLocks.h"

#include <chrono>
#include <utility>

namespace {

constexpr uint32_t CMaxAttemptMs = 20;     // attempts wait 1, 2 ... 20 ms, then 20 ms each
constexpr uint32_t CStopAttemptMs = 1000;  // a stop section waits in attempts of this length

}  // namespace

// ---------------------------------------------------------------- TOWMutex

bool TOWMutex::TryLock() {
  bool expected = false;
  return FLocked.compare_exchange_strong(expected, true);
}

bool TOWMutex::TryLockFor(uint32_t ATimeoutMs) {
  if (TryLock()) {
    return true;  // without reading the clock for a deadline it would not need
  }
  std::unique_lock lock(FSection);
  // Counted before the mutex is tried again: an Unlock that does not see this waiter has
  // already freed the mutex, so the try below takes it (all of these are sequentially
  // consistent). One that sees it notifies under FSection, which this thread holds until it
  // sleeps, so the notice cannot come between the try and the sleep.
  FWaiters.fetch_add(1);
  const bool taken =
      FFree.wait_for(lock, std::chrono::milliseconds(ATimeoutMs), [this] { return TryLock(); });
  FWaiters.fetch_sub(1);
  return taken;
}

void TOWMutex::Unlock() {
  FLocked.store(false);
  if (FWaiters.load() > 0) {
    std::lock_guard lock(FSection);
    FFree.notify_one();
  }
}

// ---------------------------------------------------------------- TOWLockSection

TOWLockSection::TOWLockSection(TOWLockSection&& AOther) noexcept
    : FLock(std::exchange(AOther.FLock, nullptr)),
      FKind(std::exchange(AOther.FKind, TKind::None)),
      FHeld(std::exchange(AOther.FHeld, false)),
      FCount(std::exchange(AOther.FCount, 0)),
      FSlave(std::exchange(AOther.FSlave, nullptr)),
      FSlaveCount(std::exchange(AOther.FSlaveCount, 0)) {}

TOWLockSection& TOWLockSection::operator=(TOWLockSection&& AOther) noexcept {
  if (this != &AOther) {
    Release();
    FLock = std::exchange(AOther.FLock, nullptr);
    FKind = std::exchange(AOther.FKind, TKind::None);
    FHeld = std::exchange(AOther.FHeld, false);
    FCount = std::exchange(AOther.FCount, 0);
    FSlave = std::exchange(AOther.FSlave, nullptr);
    FSlaveCount = std::exchange(AOther.FSlaveCount, 0);
  }
  return *this;
}

TOWLockSection::~TOWLockSection() { Release(); }

void TOWLockSection::Release() {
  TOWLock* lock = std::exchange(FLock, nullptr);
  TKind kind = std::exchange(FKind, TKind::None);
  bool held = std::exchange(FHeld, false);
  switch (kind) {
    case TKind::None: break;
    case TKind::Access: lock->EndAccess(held); break;
    case TKind::Stop: lock->EndStop(); break;
    case TKind::UnlockAll: lock->EndUnlockAll(FCount); break;
  }
  // The owner lock is taken back only after this lock has been given back.
  if (TOWLock* slave = std::exchange(FSlave, nullptr)) {
    slave->EndUnlockAll(FSlaveCount);
  }
}

// ---------------------------------------------------------------- TOWLock

TOWLock::TTryResult TOWLock::TryLock(uint32_t ATimeoutMs) {
  const auto self = std::this_thread::get_id();
  {
    std::lock_guard guard(FIntLockSection);
    if (FOwningThread == self && FCountLocks > 0) {
      ++FCountLocks;
      return TTryResult::Locked;
    }
    if (StoppedByOther(self)) {
      return TTryResult::Stopped;
    }
    // A free lock is taken under the same guard as the checks, with nothing to check again.
    if (FLockMutex.TryLock()) {
      FOwningThread = self;
      ++FCountLocks;
      return TTryResult::Locked;
    }
  }
  if (!FLockMutex.TryLockFor(ATimeoutMs)) {
    return TTryResult::TimedOut;
  }
  std::lock_guard guard(FIntLockSection);
  // A stop that began while this thread waited must not find the lock taken by a thread that
  // it had already turned away: while a stopping thread lets go of the lock to deliver
  // (unlock-all), only it may run.
  if (StoppedByOther(self)) {
    FLockMutex.Unlock();
    return TTryResult::Stopped;
  }
  FOwningThread = self;
  ++FCountLocks;
  return TTryResult::Locked;
}

bool TOWLock::StoppedByOther(std::thread::id AThread) const {
  return FInStopCount > 0 && FStoppingThread != AThread;
}

void TOWLock::EnterOwnStop(std::thread::id AThread) {
  if (FCountOwnStops == 0) {
    FStoppingThread = AThread;
  }
  if (FStoppingThread == AThread) {
    ++FCountOwnStops;
  }
}

TOWLockSection TOWLock::AccessLock(IOWLock* ASlave) {
  TOWLockSection section;
  uint32_t attempt = 1;
  for (;;) {
    switch (TryLock(attempt)) {
      case TTryResult::Locked:
        section.FLock = this;
        section.FKind = TOWLockSection::TKind::Access;
        section.FHeld = true;
        return section;
      case TTryResult::Stopped:
        section.FLock = this;
        section.FKind = TOWLockSection::TKind::Access;
        section.FHeld = false;
        return section;
      case TTryResult::TimedOut: break;
    }
    if (attempt < CMaxAttemptMs) {
      ++attempt;
    } else if (ASlave != nullptr && section.FSlave == nullptr) {
      TOWLock& slave = ASlave->Instance();
      section.FSlaveCount = slave.BeginUnlockAll();
      section.FSlave = &slave;
    }
  }
}

TOWLockSection TOWLock::ReadLock() { return WriteLock(); }

TOWLockSection TOWLock::WriteLock() {
  TOWLockSection section = AccessLock(nullptr);
  if (!section.Held()) {
    section.Release();
  }
  return section;
}

TOWLockSection TOWLock::StopLock() {
  const auto self = std::this_thread::get_id();
  {
    std::lock_guard guard(FIntLockSection);
    ++FInStopCount;
    if (FOwningThread == self && FCountLocks > 0) {
      ++FCountLocks;
      EnterOwnStop(self);
      return TOWLockSection(this, TOWLockSection::TKind::Stop, true, 0);
    }
  }
  while (!FLockMutex.TryLockFor(CStopAttemptMs)) {
  }
  std::lock_guard guard(FIntLockSection);
  FOwningThread = self;
  ++FCountLocks;
  EnterOwnStop(self);
  return TOWLockSection(this, TOWLockSection::TKind::Stop, true, 0);
}

bool TOWLock::StopPending() {
  std::lock_guard guard(FIntLockSection);
  return FInStopCount > 0;
}

TOWLockSection TOWLock::UnlockAll() {
  return TOWLockSection(this, TOWLockSection::TKind::UnlockAll, false, BeginUnlockAll());
}

int32_t TOWLock::BeginUnlockAll() {
  std::lock_guard guard(FIntLockSection);
  if (FOwningThread != std::this_thread::get_id()) {
    return 0;  // held by another thread, or by none: nothing of ours to let go
  }
  const int32_t depth = FCountLocks;
  FCountLocks = 0;
  ReleaseOwnership();
  return depth;
}

void TOWLock::EndUnlockAll(int32_t ACount) {
  if (ACount == 0) {
    return;
  }
  for (;;) {
    switch (TryLock(1)) {
      case TTryResult::Locked: {
        std::lock_guard guard(FIntLockSection);
        FCountLocks = ACount;
        return;
      }
      case TTryResult::Stopped:
        // Another thread stops the lock: the sections that held it before go on without it,
        // as any section does during a stop. A thread's own stop does not turn it away.
        return;
      case TTryResult::TimedOut: break;
    }
  }
}

void TOWLock::EndAccess(bool AHeld) {
  if (!AHeld) {
    return;
  }
  std::lock_guard guard(FIntLockSection);
  // A holding that an unlock-all could not take back (a stop came in between) is no longer
  // this thread's: there is nothing to give back then.
  if (FOwningThread == std::this_thread::get_id() && --FCountLocks == 0) {
    ReleaseOwnership();
  }
}

void TOWLock::EndStop() {
  std::lock_guard guard(FIntLockSection);
  const auto self = std::this_thread::get_id();
  --FInStopCount;
  if (FStoppingThread == self && --FCountOwnStops == 0) {
    FStoppingThread = std::thread::id();
  }
  if (FOwningThread == self && --FCountLocks == 0) {
    ReleaseOwnership();
  }
}

void TOWLock::ReleaseOwnership() {
  FOwningThread = std::thread::id();
  FLockMutex.Unlock();
}

// ---------------------------------------------------------------- TOWDestroyLockSection

TOWDestroyLockSection::TOWDestroyLockSection(TOWDestroyLockSection&& AOther) noexcept
    : FLock(std::exchange(AOther.FLock, nullptr)),
      FKind(std::exchange(AOther.FKind, TKind::None)),
      FOld(std::exchange(AOther.FOld, 0)) {}

TOWDestroyLockSection& TOWDestroyLockSection::operator=(TOWDestroyLockSection&& AOther) noexcept {
  if (this != &AOther) {
    Release();
    FLock = std::exchange(AOther.FLock, nullptr);
    FKind = std::exchange(AOther.FKind, TKind::None);
    FOld = std::exchange(AOther.FOld, 0);
  }
  return *this;
}

TOWDestroyLockSection::~TOWDestroyLockSection() { Release(); }

void TOWDestroyLockSection::Release() {
  TOWDestroyLock* lock = std::exchange(FLock, nullptr);
  switch (std::exchange(FKind, TKind::None)) {
    case TKind::None: break;
    case TKind::Lock: lock->FLockCounter.fetch_sub(1); break;
    case TKind::Destroy: lock->FDestroying.fetch_sub(1); break;
    case TKind::DestroyUnlock: lock->FDestroying.fetch_add(FOld); break;
  }
}

// ---------------------------------------------------------------- TOWDestroyLock

TOWDestroyLockSection TOWDestroyLock::Lock() {
  FLockCounter.fetch_add(1);
  if (FDestroying.load() != 0) {
    FLockCounter.fetch_sub(1);
    return {};
  }
  return TOWDestroyLockSection(this, TOWDestroyLockSection::TKind::Lock, 0);
}

TOWDestroyLockSection TOWDestroyLock::DestroyLock() {
  FDestroying.fetch_add(1);
  while (FLockCounter.load() != 0) {
    std::this_thread::yield();
  }
  return TOWDestroyLockSection(this, TOWDestroyLockSection::TKind::Destroy, 0);
}

TOWDestroyLockSection TOWDestroyLock::DestroyUnlockLock() {
  return TOWDestroyLockSection(this, TOWDestroyLockSection::TKind::DestroyUnlock,
                               FDestroying.exchange(0));
}
