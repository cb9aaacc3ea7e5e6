#pragma once
// Component base: a component owns one lock that guards its properties, and a start-up hook
// that runs once the component (and whatever owns it) is ready.

#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "dataflow/OWLocks.h"

// The component lock: an object lock plus the property setters that run under it.
// Read and write sections come back empty while another thread is stopping the component;
// a setter then changes nothing.
class ILPLock : public IOWLock {
public:
  // Stores AValue in AField under the write lock when it differs, then calls AUpdate (if
  // given) and the component's change notification. Returns whether the value changed.
  template <typename T>
  bool Setter(T& AField, const T& AValue, const std::function<void()>& AUpdate = {}) {
    TOWLockSection section = WriteLock();
    if (!section || AField == AValue) {
      return false;
    }
    AField = AValue;
    if (AUpdate) {
      AUpdate();
    }
    Changed();
    return true;
  }

  template <typename T>
  bool SetterMin(T& AField, const T& AValue, const T& AMin,
                 const std::function<void()>& AUpdate = {}) {
    return Setter(AField, AValue < AMin ? AMin : AValue, AUpdate);
  }

  template <typename T>
  bool SetterMax(T& AField, const T& AValue, const T& AMax,
                 const std::function<void()>& AUpdate = {}) {
    return Setter(AField, AMax < AValue ? AMax : AValue, AUpdate);
  }

  // The minimum is applied first, so a maximum below the minimum wins.
  template <typename T>
  bool SetterMinMax(T& AField, const T& AValue, const T& AMin, const T& AMax,
                    const std::function<void()>& AUpdate = {}) {
    T value = AValue < AMin ? AMin : AValue;
    if (AMax < value) {
      value = AMax;
    }
    return Setter(AField, value, AUpdate);
  }

  // Reads AField under the read lock. While another thread stops the component the value is
  // read as it stands.
  template <typename T>
  T Getter(const T& AField) {
    TOWLockSection section = ReadLock();
    return AField;
  }

protected:
  // The owning component's change notification.
  virtual void Changed() = 0;
};

class TLPLock final : public ILPLock {
public:
  explicit TLPLock(std::function<void()> ANotify = {}) : FNotify(std::move(ANotify)) {}

  TOWLockSection ReadLock() override { return FLock.ReadLock(); }
  TOWLockSection WriteLock() override { return FLock.WriteLock(); }
  TOWLockSection StopLock() override { return FLock.StopLock(); }
  TOWLockSection UnlockAll() override { return FLock.UnlockAll(); }
  TOWLock& Instance() override { return FLock; }

protected:
  void Changed() override {
    if (FNotify) {
      FNotify();
    }
  }

private:
  TOWLock FLock;
  std::function<void()> FNotify;
};

class TLPComponent {
public:
  TLPComponent();
  TLPComponent(const TLPComponent&) = delete;
  TLPComponent& operator=(const TLPComponent&) = delete;
  virtual ~TLPComponent();

  // Builds a component and makes it ready: the start-up hook runs at once, or at the end of
  // the loading in progress on this thread (see TLPComponentLoading).
  template <typename T, typename... TArgs>
  static std::unique_ptr<T> Create(TArgs&&... AArgs) {
    auto component = std::make_unique<T>(std::forward<TArgs>(AArgs)...);
    component->AfterConstruction();
    return component;
  }

  // For components built without Create: marks the construction as finished.
  void AfterConstruction();
  bool IsLoading() const { return FLoading; }

  const std::shared_ptr<ILPLock>& GetLock() const { return FLock; }

protected:
  // Start-up hook: runs once, when the component is ready.
  virtual void ComponentLoaded() {}
  // Called after a property setter of the component lock changed a value.
  virtual void Changed() {}

  std::shared_ptr<ILPLock> FLock;

private:
  friend class TLPComponentLoading;
  void Loaded();

  bool FLoading = false;
};

// Marks the components built on this thread while it exists as being loaded by their owner
// (a window that builds its components before running its creation handler): their start-up
// hooks wait for Loaded, which runs them in construction order. Loadings may nest; the hooks
// then wait for the outermost one. A loading dropped without Loaded runs no hook.
class TLPComponentLoading {
public:
  TLPComponentLoading();
  TLPComponentLoading(const TLPComponentLoading&) = delete;
  TLPComponentLoading& operator=(const TLPComponentLoading&) = delete;
  ~TLPComponentLoading();

  // Ends the loading and runs the waiting hooks (or hands them to the enclosing loading).
  // An error raised by a hook reaches the caller; the hooks after it do not run.
  void Loaded();

private:
  friend class TLPComponent;
  static TLPComponentLoading*& Current();

  TLPComponentLoading* FOuter;
  bool FActive = true;
  std::vector<TLPComponent*> FPending;
};
