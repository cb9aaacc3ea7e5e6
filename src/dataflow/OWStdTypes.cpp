#include "dataflow/OWStdTypes.h"

#include <atomic>

uint32_t OWNextOperationID() {
  static std::atomic<uint32_t> FOperationID{0};
  return FOperationID.fetch_add(1) + 1;
}
