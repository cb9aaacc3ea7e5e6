#include "dataflow/LPComponent.h"

#include <gtest/gtest.h>

#include <future>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

class TTestComponent : public TLPComponent {
public:
  TTestComponent(std::vector<std::string>& ALog, std::string AName, bool AFail = false)
      : FLog(ALog), FName(std::move(AName)), FFail(AFail) {}

  int FValue = 0;
  int FChanges = 0;

protected:
  void ComponentLoaded() override {
    FLog.push_back(FName);
    if (FFail) {
      throw std::runtime_error("start failed");
    }
  }
  void Changed() override { ++FChanges; }

private:
  std::vector<std::string>& FLog;
  std::string FName;
  bool FFail;
};

}  // namespace

TEST(ILPLock, SettersClampStoreAndNotifyOnlyOnChange) {
  struct TCase {
    const char* Name;
    int Stored;
    int Value;
    bool (*Set)(ILPLock&, int&, int, const std::function<void()>&);
    int Expected;
    bool Changed;
  };
  const TCase cases[] = {
      {"plain same", 5, 5,
       [](ILPLock& l, int& f, int v, const auto& u) { return l.Setter(f, v, u); }, 5, false},
      {"plain new", 5, 7,
       [](ILPLock& l, int& f, int v, const auto& u) { return l.Setter(f, v, u); }, 7, true},
      {"min clamps", 5, -3,
       [](ILPLock& l, int& f, int v, const auto& u) { return l.SetterMin(f, v, 0, u); }, 0, true},
      {"min keeps", 5, 9,
       [](ILPLock& l, int& f, int v, const auto& u) { return l.SetterMin(f, v, 0, u); }, 9, true},
      {"max clamps", 5, 300,
       [](ILPLock& l, int& f, int v, const auto& u) { return l.SetterMax(f, v, 255, u); }, 255,
       true},
      {"max clamps to stored", 255, 300,
       [](ILPLock& l, int& f, int v, const auto& u) { return l.SetterMax(f, v, 255, u); }, 255,
       false},
      {"minmax low", 5, -1,
       [](ILPLock& l, int& f, int v, const auto& u) { return l.SetterMinMax(f, v, 1, 32, u); }, 1,
       true},
      {"minmax high", 5, 40,
       [](ILPLock& l, int& f, int v, const auto& u) { return l.SetterMinMax(f, v, 1, 32, u); }, 32,
       true},
      // Minimum first, then maximum: a maximum below the minimum wins.
      {"minmax crossed", 5, 0,
       [](ILPLock& l, int& f, int v, const auto& u) { return l.SetterMinMax(f, v, 10, 8, u); }, 8,
       true},
  };
  for (const TCase& c : cases) {
    std::vector<std::string> log;
    TTestComponent component(log, "c");
    int field = c.Stored;
    int updates = 0;
    const bool changed = c.Set(*component.GetLock(), field, c.Value, [&] {
      // The update runs after the store, under the lock.
      EXPECT_EQ(field, c.Expected);
      ++updates;
    });
    EXPECT_EQ(changed, c.Changed) << c.Name;
    EXPECT_EQ(field, c.Expected) << c.Name;
    EXPECT_EQ(updates, c.Changed ? 1 : 0) << c.Name;
    EXPECT_EQ(component.FChanges, c.Changed ? 1 : 0) << c.Name;
  }
}

TEST(ILPLock, RefusedWhileAnotherThreadStops) {
  std::vector<std::string> log;
  TTestComponent component(log, "c");
  const std::shared_ptr<ILPLock>& lock = component.GetLock();
  TOWLockSection stop = lock->StopLock();
  std::async(std::launch::async, [&] {
    EXPECT_FALSE(lock->WriteLock());
    EXPECT_FALSE(lock->ReadLock());
    EXPECT_FALSE(lock->Setter(component.FValue, 3));
  }).get();
  EXPECT_EQ(component.FValue, 0);
  EXPECT_EQ(component.FChanges, 0);
  // The stopping thread itself may still set properties.
  EXPECT_TRUE(lock->Setter(component.FValue, 4));
  EXPECT_EQ(lock->Getter(component.FValue), 4);
}

TEST(TLPComponent, HookRunsAtOnceOutsideLoading) {
  std::vector<std::string> log;
  auto component = TLPComponent::Create<TTestComponent>(log, "a");
  EXPECT_EQ(log, std::vector<std::string>{"a"});
  EXPECT_FALSE(component->IsLoading());
}

TEST(TLPComponent, HooksWaitForTheOutermostLoadingInOrder) {
  std::vector<std::string> log;
  TLPComponentLoading loading;
  auto a = TLPComponent::Create<TTestComponent>(log, "a");
  std::unique_ptr<TTestComponent> b, dropped;
  {
    TLPComponentLoading inner;
    b = TLPComponent::Create<TTestComponent>(log, "b");
    dropped = TLPComponent::Create<TTestComponent>(log, "dropped");
    inner.Loaded();
  }
  dropped.reset();
  EXPECT_TRUE(log.empty());
  EXPECT_TRUE(a->IsLoading());
  EXPECT_TRUE(b->IsLoading());
  loading.Loaded();
  EXPECT_EQ(log, (std::vector<std::string>{"a", "b"}));
  EXPECT_FALSE(b->IsLoading());
  // After the loading, components start at once again.
  auto c = TLPComponent::Create<TTestComponent>(log, "c");
  EXPECT_EQ(log.back(), "c");
}

TEST(TLPComponent, LoadingDroppedOrFailingStopsTheHooks) {
  std::vector<std::string> log;
  std::unique_ptr<TTestComponent> a, b, c;
  {
    TLPComponentLoading loading;
    a = TLPComponent::Create<TTestComponent>(log, "a");
  }
  EXPECT_TRUE(log.empty());
  EXPECT_FALSE(a->IsLoading());

  TLPComponentLoading loading;
  b = TLPComponent::Create<TTestComponent>(log, "b", true);
  c = TLPComponent::Create<TTestComponent>(log, "c");
  EXPECT_THROW(loading.Loaded(), std::runtime_error);
  EXPECT_EQ(log, std::vector<std::string>{"b"});
  EXPECT_FALSE(c->IsLoading());
}
