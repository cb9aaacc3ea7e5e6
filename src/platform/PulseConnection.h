#pragma once
// A connection to the sound server: a threaded main loop and a context, with waits that give up
// after a time-out or as soon as the connection dies, so that no caller hangs on a server that
// is gone or frozen.

#include <pulse/pulseaudio.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

class PulseConnection {
public:
  static constexpr std::chrono::milliseconds Timeout{3000};

  // Connects to `server` (libpulse's notation; empty for the usual lookup, never spawning a
  // daemon). Null when no server answers in time.
  static std::shared_ptr<PulseConnection> Connect(const std::string& server,
                                                  const std::string& clientName);
  ~PulseConnection();
  PulseConnection(const PulseConnection&) = delete;
  PulseConnection& operator=(const PulseConnection&) = delete;

  pa_context* Context() const { return FContext; }
  bool Alive();
  // Called on the main loop's thread when the connection ends; set under the main loop's lock.
  void SetOnEnded(std::function<void()> OnEnded) { FOnEnded = std::move(OnEnded); }

  // Holds the main loop's lock: needed around every call on the context and its streams.
  class Lock {
  public:
    explicit Lock(PulseConnection& c) : FLoop(c.FLoop) { pa_threaded_mainloop_lock(FLoop); }
    ~Lock() { pa_threaded_mainloop_unlock(FLoop); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

  private:
    pa_threaded_mainloop* FLoop;
  };

  // Callbacks on the main loop change the state that a waiter tests under Mutex(), then Signal().
  std::mutex& Mutex() { return FMutex; }
  void Signal() { FChanged.notify_all(); }
  // Waits, without the main loop's lock, until `done()` (tested under Mutex()), the time-out or
  // the end of the connection; returns done().
  template <typename Pred>
  bool WaitFor(Pred done) {
    std::unique_lock lk(FMutex);
    FChanged.wait_for(lk, Timeout, [&] { return done() || FDead; });
    return done();
  }
  // Runs an operation to its end; cancels it when the wait gives up. False when it did not end.
  bool Complete(pa_operation* op, const bool& finished);

private:
  PulseConnection() = default;
  static void StateChanged(pa_context* c, void* self);

  pa_threaded_mainloop* FLoop = nullptr;
  pa_context* FContext = nullptr;
  std::mutex FMutex;
  std::condition_variable FChanged;
  bool FReady = false;
  bool FDead = false;
  std::function<void()> FOnEnded;
};
