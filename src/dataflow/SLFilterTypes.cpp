#include "dataflow/SLFilterTypes.h"

#include <stdexcept>
#include <utility>

TSLHiddenForm::TSLHiddenForm(TSLHiddenFormMessageEvent AOnMessage)
    : FQueue(SLGetMessageQueue()), FOnMessage(std::move(AOnMessage)) {
  if (!FQueue) throw std::runtime_error("No main-thread message queue is installed.");
  FForm = FQueue->CreateHiddenWindow([this](TMessage& Message) { HiddenWndProc(Message); });
}

void TSLHiddenForm::HiddenWndProc(TMessage& Message) {
  // The handler may free this form (its last notifier gone): nothing here may follow it.
  if (FOnMessage) FOnMessage(Message);
}
