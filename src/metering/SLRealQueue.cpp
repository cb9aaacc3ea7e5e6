#include "metering/SLRealQueue.h"

#include <stdexcept>
#include <string>

void TSLRealQueue::Add(double AValue) {
  // Reuse the room of removed entries before the array has to grow.
  if (FFirst > 0 && FList.size() == FList.capacity()) {
    FList.erase(FList.begin(), FList.begin() + static_cast<std::ptrdiff_t>(FFirst));
    FFirst = 0;
  }
  FList.push_back(AValue);
}

double TSLRealQueue::Pop() {
  const double Value = GetItem(0);
  Remove();
  return Value;
}

void TSLRealQueue::Remove() {
  if (GetCount() == 0) return;
  if (++FFirst == FList.size()) Clear();
}

void TSLRealQueue::Clear() {
  FList.clear();
  FFirst = 0;
}

std::size_t TSLRealQueue::Position(int32_t Index) const {
  if (Index < 0 || Index >= GetCount())
    throw std::out_of_range("List index out of bounds (" + std::to_string(Index) + ")");
  return FFirst + static_cast<std::size_t>(Index);
}

double TSLRealQueue::GetItem(int32_t Index) const { return FList[Position(Index)]; }

void TSLRealQueue::SetItem(int32_t Index, double AValue) { FList[Position(Index)] = AValue; }
