#pragma once

// The main thread's event queue, as the core sees it: hidden windows that live on the main
// thread, to which any thread posts small messages and which the main thread's loop hands
// to a window procedure, one message at a time, in posting order.
//
// The core does not own an event loop. The application installs a queue bound to its GUI
// toolkit; code without a GUI (tests, tools) installs a TSLMessageQueue and drains it itself.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

struct TMessage {
  uint32_t Msg = 0;
  uintptr_t WParam = 0;
  intptr_t LParam = 0;
};

using TWndMethod = std::function<void(TMessage& Message)>;

class ISLHiddenWindow {
public:
  // Messages still queued for the window are dropped. The window may be destroyed from
  // inside its own window procedure.
  virtual ~ISLHiddenWindow() = default;

  // Callable from any thread; returns at once. False when the queue refused the message.
  virtual bool PostMessage(const TMessage& Message) = 0;
};

class ISLMessageQueue {
public:
  virtual ~ISLMessageQueue() = default;

  // Called on the main thread. The window hands each message posted to it to AWndProc on
  // the main thread. Windows must not outlive the queue that made them.
  virtual std::unique_ptr<ISLHiddenWindow> CreateHiddenWindow(TWndMethod AWndProc) = 0;
};

// The process-wide queue through which hidden windows are made; none until one is installed.
// Install on the main thread before the first hidden window is made; nullptr uninstalls.
void SLSetMessageQueue(std::shared_ptr<ISLMessageQueue> AQueue);
std::shared_ptr<ISLMessageQueue> SLGetMessageQueue();

// A plain thread-safe queue whose owner drains it by calling ProcessMessages on the thread
// that owns its windows.
class TSLMessageQueue final : public ISLMessageQueue {
public:
  std::unique_ptr<ISLHiddenWindow> CreateHiddenWindow(TWndMethod AWndProc) override;

  // Dispatches queued messages, including those posted while it runs, until the queue is
  // empty. Returns how many messages reached a window.
  size_t ProcessMessages();

private:
  class TWindow;

  bool Post(TWindow* AWindow, const TMessage& AMessage);
  void Forget(TWindow* AWindow);

  std::mutex FMutex;
  std::deque<std::pair<TWindow*, TMessage>> FMessages;
};
