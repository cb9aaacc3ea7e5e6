#pragma once

#include <cstdint>
#include <vector>

// A first-in first-out queue of values, oldest first. It takes no lock: its owner guards it.
//
// The values live in one array that keeps its capacity when the queue empties, so a queue
// that is filled and drained at a steady pace stops allocating after its first rounds.
class TSLRealQueue {
public:
  void Add(double AValue);
  // Removes and returns the oldest value. Throws std::out_of_range on an empty queue.
  double Pop();
  // Drops the oldest value; nothing on an empty queue.
  void Remove();
  void Clear();
  int32_t GetCount() const { return static_cast<int32_t>(FList.size() - FFirst); }
  // Index 0 is the oldest value. Throws std::out_of_range outside 0 .. GetCount() - 1.
  double GetItem(int32_t Index) const;
  void SetItem(int32_t Index, double AValue);

private:
  std::size_t Position(int32_t Index) const;

  std::vector<double> FList;
  std::size_t FFirst = 0;  // entries before it have been removed
};
