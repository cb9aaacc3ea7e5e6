#include "dataflow/LPComponent.h"

#include <algorithm>

TLPComponent::TLPComponent() : FLock(std::make_shared<TLPLock>([this] { Changed(); })) {}

TLPComponent::~TLPComponent() {
  if (!FLoading) {
    return;
  }
  // A component dropped while its owner still loads must not be woken up afterwards.
  for (TLPComponentLoading* loading = TLPComponentLoading::Current(); loading != nullptr;
       loading = loading->FOuter) {
    std::erase(loading->FPending, this);
  }
}

void TLPComponent::AfterConstruction() {
  if (TLPComponentLoading* loading = TLPComponentLoading::Current()) {
    FLoading = true;
    loading->FPending.push_back(this);
    return;
  }
  ComponentLoaded();
}

void TLPComponent::Loaded() {
  FLoading = false;
  ComponentLoaded();
}

TLPComponentLoading*& TLPComponentLoading::Current() {
  thread_local TLPComponentLoading* current = nullptr;
  return current;
}

TLPComponentLoading::TLPComponentLoading() : FOuter(Current()) { Current() = this; }

TLPComponentLoading::~TLPComponentLoading() {
  if (FActive) {
    Current() = FOuter;
    for (TLPComponent* component : FPending) {
      component->FLoading = false;
    }
  }
}

void TLPComponentLoading::Loaded() {
  if (!FActive) {
    return;
  }
  FActive = false;
  Current() = FOuter;
  std::vector<TLPComponent*> pending = std::move(FPending);
  if (FOuter != nullptr) {
    FOuter->FPending.insert(FOuter->FPending.end(), pending.begin(), pending.end());
    return;
  }
  for (size_t i = 0; i < pending.size(); ++i) {
    try {
      pending[i]->Loaded();
    } catch (...) {
      for (size_t j = i + 1; j < pending.size(); ++j) {
        pending[j]->FLoading = false;
      }
      throw;
    }
  }
}
