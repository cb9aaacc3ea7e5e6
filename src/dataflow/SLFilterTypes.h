#pragma once

#include <functional>
#include <memory>

#include "dataflow/SLMessageQueue.h"

// Returns true when it handled the message.
using TSLHiddenFormMessageEvent = std::function<bool(TMessage& Message)>;

// An invisible window owned by the main thread that hands the messages posted to it to one
// handler. It is made through the installed main-thread queue.
class TSLHiddenForm {
public:
  // Throws std::runtime_error when no main-thread queue is installed.
  explicit TSLHiddenForm(TSLHiddenFormMessageEvent AOnMessage);

  TSLHiddenForm(const TSLHiddenForm&) = delete;
  TSLHiddenForm& operator=(const TSLHiddenForm&) = delete;

  // The window to post to; valid as long as this form lives.
  ISLHiddenWindow* GetHandle() const { return FForm.get(); }

private:
  void HiddenWndProc(TMessage& Message);

  std::shared_ptr<ISLMessageQueue> FQueue;  // outlives FForm, as the queue requires
  std::unique_ptr<ISLHiddenWindow> FForm;
  TSLHiddenFormMessageEvent FOnMessage;
};
