#include "dataflow/SLMessageQueue.h"

#include <algorithm>
#include <utility>

namespace {

// Installed once at start-up in practice; the mutex keeps it well defined whichever thread
// installs or reads it.
std::mutex QueueGuard;
std::shared_ptr<ISLMessageQueue> InstalledQueue;

}  // namespace

void SLSetMessageQueue(std::shared_ptr<ISLMessageQueue> AQueue) {
  std::lock_guard lock(QueueGuard);
  InstalledQueue = std::move(AQueue);
}

std::shared_ptr<ISLMessageQueue> SLGetMessageQueue() {
  std::lock_guard lock(QueueGuard);
  return InstalledQueue;
}

class TSLMessageQueue::TWindow final : public ISLHiddenWindow {
public:
  TWindow(TSLMessageQueue& AQueue, TWndMethod AWndProc)
      : FQueue(AQueue), FWndProc(std::move(AWndProc)) {}

  ~TWindow() override { FQueue.Forget(this); }

  bool PostMessage(const TMessage& Message) override { return FQueue.Post(this, Message); }

  const TWndMethod& WndProc() const { return FWndProc; }

private:
  TSLMessageQueue& FQueue;
  TWndMethod FWndProc;
};

std::unique_ptr<ISLHiddenWindow> TSLMessageQueue::CreateHiddenWindow(TWndMethod AWndProc) {
  return std::make_unique<TWindow>(*this, std::move(AWndProc));
}

bool TSLMessageQueue::Post(TWindow* AWindow, const TMessage& AMessage) {
  std::lock_guard lock(FMutex);
  FMessages.emplace_back(AWindow, AMessage);
  return true;
}

void TSLMessageQueue::Forget(TWindow* AWindow) {
  std::lock_guard lock(FMutex);
  std::erase_if(FMessages, [AWindow](const auto& entry) { return entry.first == AWindow; });
}

size_t TSLMessageQueue::ProcessMessages() {
  size_t count = 0;
  for (;;) {
    TWindow* window;
    TMessage message;
    {
      std::lock_guard lock(FMutex);
      if (FMessages.empty()) return count;
      std::tie(window, message) = FMessages.front();
      FMessages.pop_front();
    }
    // Windows are destroyed on this thread only, so the window is still alive here. Its
    // procedure may destroy it, hence the call through a copy.
    TWndMethod wndProc = window->WndProc();
    ++count;
    wndProc(message);
  }
}
