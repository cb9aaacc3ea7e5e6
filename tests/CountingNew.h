#pragma once
// Counts the heap allocations that one thread makes. It replaces the program's global
// allocation functions, so one source file of a test program includes it, and only one.

#include <cstdlib>
#include <new>

namespace counting_new {
inline thread_local bool Counting = false;
inline thread_local int Allocations = 0;
inline thread_local std::size_t Largest = 0;
}  // namespace counting_new

namespace counting_new {
inline void Count(std::size_t ASize) {
  if (!Counting) return;
  ++Allocations;
  if (ASize > Largest) Largest = ASize;
}
}  // namespace counting_new

void* operator new(std::size_t ASize) {
  counting_new::Count(ASize);
  if (void* memory = std::malloc(ASize == 0 ? 1 : ASize)) return memory;
  throw std::bad_alloc();
}

// The aligned forms, which the buffer pool uses (the library's nothrow forms call these).
void* operator new(std::size_t ASize, std::align_val_t AAlign) {
  counting_new::Count(ASize);
  const auto align = static_cast<std::size_t>(AAlign);
  if (void* memory = std::aligned_alloc(align, (ASize + align - 1) / align * align + align))
    return memory;
  throw std::bad_alloc();
}

// The nothrow forms too: their blocks are given back through the deletes below, so they must
// come from the same place (a sanitizer's own ones would be freed here as a mismatch).
void* operator new(std::size_t ASize, const std::nothrow_t&) noexcept {
  try {
    return ::operator new(ASize);
  } catch (...) {
    return nullptr;
  }
}
void* operator new(std::size_t ASize, std::align_val_t AAlign, const std::nothrow_t&) noexcept {
  try {
    return ::operator new(ASize, AAlign);
  } catch (...) {
    return nullptr;
  }
}

// The compiler takes the free() of a block from operator new for a mismatch; here the two are
// the replacement pair.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* AMemory) noexcept { std::free(AMemory); }
void operator delete(void* AMemory, std::size_t) noexcept { std::free(AMemory); }
void operator delete(void* AMemory, std::align_val_t) noexcept { std::free(AMemory); }
void operator delete(void* AMemory, std::size_t, std::align_val_t) noexcept { std::free(AMemory); }
void operator delete(void* AMemory, const std::nothrow_t&) noexcept { std::free(AMemory); }
void operator delete(void* AMemory, std::align_val_t, const std::nothrow_t&) noexcept {
  std::free(AMemory);
}
#pragma GCC diagnostic pop

// The allocations made by this thread while the object lives.
class TAllocationCount {
public:
  TAllocationCount() {
    counting_new::Allocations = 0;
    counting_new::Largest = 0;
    counting_new::Counting = true;
  }
  ~TAllocationCount() { counting_new::Counting = false; }
  TAllocationCount(const TAllocationCount&) = delete;
  TAllocationCount& operator=(const TAllocationCount&) = delete;
  int Count() const { return counting_new::Allocations; }
  // The size of the largest of them, 0 when there was none.
  std::size_t Largest() const { return counting_new::Largest; }
};
