#include "app/uQtMessageQueue.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <stdexcept>
#include <utility>

namespace {

QEvent::Type MessageEventType() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

class TMessageEvent final : public QEvent {
public:
  explicit TMessageEvent(const TMessage& AMessage)
      : QEvent(MessageEventType()), Message(AMessage) {}
  TMessage Message;
};

class TReceiver final : public QObject {
public:
  explicit TReceiver(TWndMethod AWndProc) : FWndProc(std::move(AWndProc)) {
    // Made on the GUI thread in practice; pushing it there makes sure its events are
    // delivered by the loop that runs the user interface.
    moveToThread(QCoreApplication::instance()->thread());
  }

  bool event(QEvent* e) override {
    if (e->type() != MessageEventType()) return QObject::event(e);
    TMessage message = static_cast<TMessageEvent*>(e)->Message;
    if (!FWndProc) return true;
    // Counted down however the procedure ends, an exception included; a receiver retired
    // meanwhile lives on until the loop deletes it.
    struct TDispatch {
      int& Count;
      ~TDispatch() { --Count; }
    } dispatch{++FDispatching};
    TWndMethod wndProc = FWndProc;  // the procedure may retire this receiver
    wndProc(message);
    return true;
  }

  // Deleting a QObject inside its own event handler is unsafe, so a receiver retired while
  // it dispatches goes deaf and is deleted by the loop later.
  void Retire() {
    if (FDispatching > 0) {
      FWndProc = nullptr;
      deleteLater();
    } else {
      delete this;  // drops the events still posted to it
    }
  }

private:
  TWndMethod FWndProc;
  int FDispatching = 0;  // nested event loops may dispatch again
};

class TQtHiddenWindow final : public ISLHiddenWindow {
public:
  explicit TQtHiddenWindow(TWndMethod AWndProc) : FReceiver(new TReceiver(std::move(AWndProc))) {}
  ~TQtHiddenWindow() override { FReceiver->Retire(); }

  bool PostMessage(const TMessage& Message) override {
    QCoreApplication::postEvent(FReceiver, new TMessageEvent(Message));
    return true;
  }

private:
  TReceiver* FReceiver;
};

}  // namespace

std::unique_ptr<ISLHiddenWindow> TQtMessageQueue::CreateHiddenWindow(TWndMethod AWndProc) {
  if (!QCoreApplication::instance())
    throw std::runtime_error("The Qt application must exist before a hidden window.");
  return std::make_unique<TQtHiddenWindow>(std::move(AWndProc));
}

void InstallQtMessageQueue() { SLSetMessageQueue(std::make_shared<TQtMessageQueue>()); }
