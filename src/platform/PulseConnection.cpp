#include "platform/PulseConnection.h"

std::shared_ptr<PulseConnection> PulseConnection::Connect(const std::string& server,
                                                          const std::string& clientName) {
  std::shared_ptr<PulseConnection> c(new PulseConnection);
  c->FLoop = pa_threaded_mainloop_new();
  if (c->FLoop == nullptr) return nullptr;
  pa_threaded_mainloop_set_name(c->FLoop, "PulseLoop");
  c->FContext = pa_context_new(pa_threaded_mainloop_get_api(c->FLoop), clientName.c_str());
  if (c->FContext == nullptr) return nullptr;
  pa_context_set_state_callback(c->FContext, &PulseConnection::StateChanged, c.get());
  if (pa_context_connect(c->FContext, server.empty() ? nullptr : server.c_str(),
                         PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
    return nullptr;
  if (pa_threaded_mainloop_start(c->FLoop) < 0) return nullptr;
  bool ready = c->WaitFor([&] { return c->FReady; });
  return ready ? c : nullptr;
}

PulseConnection::~PulseConnection() {
  if (FContext != nullptr) {
    Lock lock(*this);
    pa_context_set_state_callback(FContext, nullptr, nullptr);
    pa_context_disconnect(FContext);
    pa_context_unref(FContext);
  }
  if (FLoop != nullptr) {
    pa_threaded_mainloop_stop(FLoop);
    pa_threaded_mainloop_free(FLoop);
  }
}

bool PulseConnection::Alive() {
  std::lock_guard lk(FMutex);
  return FReady && !FDead;
}

bool PulseConnection::Complete(pa_operation* op, const bool& finished) {
  if (op == nullptr) return false;
  const bool ended = WaitFor([&] { return finished; });
  Lock lock(*this);
  if (!ended) pa_operation_cancel(op);
  pa_operation_unref(op);
  return ended;
}

void PulseConnection::StateChanged(pa_context* c, void* self) {
  auto* me = static_cast<PulseConnection*>(self);
  const pa_context_state_t state = pa_context_get_state(c);
  bool ended = false;
  {
    std::lock_guard lk(me->FMutex);
    if (state == PA_CONTEXT_READY) me->FReady = true;
    if (!PA_CONTEXT_IS_GOOD(state) && !me->FDead) ended = me->FDead = true;
  }
  me->Signal();
  if (ended && me->FOnEnded) me->FOnEnded();
}
