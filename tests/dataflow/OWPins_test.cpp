#include "dataflow/OWPins.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "BoundedWait.h"
#include "capture/ALAudioBuffer.h"
#include "dataflow/ALStreamTypes.h"
#include "dataflow/LPComponent.h"

using namespace std::chrono_literals;

namespace {

const char* const CDependsOnItself =
    "The pin depends on itself. Please protect with functional dependency.";

struct TReceived {
  TOWBasicPin* Sender;
  TOWStreamTypeID DataTypeID;
  TOWOperationPtr Operation;
  TOWNotifyState State;
};

// An operation event that records what reaches it; OnOperation, when set, runs first.
class TRecorder {
public:
  TSLOperationEvent Event() {
    return [this](TOWBasicPin* ASender, TOWStreamTypeID AType, const TOWOperationPtr& AOperation,
                  TOWNotifyState AState) {
      {
        std::lock_guard lock(FSection);
        FLog.push_back({ASender, AType, AOperation, AState});
      }
      return OnOperation ? OnOperation(AOperation) : TOWNotifyResult{};
    };
  }
  std::vector<TReceived> Log() {
    std::lock_guard lock(FSection);
    return FLog;
  }
  template <typename T>
  int Count() {
    std::lock_guard lock(FSection);
    int count = 0;
    for (const TReceived& received : FLog) {
      count += dynamic_cast<T*>(&received.Operation->Instance()) != nullptr ? 1 : 0;
    }
    return count;
  }
  std::function<TOWNotifyResult(const TOWOperationPtr&)> OnOperation;

private:
  std::mutex FSection;
  std::vector<TReceived> FLog;
};

TALWaveFormatExtensible StereoFormat() {
  TALWaveFormatExtensible format{};
  format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
  format.Format.nChannels = 2;
  format.Format.nSamplesPerSec = 44100;
  format.Format.nBlockAlign = 4;
  format.Format.nAvgBytesPerSec = 44100 * 4;
  format.Format.wBitsPerSample = 16;
  format.Format.cbSize = 22;
  format.wValidBitsPerSample = 16;
  format.dwChannelMask = 3;
  return format;
}

TOWOperationPtr StartWave() {
  return std::make_shared<TOWStartWaveOperation>(StereoFormat(), false);
}

// A source, its recorder for upstream operations, and sinks with their recorders.
struct TChain {
  TRecorder SourceLog;
  TALOWAudioSourcePin Source{nullptr, nullptr, SourceLog.Event()};
  TRecorder SinkLog[3];
  TALOWAudioSinkPin Sink[3] = {{nullptr, nullptr, SinkLog[0].Event()},
                               {nullptr, nullptr, SinkLog[1].Event()},
                               {nullptr, nullptr, SinkLog[2].Event()}};
};

}  // namespace

TEST(OWOperations, ClassesAndIdentifiers) {
  const TALWaveFormatExtensible format = StereoFormat();
  TOWStartWaveOperation start(format, true);
  EXPECT_FLOAT_EQ(start.Rate, 44100.0f);
  EXPECT_DOUBLE_EQ(start.SampleRate, 44100.0);
  EXPECT_EQ(std::memcmp(&start.WaveFormat, &format, sizeof format), 0);
  EXPECT_TRUE(start.Paused);
  TOWEndStopOperation endStop;
  EXPECT_NE(dynamic_cast<TOWStartOperation*>(&start.Instance()), nullptr);
  EXPECT_NE(dynamic_cast<TOWStopOperation*>(&endStop.Instance()), nullptr);
  EXPECT_EQ(dynamic_cast<TOWStopOperation*>(&start.Instance()), nullptr);
  // Each operation takes the next number, whatever its class.
  EXPECT_EQ(endStop.GetOperationID(), start.GetOperationID() + 1);
  EXPECT_EQ(TOWNotifyOperation().GetOperationID(), endStop.GetOperationID() + 1);
}

TEST(OWOperations, IdentifiersStayUniqueAcrossThreads) {
  constexpr int CThreads = 4;
  constexpr int CEach = 2000;
  std::vector<std::vector<uint32_t>> ids(CThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < CThreads; ++t) {
    threads.emplace_back([&ids, t] {
      for (int i = 0; i < CEach; ++i) {
        ids[t].push_back(std::make_shared<TOWStopOperation>()->GetOperationID());
      }
    });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  std::set<uint32_t> all;
  for (const auto& list : ids) {
    EXPECT_TRUE(std::is_sorted(list.begin(), list.end()));
    all.insert(list.begin(), list.end());
  }
  ASSERT_EQ(all.size(), size_t{CThreads * CEach});
  EXPECT_EQ(*all.rbegin() - *all.begin() + 1, uint32_t{CThreads * CEach});
}

TEST(OWPins, AudioPinsMeetOnTheAudioType) {
  TChain chain;
  ASSERT_TRUE(chain.Sink[0].Connect(&chain.Source));
  chain.Source.Notify(std::make_shared<TOWStopOperation>());
  ASSERT_EQ(chain.SinkLog[0].Log().size(), 1u);
  EXPECT_EQ(chain.SinkLog[0].Log()[0].DataTypeID, &ALAudioStreamType);
  EXPECT_EQ(chain.SinkLog[0].Log()[0].Sender, &chain.Sink[0]);
}

TEST(OWPins, ConnectingTwiceKeepsOneEntryAndSendsNothingMore) {
  TChain chain;
  chain.Source.Notify(StartWave());
  ASSERT_TRUE(chain.Sink[0].Connect(&chain.Source));
  ASSERT_EQ(chain.SinkLog[0].Log().size(), 1u);
  EXPECT_TRUE(chain.Sink[0].Connect(&chain.Source));
  EXPECT_EQ(chain.Source.SinkCount(), 1);
  EXPECT_EQ(chain.SinkLog[0].Log().size(), 1u);
}

TEST(OWPins, KeptStartIsReplayedToAJoiningSinkUntilAStop) {
  struct TCase {
    const char* Name;
    std::vector<TOWOperationPtr> Sent;  // before the sink joins; the first is the start
    bool Replayed;
  };
  const TOWOperationPtr start = StartWave();
  const TCase cases[] = {
      {"start", {start}, true},
      {"start then buffer", {start, std::make_shared<TOWNotifyOperation>()}, true},
      {"start then end-stop", {start, std::make_shared<TOWEndStopOperation>()}, false},
      {"start then stop", {start, std::make_shared<TOWStopOperation>()}, false},
  };
  for (const TCase& c : cases) {
    TChain chain;
    for (const TOWOperationPtr& operation : c.Sent) {
      // With no sink the answer is empty, and the start is still kept or dropped.
      EXPECT_TRUE(chain.Source.Notify(operation).Empty()) << c.Name;
    }
    EXPECT_EQ(chain.Source.GetStartOperation() == start, c.Replayed) << c.Name;
    ASSERT_TRUE(chain.Sink[0].Connect(&chain.Source)) << c.Name;
    const std::vector<TReceived> log = chain.SinkLog[0].Log();
    ASSERT_EQ(log.size(), c.Replayed ? 1u : 0u) << c.Name;
    if (c.Replayed) {
      EXPECT_EQ(log[0].Operation, start) << c.Name;  // the same object, so the same number
      EXPECT_EQ(log[0].State, TOWNotifyState{nsLastIteration}) << c.Name;
    }
  }
}

TEST(OWPins, StateMarksTheLastSinkOnly) {
  for (int sinks = 1; sinks <= 3; ++sinks) {
    TChain chain;
    for (int i = 0; i < sinks; ++i) {
      ASSERT_TRUE(chain.Sink[i].Connect(&chain.Source));
    }
    chain.Source.Notify(std::make_shared<TOWStopOperation>());
    for (int i = 0; i < sinks; ++i) {
      const std::vector<TReceived> log = chain.SinkLog[i].Log();
      ASSERT_EQ(log.size(), 1u);
      const TOWNotifyState expected =
          i == sinks - 1 ? TOWNotifyState{nsLastIteration} : TOWNotifyState{};
      EXPECT_EQ(log[0].State, expected) << sinks << " sinks, sink " << i;
    }
  }
}

TEST(OWPins, ErrorsOfReceiversReachNotifyButNotSubmitBuffer) {
  TChain chain;
  ASSERT_TRUE(chain.Sink[0].Connect(&chain.Source));
  ASSERT_TRUE(chain.Sink[1].Connect(&chain.Source));
  chain.SinkLog[0].OnOperation = [](const TOWOperationPtr&) -> TOWNotifyResult {
    throw std::runtime_error("receiver failed");
  };
  auto buffer = std::shared_ptr<ISLData>(TALAudioBuffer::CreateSize(44100, 16, 2, 64));
  EXPECT_TRUE(chain.Source.SubmitBuffer(buffer).Empty());
  EXPECT_EQ(chain.Source.GetInSending(), 0);
  EXPECT_THROW(chain.Source.Notify(std::make_shared<TOWStopOperation>()), std::runtime_error);
  EXPECT_EQ(chain.Source.GetInSending(), 0);
  // The failing sink stops the round; the next buffers still go out.
  EXPECT_EQ(chain.SinkLog[1].Log().size(), 0u);
  chain.SinkLog[0].OnOperation = nullptr;
  chain.Source.SubmitBuffer(buffer);
  EXPECT_EQ(chain.SinkLog[1].Count<TOWSuppliedBufferOperation>(), 1);
}

TEST(OWPins, SuppliedBufferOperationsHoldTheirBufferOnlyWhileSomeoneKeepsThem) {
  TChain chain;
  ASSERT_TRUE(chain.Sink[0].Connect(&chain.Source));
  auto first = std::shared_ptr<ISLData>(TALAudioBuffer::CreateSize(44100, 16, 2, 64));
  auto second = std::shared_ptr<ISLData>(TALAudioBuffer::CreateSize(44100, 16, 2, 64));
  chain.Source.SubmitBuffer(first);
  chain.Source.SubmitBuffer(second);
  std::vector<TReceived> log = chain.SinkLog[0].Log();  // the recorder keeps both
  ASSERT_EQ(log.size(), 2u);
  auto* kept1 = dynamic_cast<TOWSuppliedBufferOperation*>(&log[0].Operation->Instance());
  auto* kept2 = dynamic_cast<TOWSuppliedBufferOperation*>(&log[1].Operation->Instance());
  ASSERT_NE(kept1, nullptr);
  ASSERT_NE(kept2, nullptr);
  EXPECT_EQ(kept1->Buffer, first);
  EXPECT_EQ(kept2->Buffer, second);
  EXPECT_EQ(kept2->GetOperationID(), kept1->GetOperationID() + 1);

  // When nobody keeps the operation, the pin drops its buffer as soon as it is delivered.
  chain.Sink[0].Disconnect();
  TALOWAudioSinkPin sink(
      nullptr, nullptr,
      [](TOWBasicPin*, TOWStreamTypeID, const TOWOperationPtr& AOperation, TOWNotifyState) {
        EXPECT_NE(dynamic_cast<TOWSuppliedBufferOperation&>(AOperation->Instance()).Buffer,
                  nullptr);
        return TOWNotifyResult{};
      });
  ASSERT_TRUE(sink.Connect(&chain.Source));
  auto third = std::shared_ptr<ISLData>(TALAudioBuffer::CreateSize(44100, 16, 2, 64));
  for (int i = 0; i < 3; ++i) {
    chain.Source.SubmitBuffer(third);
    EXPECT_EQ(third.use_count(), 1);
  }
}

TEST(OWPins, SinkMovingToAnotherSourceGetsAStopFromTheFirst) {
  TChain chain;
  TRecorder otherLog;
  TALOWAudioSourcePin other(nullptr, nullptr, otherLog.Event());
  ASSERT_TRUE(chain.Sink[0].Connect(&chain.Source));
  ASSERT_TRUE(chain.Sink[0].Connect(&other));
  const std::vector<TReceived> log = chain.SinkLog[0].Log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(dynamic_cast<TOWStopOperation*>(&log[0].Operation->Instance()), nullptr);
  EXPECT_EQ(chain.Source.SinkCount(), 0);
  EXPECT_EQ(other.SinkCount(), 1);
  EXPECT_EQ(chain.Sink[0].GetSourcePin(), &other);
  // Connecting to none leaves the source with a last stop.
  EXPECT_TRUE(chain.Sink[0].Connect(nullptr));
  EXPECT_EQ(chain.SinkLog[0].Count<TOWStopOperation>(), 2);
  EXPECT_EQ(other.SinkCount(), 0);
  EXPECT_EQ(chain.Sink[0].GetSourcePin(), nullptr);
}

TEST(OWPins, ConnectionsThatCannotWorkAreRefused) {
  TChain chain;
  TOWRealRangedSourcePin untyped(nullptr, nullptr);
  EXPECT_FALSE(chain.Sink[0].Connect(&chain.Sink[0]));  // itself
  EXPECT_FALSE(chain.Sink[0].Connect(&chain.Sink[1]));  // not a source
  EXPECT_FALSE(chain.Sink[0].Connect(&untyped));        // no common stream type

  // A source whose data derives from the sink, directly or through another connection.
  chain.Source.AddFunctionSource(&chain.Sink[0]);
  EXPECT_FALSE(chain.Sink[0].Connect(&chain.Source));
  TALOWAudioSourcePin middle(nullptr, nullptr, nullptr);
  middle.AddFunctionSource(&chain.Sink[1]);
  ASSERT_TRUE(chain.Sink[0].Connect(&middle));
  EXPECT_FALSE(chain.Sink[1].Connect(&chain.Source));
  EXPECT_EQ(chain.Source.SinkCount(), 0);
  EXPECT_TRUE(chain.Sink[2].Connect(&chain.Source));
}

TEST(OWPins, SinkSendsUpstreamToTheSourceEvent) {
  TChain chain;
  const TOWOperationPtr pump = std::make_shared<TOWMasterPumpOperation>(nullptr);
  EXPECT_TRUE(chain.Sink[0].Notify(pump).Empty());
  EXPECT_TRUE(chain.SourceLog.Log().empty());
  ASSERT_TRUE(chain.Sink[0].Connect(&chain.Source));
  chain.SourceLog.OnOperation = [](const TOWOperationPtr&) {
    return TOWNotifyResult{nrDataChanged};
  };
  EXPECT_TRUE(chain.Sink[0].Notify(pump).Contains(nrDataChanged));
  chain.Sink[0].MasterPump(&chain.Sink[0]);
  const std::vector<TReceived> log = chain.SourceLog.Log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].Sender, &chain.Source);
  EXPECT_EQ(log[0].Operation, pump);
  EXPECT_EQ(log[0].State, TOWNotifyState{nsLastIteration});
  EXPECT_EQ(dynamic_cast<TOWMasterPumpOperation&>(log[1].Operation->Instance()).Pump,
            &chain.Sink[0]);
}

TEST(OWPins, DeliveryOrderFollowsChangesAndNotifyAfter) {
  TChain chain;
  std::vector<int> order;
  for (int i = 0; i < 3; ++i) {
    chain.SinkLog[i].OnOperation = [&order, i](const TOWOperationPtr&) {
      order.push_back(i);
      return i == 0 ? TOWNotifyResult{nrDataChanged} : TOWNotifyResult{};
    };
  }
  // Sink 1 is to be served after sink 2, which it joins before; sink 0 reports changes and
  // moves back. Every delivery, also the notice of a new link, reorders.
  ASSERT_TRUE(chain.Sink[0].Connect(&chain.Source));
  ASSERT_TRUE(chain.Sink[1].ConnectAfter(&chain.Source, &chain.Sink[2]));
  ASSERT_TRUE(chain.Sink[2].Connect(&chain.Source));
  chain.Source.Notify(std::make_shared<TOWStopOperation>());
  chain.Source.Notify(std::make_shared<TOWStopOperation>());
  EXPECT_EQ(order, (std::vector<int>{0, 2, 1, 2, 1, 0}));
}

TEST(OWPins, NestedDeliveriesAreLimited) {
  TChain chain;
  ASSERT_TRUE(chain.Sink[0].Connect(&chain.Source));
  int depth = 0;
  chain.SinkLog[0].OnOperation = [&](const TOWOperationPtr& AOperation) {
    ++depth;
    chain.Source.Notify(AOperation);
    return TOWNotifyResult{};
  };
  try {
    chain.Source.Notify(std::make_shared<TOWNotifyOperation>());
    FAIL() << "no error";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), CDependsOnItself);
  }
  EXPECT_EQ(depth, 201);
  EXPECT_EQ(chain.Source.GetInSending(), 0);

  // The new-link notice of a sink that joins inside deliveries nested deeper than 10.
  depth = 0;
  chain.SinkLog[0].OnOperation = [&](const TOWOperationPtr& AOperation) {
    if (++depth <= 11) {
      chain.Source.Notify(AOperation);
    } else {
      EXPECT_THROW(
          {
            try {
              chain.Sink[1].Connect(&chain.Source);
            } catch (const std::runtime_error& error) {
              EXPECT_STREQ(error.what(), CDependsOnItself);
              throw;
            }
          },
          std::runtime_error);
    }
    return TOWNotifyResult{};
  };
  chain.Source.Notify(std::make_shared<TOWNotifyOperation>());
  EXPECT_EQ(depth, 12);
}

TEST(OWPins, OwnerLockIsLetGoDuringDeliveries) {
  auto ownerLock = std::make_shared<TLPLock>();
  TALOWAudioSourcePin source(nullptr, ownerLock, nullptr);
  TRecorder log;
  TALOWAudioSinkPin sink(nullptr, nullptr, log.Event());
  ASSERT_TRUE(sink.Connect(&source));
  bool othersCouldLock = false;
  log.OnOperation = [&](const TOWOperationPtr&) {
    othersCouldLock = GetWithin(
        std::async(std::launch::async, [&] { return static_cast<bool>(ownerLock->WriteLock()); }),
        "another thread's lock on the owner during a delivery");
    return TOWNotifyResult{};
  };
  TOWLockSection outer = ownerLock->WriteLock();
  TOWLockSection inner = ownerLock->WriteLock();
  source.Notify(std::make_shared<TOWStopOperation>());
  EXPECT_TRUE(othersCouldLock);
  // Both holdings are back after the delivery.
  inner.Release();
  auto other =
      std::async(std::launch::async, [&] { return static_cast<bool>(ownerLock->WriteLock()); });
  EXPECT_EQ(other.wait_for(150ms), std::future_status::timeout);
  outer.Release();
  EXPECT_TRUE(GetWithin(other, "the owner's lock once both holdings are given back"));
}

TEST(OWPins, DestructionLetsTheOtherSideGo) {
  TRecorder sinkLog;
  TALOWAudioSinkPin sink(nullptr, nullptr, sinkLog.Event());
  {
    TALOWAudioSourcePin source(nullptr, nullptr, nullptr);
    ASSERT_TRUE(sink.Connect(&source));
  }
  // The source's last stop reached the sink, which no longer names it.
  EXPECT_EQ(sinkLog.Count<TOWStopOperation>(), 1);
  EXPECT_EQ(sink.GetSourcePin(), nullptr);

  TALOWAudioSourcePin source(nullptr, nullptr, nullptr);
  {
    TRecorder goneLog;
    TALOWAudioSinkPin gone(nullptr, nullptr, goneLog.Event());
    ASSERT_TRUE(gone.Connect(&source));
    ASSERT_TRUE(sink.Connect(&source));
  }
  EXPECT_EQ(source.SinkCount(), 1);
  source.Notify(std::make_shared<TOWStopOperation>());
  EXPECT_EQ(sinkLog.Count<TOWStopOperation>(), 2);
}

TEST(OWPins, WorkerDeliversWhileTheMainThreadConnectsAndDisconnects) {
  auto captureLock = std::make_shared<TLPLock>();
  TALOWAudioSourcePin source(nullptr, captureLock, nullptr);
  source.Notify(StartWave());
  std::atomic<bool> done{false};
  int delivered = 0;
  std::thread worker([&] {
    auto buffer = std::shared_ptr<ISLData>(TALAudioBuffer::CreateSize(44100, 16, 2, 32));
    while (!done.load()) {
      TOWLockSection format = captureLock->ReadLock();  // as the capture reads its format
      format.Release();
      source.SubmitBuffer(buffer);
    }
  });
  for (int round = 0; round < 200; ++round) {
    auto meterLock = std::make_shared<TLPLock>();
    TRecorder log;
    int buffers = 0;  // guarded by the meter lock, as the meter's queue is
    log.OnOperation = [&](const TOWOperationPtr& AOperation) {
      if (TOWLockSection section = meterLock->WriteLock()) {
        buffers += dynamic_cast<TOWSuppliedBufferOperation*>(&AOperation->Instance()) ? 1 : 0;
      }
      return TOWNotifyResult{};
    };
    auto sink = std::make_unique<TALOWAudioSinkPin>(nullptr, meterLock, log.Event());
    ASSERT_TRUE(sink->Connect(&source));
    if (round % 2 == 0) {
      std::this_thread::sleep_for(1ms);
    }
    {
      TOWLockSection stop = meterLock->StopLock();
      sink->Disconnect();
    }
    sink.reset();
    EXPECT_EQ(log.Count<TOWStartWaveOperation>(), 1);
    EXPECT_EQ(log.Count<TOWStopOperation>(), 1);
    delivered += buffers;
  }
  done = true;
  worker.join();
  EXPECT_EQ(source.SinkCount(), 0);
  EXPECT_GT(delivered, 0);
}

TEST(OWPins, BufferForAStoppingReceiverIsDroppedWithoutWaiting) {
  // As a meter that is being destroyed: it holds its stop lock while the capture's worker
  // delivers. If the delivery waited for the meter's lock, the worker would never return.
  auto meterLock = std::make_shared<TLPLock>();
  TALOWAudioSourcePin source(nullptr, std::make_shared<TLPLock>(), nullptr);
  int queued = 0;
  int refused = 0;
  TALOWAudioSinkPin sink(
      nullptr, meterLock,
      [&](TOWBasicPin*, TOWStreamTypeID, const TOWOperationPtr&, TOWNotifyState) {
        TOWLockSection section = meterLock->WriteLock();
        ++(section ? queued : refused);
        return TOWNotifyResult{};
      });
  ASSERT_TRUE(sink.Connect(&source));
  TOWLockSection stop = meterLock->StopLock();
  std::thread worker([&] {
    auto buffer = std::shared_ptr<ISLData>(TALAudioBuffer::CreateSize(44100, 16, 2, 32));
    EXPECT_TRUE(source.SubmitBuffer(buffer).Empty());
  });
  {
    TBoundedWait bound("the worker's delivery to a receiver that is stopping");
    worker.join();
  }
  EXPECT_EQ(refused, 1);
  EXPECT_EQ(queued, 0);
  // The stopping thread itself still gets through, as for the final stop.
  sink.Disconnect();
  EXPECT_EQ(queued, 1);
}

TEST(TOWPinList, HoldsNamesAndFreesOwnedPins) {
  static int destroyed = 0;
  struct TCountedPin : TOWRealRangedSourcePin {
    TCountedPin() : TOWRealRangedSourcePin(nullptr, nullptr) {}
    ~TCountedPin() override { ++destroyed; }
  };
  for (bool owns : {true, false}) {
    destroyed = 0;
    std::vector<std::unique_ptr<TCountedPin>> keep;  // frees the pins of a list that does not
    auto make = [&] {
      keep.push_back(std::make_unique<TCountedPin>());
      return owns ? keep.back().release() : keep.back().get();
    };
    {
      TOWPinList list(nullptr, nullptr, owns);
      TOWBasicPin* a = make();
      TOWBasicPin* b = make();
      EXPECT_EQ(list.Add(a), 0);
      EXPECT_EQ(list.AddNamed(b, "Right"), 1);
      list.Insert(0, make());
      EXPECT_EQ(list.Count(), 3);
      EXPECT_EQ(list.GetPin(1), a);
      EXPECT_EQ(list.GetPinName(1), "Pin [1]");
      EXPECT_EQ(list.GetPinName(2), "Right");
      EXPECT_THROW(list.GetPin(3), std::out_of_range);
      EXPECT_THROW(list.Insert(5, nullptr), std::out_of_range);
      EXPECT_EQ(list.Remove(a), 1);
      EXPECT_EQ(list.Remove(a), -1);
      EXPECT_EQ(destroyed, owns ? 1 : 0);
      list.Delete(0);
      EXPECT_EQ(destroyed, owns ? 2 : 0);
      EXPECT_EQ(list.Count(), 1);
    }
    EXPECT_EQ(destroyed, owns ? 3 : 0);
  }
}

TEST(TOWRealRangedSourcePin, KeepsTheLastValueAndRange) {
  TOWRealRangedSourcePin pin(nullptr, nullptr);
  EXPECT_EQ(pin.GetValue(), 0.0);
  pin.SubmitValueRange(12.5, 0.0, 32767.0);
  EXPECT_EQ(pin.GetValue(), 12.5);
  EXPECT_EQ(pin.GetMin(), 0.0);
  EXPECT_EQ(pin.GetMax(), 32767.0);
}
