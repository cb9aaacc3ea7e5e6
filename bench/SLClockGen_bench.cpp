// Cost of handing work to the main thread: one post per notification, and the drain that
// runs the handler once per post.
#include <benchmark/benchmark.h>

#include <memory>

#include "dataflow/SLClockGen.h"

static void BM_NotifyPostAndDrain(benchmark::State& state) {
  const auto batch = state.range(0);
  auto queue = std::make_shared<TSLMessageQueue>();
  SLSetMessageQueue(queue);
  int64_t runs = 0;
  {
    TSLMainThreadNotify notifier([&](TSLMainThreadNotify*) { ++runs; });
    for (auto _ : state) {
      for (int64_t i = 0; i < batch; ++i) notifier.Notify(true);
      queue->ProcessMessages();
    }
  }
  SLSetMessageQueue(nullptr);
  if (runs != batch * static_cast<int64_t>(state.iterations()))
    state.SkipWithError("a notification was lost");
  state.SetItemsProcessed(runs);
}
BENCHMARK(BM_NotifyPostAndDrain)->Arg(1)->Arg(64);

BENCHMARK_MAIN();
