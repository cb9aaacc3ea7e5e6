#include "dataflow/SLClockGen.h"

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace {

// Static initialisation runs on the program's main thread, before main.
const std::thread::id MainThreadID = std::this_thread::get_id();

std::atomic<uintptr_t> LastNotifyID{0};

// Changed on the main thread only. A worker reads Node (through GetHandle) only while its
// notifier is registered, when Node cannot change.
int32_t RegistrationCount = 0;
std::unique_ptr<TSLMainWindowNode> Node;

}  // namespace

TSLMainThreadNotify::TSLMainThreadNotify(TNotifyEvent AOnNotify) : FID(++LastNotifyID) {
  TSLMainWindowNode::AddReff(this);
  FOnNotify = std::move(AOnNotify);
}

TSLMainThreadNotify::~TSLMainThreadNotify() {
  FOnNotify = nullptr;
  TSLMainWindowNode::RemoveReff(this);
}

void TSLMainThreadNotify::Notify(bool ForcePost) {
  if (!ForcePost && std::this_thread::get_id() == MainThreadID) {
    DoNotify();
    return;
  }
  // A refused post loses this one notification; the next one carries the news.
  TSLMainWindowNode::GetHandle()->PostMessage({SLNotifyMessage, FID, 0});
}

void TSLMainThreadNotify::DoNotify() {
  if (FOnNotify) FOnNotify(this);
}

TSLMainWindowNode::TSLMainWindowNode()
    : FForm([this](TMessage& Message) { return HandleMessage(Message); }) {}

void TSLMainWindowNode::AddReff(TSLMainThreadNotify* ANotifyItem) {
  if (RegistrationCount == 0) Node.reset(new TSLMainWindowNode);
  try {
    Node->FNotifyList.push_back(ANotifyItem);
  } catch (...) {
    if (RegistrationCount == 0) Node.reset();
    throw;
  }
  ++RegistrationCount;
}

void TSLMainWindowNode::RemoveReff(TSLMainThreadNotify* ANotifyItem) {
  --RegistrationCount;
  auto& list = Node->FNotifyList;
  auto found = std::find(list.begin(), list.end(), ANotifyItem);
  if (found != list.end()) list.erase(found);
  // The window goes with the node, and the messages still queued for it with the window.
  if (RegistrationCount == 0) Node.reset();
}

ISLHiddenWindow* TSLMainWindowNode::GetHandle() { return Node->FForm.GetHandle(); }

bool TSLMainWindowNode::HandleMessage(TMessage& Message) {
  if (Message.Msg != SLNotifyMessage) return false;
  for (TSLMainThreadNotify* item : FNotifyList) {
    if (item->FID == Message.WParam) {
      // The handler may destroy notifiers, even this node: return without touching either.
      item->DoNotify();
      return true;
    }
  }
  return true;
}

TLPThread::TLPThread(std::string AName) : FName(std::move(AName)) {}

TLPThread::~TLPThread() {
  Terminate();
  WaitFor();
}

std::string TLPThread::OwnerName(std::string_view AName, std::string_view AClassName) {
  return std::string(AName.empty() ? AClassName : AName);
}

void TLPThread::Start() {
  if (FThread.joinable()) throw std::logic_error("The thread has already been started.");
  FThread = std::thread(&TLPThread::Run, this);
}

void TLPThread::WaitFor() {
  if (FThread.joinable()) FThread.join();
}

void TLPThread::Run() {
  {
    std::lock_guard lock(FPriorityLock);
    FThreadID = gettid();
    // The nice value inherited from the creating thread is what normal means here.
    FNormalNice = getpriority(PRIO_PROCESS, 0);
    ApplyPriority();
  }
  try {
    Execute();
  } catch (...) {
    FFatalException = std::current_exception();
  }
  std::lock_guard lock(FPriorityLock);
  FThreadID = 0;
}

void TLPThread::PublishThreadName() {
  // The system keeps 15 bytes; a cut inside a multi-byte character would leave an invalid
  // name, so back up to the start of that character.
  size_t length = std::min<size_t>(FName.size(), 15);
  while (length > 0 && length < FName.size() &&
         (static_cast<unsigned char>(FName[length]) & 0xC0) == 0x80)
    --length;
  pthread_setname_np(pthread_self(), FName.substr(0, length).c_str());
}

void TLPThread::SetPriority(TThreadPriority APriority) {
  std::lock_guard lock(FPriorityLock);
  FPriority = APriority;
  if (FThreadID != 0) ApplyPriority();
}

TThreadPriority TLPThread::Priority() const {
  std::lock_guard lock(FPriorityLock);
  return FPriority;
}

// Priorities are nice values around the thread's normal one; raising a thread above normal
// needs a privilege that ordinary users often lack, in which case it silently stays as is.
void TLPThread::ApplyPriority() {
  static constexpr int NiceOffset[] = {19, 2, 1, 0, -1, -2, -20};
  const int nice = std::clamp(FNormalNice + NiceOffset[static_cast<int>(FPriority)], -20, 19);
  setpriority(PRIO_PROCESS, static_cast<id_t>(FThreadID), nice);
}
