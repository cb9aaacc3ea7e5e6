#pragma once
// Object locks: an exclusive lock owned by one thread, re-entrant for that thread, with a stop
// mode in which other threads give up at once instead of waiting; and the destroy lock that
// keeps an object alive while calls through it are running.
//
// A lock is never released by a plain call: every lock operation returns a section, and the
// section gives back what it took when it is destroyed, so every way out of a scope (errors
// included) releases the lock.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

class TOWLock;

// The wait object behind a lock: held by one thread at a time, waited for with a time-out.
// Taking a free one and giving it back are single atomic operations; only waiters use the
// condition variable (rather than a timed mutex, so that the thread sanitizer sees every wait).
class TOWMutex {
public:
  // Takes the mutex only if it is free, without waiting.
  bool TryLock();
  bool TryLockFor(uint32_t ATimeoutMs);
  void Unlock();
  // Threads waiting in TryLockFor now.
  int32_t CountWaiting() const { return FWaiters.load(); }

private:
  std::atomic<bool> FLocked{false};
  std::atomic<int32_t> FWaiters{0};
  std::mutex FSection;  // guards the waits
  std::condition_variable FFree;
};

// What one lock operation took. Move-only; an empty section took nothing (a refused lock).
class TOWLockSection {
public:
  TOWLockSection() = default;
  TOWLockSection(TOWLockSection&& AOther) noexcept;
  TOWLockSection& operator=(TOWLockSection&& AOther) noexcept;
  TOWLockSection(const TOWLockSection&) = delete;
  TOWLockSection& operator=(const TOWLockSection&) = delete;
  ~TOWLockSection();

  explicit operator bool() const { return FKind != TKind::None; }
  // True when the section holds its lock; a read or write section that went ahead while
  // another thread was stopping the lock does not.
  bool Held() const { return FHeld; }
  // Ends the section before its scope does.
  void Release();

private:
  friend class TOWLock;
  enum class TKind : uint8_t { None, Access, Stop, UnlockAll };

  TOWLockSection(TOWLock* ALock, TKind AKind, bool AHeld, int32_t ACount)
      : FLock(ALock), FKind(AKind), FHeld(AHeld), FCount(ACount) {}

  TOWLock* FLock = nullptr;
  TKind FKind = TKind::None;
  bool FHeld = false;
  int32_t FCount = 0;  // unlock-all: the depth to take back
  // The owner lock that a read or write section let go while it kept trying (unlock-all).
  TOWLock* FSlave = nullptr;
  int32_t FSlaveCount = 0;
};

class IOWLock {
public:
  virtual ~IOWLock() = default;
  // Empty when the lock was not obtained because another thread is stopping it.
  virtual TOWLockSection ReadLock() = 0;
  virtual TOWLockSection WriteLock() = 0;
  // Waits until the lock is free; while it exists other threads' attempts fail at once.
  virtual TOWLockSection StopLock() = 0;
  // Lets go of every holding of this thread until the section ends, then takes them back.
  virtual TOWLockSection UnlockAll() = 0;
  virtual TOWLock& Instance() = 0;
};

class TOWLock final : public IOWLock {
public:
  TOWLock() = default;
  TOWLock(const TOWLock&) = delete;
  TOWLock& operator=(const TOWLock&) = delete;

  TOWLockSection ReadLock() override;
  TOWLockSection WriteLock() override;
  TOWLockSection StopLock() override;
  TOWLockSection UnlockAll() override;
  TOWLock& Instance() override { return *this; }

  // A read or write section that is returned in every case; when it did not obtain the lock
  // (another thread is stopping it) it is returned without holding it. While it waits, from
  // the twentieth failed attempt on, this thread lets go of ASlave (an owner's lock) so that
  // the thread holding this lock can take the owner's lock.
  TOWLockSection AccessLock(IOWLock* ASlave);

  // What other threads can see of the lock, for tests and diagnostics: how many threads wait
  // for it now, and whether a stop section is in force or waiting for it.
  int32_t CountWaiting() const { return FLockMutex.CountWaiting(); }
  bool StopPending();

private:
  friend class TOWLockSection;
  enum class TTryResult : uint8_t { Locked, TimedOut, Stopped };

  TTryResult TryLock(uint32_t ATimeoutMs);
  bool StoppedByOther(std::thread::id AThread) const;  // under FIntLockSection
  void EnterOwnStop(std::thread::id AThread);          // under FIntLockSection
  int32_t BeginUnlockAll();
  void EndAccess(bool AHeld);
  void EndStop();
  void EndUnlockAll(int32_t ACount);
  void ReleaseOwnership();  // under FIntLockSection, FCountLocks just reached 0

  std::mutex FIntLockSection;  // guards the fields below; never held while waiting
  int32_t FCountLocks = 0;     // depth of the owning thread's holdings
  int32_t FInStopCount = 0;    // stop sections in force
  std::thread::id FOwningThread;
  // The thread whose stop sections are in force, and how many: it is not turned away by its
  // own stop when it takes the lock back after letting go of it (unlock-all).
  std::thread::id FStoppingThread;
  int32_t FCountOwnStops = 0;
  TOWMutex FLockMutex;
};

class TOWDestroyLock;

class TOWDestroyLockSection {
public:
  TOWDestroyLockSection() = default;
  TOWDestroyLockSection(TOWDestroyLockSection&& AOther) noexcept;
  TOWDestroyLockSection& operator=(TOWDestroyLockSection&& AOther) noexcept;
  TOWDestroyLockSection(const TOWDestroyLockSection&) = delete;
  TOWDestroyLockSection& operator=(const TOWDestroyLockSection&) = delete;
  ~TOWDestroyLockSection();

  explicit operator bool() const { return FKind != TKind::None; }
  void Release();

private:
  friend class TOWDestroyLock;
  enum class TKind : uint8_t { None, Lock, Destroy, DestroyUnlock };

  TOWDestroyLockSection(TOWDestroyLock* ALock, TKind AKind, int32_t AOld)
      : FLock(ALock), FKind(AKind), FOld(AOld) {}

  TOWDestroyLock* FLock = nullptr;
  TKind FKind = TKind::None;
  int32_t FOld = 0;  // destroy-unlock: the destroy count to put back
};

class IOWDestroyLock {
public:
  virtual ~IOWDestroyLock() = default;
  // Empty while the object is being destroyed.
  virtual TOWDestroyLockSection Lock() = 0;
  // Refuses later Lock calls, then waits until every Lock section has ended.
  virtual TOWDestroyLockSection DestroyLock() = 0;
  // Lifts a destroy lock in force for the length of the section.
  virtual TOWDestroyLockSection DestroyUnlockLock() = 0;
};

class TOWDestroyLock final : public IOWDestroyLock {
public:
  TOWDestroyLockSection Lock() override;
  TOWDestroyLockSection DestroyLock() override;
  TOWDestroyLockSection DestroyUnlockLock() override;

private:
  friend class TOWDestroyLockSection;
  std::atomic<int32_t> FLockCounter{0};
  std::atomic<int32_t> FDestroying{0};
};
