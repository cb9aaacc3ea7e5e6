#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "dataflow/SLFilterTypes.h"

// Message number of a main-thread notification; WParam carries the notifier's identity.
inline constexpr uint32_t SLNotifyMessage = 0x8600;

// Runs one handler on the main thread, notified from any thread. Notifiers are created and
// destroyed on the main thread; a notifier must outlive every Notify call made on it.
class TSLMainThreadNotify {
public:
  using TNotifyEvent = std::function<void(TSLMainThreadNotify* Sender)>;

  // Throws std::runtime_error when no main-thread queue is installed.
  explicit TSLMainThreadNotify(TNotifyEvent AOnNotify);
  ~TSLMainThreadNotify();

  TSLMainThreadNotify(const TSLMainThreadNotify&) = delete;
  TSLMainThreadNotify& operator=(const TSLMainThreadNotify&) = delete;

  // On the main thread without ForcePost the handler runs before Notify returns; otherwise
  // one message is posted per call and the handler runs once per message, later, on the
  // main thread. Never waits for the main thread.
  void Notify(bool ForcePost);
  void DoNotify();

private:
  friend class TSLMainWindowNode;

  TNotifyEvent FOnNotify;
  // Identity carried by the messages. Unlike the object's address it is never reused, so a
  // message left over from a destroyed notifier cannot reach a new one made in its place.
  const uintptr_t FID;
};

// The process-wide hidden window shared by all notifiers, present exactly while at least one
// notifier exists. Its class operations run on the main thread, except GetHandle.
class TSLMainWindowNode {
public:
  static void AddReff(TSLMainThreadNotify* ANotifyItem);
  static void RemoveReff(TSLMainThreadNotify* ANotifyItem);
  // The shared window; callable from any thread while the caller's notifier lives.
  static ISLHiddenWindow* GetHandle();

  bool HandleMessage(TMessage& Message);

private:
  TSLMainWindowNode();

  TSLHiddenForm FForm;
  std::vector<TSLMainThreadNotify*> FNotifyList;  // in registration order
};

enum class TThreadPriority {
  tpIdle,
  tpLowest,
  tpLower,
  tpNormal,
  tpHigher,
  tpHighest,
  tpTimeCritical
};

// A worker thread that carries a name and shows it to the system's tools. It is created
// suspended; the subclass starts it. A subclass must end its thread (Terminate, wake its
// Execute, WaitFor) in its own destructor, before its members go away.
class TLPThread {
public:
  explicit TLPThread(std::string AName);
  virtual ~TLPThread();

  TLPThread(const TLPThread&) = delete;
  TLPThread& operator=(const TLPThread&) = delete;

  // The component's name, or its class name when the name is empty.
  static std::string OwnerName(std::string_view AName, std::string_view AClassName);

  // Throws std::logic_error when the thread was started already.
  void Start();
  void Terminate() { FTerminated = true; }
  bool Terminated() const { return FTerminated; }
  // Returns once Execute has returned; at once when the thread never started.
  void WaitFor();

  // Applied where the system allows it; a priority it refuses leaves the thread as it is,
  // which is normal unless an earlier priority was granted.
  void SetPriority(TThreadPriority APriority);
  TThreadPriority Priority() const;

  const std::string& Name() const { return FName; }
  // What escaped Execute, or nullptr; read it after WaitFor.
  std::exception_ptr FatalException() const { return FFatalException; }

protected:
  virtual void Execute() = 0;
  // First step of Execute: names the calling thread after FName, cut to the 15 bytes the
  // system keeps, at a character boundary.
  void PublishThreadName();

private:
  void Run();
  void ApplyPriority();

  std::string FName;
  std::atomic<bool> FTerminated{false};
  std::exception_ptr FFatalException;

  // Guards the priority and the thread id, so that a priority is never applied to an id
  // that the system may already have given to another thread.
  mutable std::mutex FPriorityLock;
  TThreadPriority FPriority = TThreadPriority::tpNormal;
  pid_t FThreadID = 0;
  int FNormalNice = 0;

  std::thread FThread;
};
