#include "platform/PulseWaveIn.h"

#include <bit>

#include "platform/PulseConnection.h"
#include "platform/WaveIn.h"

namespace {

constexpr const char* ClientName = "Stereolux";
// The server sends what it has recorded at least this often. The meter measures blocks of
// 100 ms, so one fragment of that length brings in about one block per wake; each wake of the
// client's loop, and of the threads it hands the audio to, costs far more than the data it
// carries, and the display lags the sound by at most one more block.
constexpr pa_usec_t FragmentUsec = 100000;

// The speaker bits of an extensible wave format, in bit order.
constexpr pa_channel_position_t SpeakerPositions[] = {
    PA_CHANNEL_POSITION_FRONT_LEFT,
    PA_CHANNEL_POSITION_FRONT_RIGHT,
    PA_CHANNEL_POSITION_FRONT_CENTER,
    PA_CHANNEL_POSITION_LFE,
    PA_CHANNEL_POSITION_REAR_LEFT,
    PA_CHANNEL_POSITION_REAR_RIGHT,
    PA_CHANNEL_POSITION_FRONT_LEFT_OF_CENTER,
    PA_CHANNEL_POSITION_FRONT_RIGHT_OF_CENTER,
    PA_CHANNEL_POSITION_REAR_CENTER,
    PA_CHANNEL_POSITION_SIDE_LEFT,
    PA_CHANNEL_POSITION_SIDE_RIGHT,
    PA_CHANNEL_POSITION_TOP_CENTER,
    PA_CHANNEL_POSITION_TOP_FRONT_LEFT,
    PA_CHANNEL_POSITION_TOP_FRONT_CENTER,
    PA_CHANNEL_POSITION_TOP_FRONT_RIGHT,
    PA_CHANNEL_POSITION_TOP_REAR_LEFT,
    PA_CHANNEL_POSITION_TOP_REAR_CENTER,
    PA_CHANNEL_POSITION_TOP_REAR_RIGHT,
};

pa_channel_map ChannelMap(const WaveInFormat& f) {
  pa_channel_map map;
  const uint32_t known = (1u << std::size(SpeakerPositions)) - 1;
  if (f.ChannelMask != 0 && (f.ChannelMask & ~known) == 0 &&
      std::popcount(f.ChannelMask) == f.Channels) {
    map.channels = static_cast<uint8_t>(f.Channels);
    unsigned c = 0;
    for (unsigned bit = 0; bit < std::size(SpeakerPositions); ++bit)
      if (f.ChannelMask & (1u << bit)) map.map[c++] = SpeakerPositions[bit];
    return map;
  }
  pa_channel_map_init_extend(&map, f.Channels, PA_CHANNEL_MAP_WAVEEX);
  return map;
}

pa_sample_format_t SampleFormat(uint16_t bits) {
  switch (bits) {
    case 8: return PA_SAMPLE_U8;
    case 16: return PA_SAMPLE_S16LE;
    case 24: return PA_SAMPLE_S24LE;
    default: return PA_SAMPLE_S32LE;
  }
}

class PulseStream final : public IWaveInStream {
public:
  PulseStream(std::shared_ptr<PulseConnection> connection, IWaveInSink& sink)
      : FConnection(std::move(connection)), FSink(sink) {}
  ~PulseStream() override { Close(); }

  // Connects a corked record stream and waits until the server has it running.
  MMRESULT Connect(const char* source, const WaveInFormat& format) {
    const pa_sample_spec sampleSpec{SampleFormat(format.ContainerBits), format.SampleRate,
                                    static_cast<uint8_t>(format.Channels)};
    const pa_channel_map map = ChannelMap(format);
    if (!pa_sample_spec_valid(&sampleSpec)) return WAVERR_BADFORMAT;
    pa_buffer_attr attr;
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.tlength = attr.prebuf = attr.minreq = static_cast<uint32_t>(-1);
    attr.fragsize = static_cast<uint32_t>(pa_usec_to_bytes(FragmentUsec, &sampleSpec));
    // A chosen source must not be swapped for another when it goes; the mapper follows the default.
    auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY |
                                                (source != nullptr ? PA_STREAM_DONT_MOVE : 0));
    {
      PulseConnection::Lock lock(*FConnection);
      FStream = pa_stream_new(FConnection->Context(), "Capture", &sampleSpec, &map);
      if (FStream == nullptr) return WAVERR_BADFORMAT;
      pa_stream_set_state_callback(FStream, &PulseStream::StateChanged, this);
      pa_stream_set_read_callback(FStream, &PulseStream::Readable, this);
      if (pa_stream_connect_record(FStream, source, &attr, flags) < 0) return MMSYSERR_NODRIVER;
    }
    FConnection->WaitFor(
        [this] { return FState != PA_STREAM_CREATING && FState != PA_STREAM_UNCONNECTED; });
    std::lock_guard lk(FConnection->Mutex());
    if (FState == PA_STREAM_READY) return MMSYSERR_NOERROR;
    return FError == PA_ERR_NOENTITY ? MMSYSERR_BADDEVICEID : MMSYSERR_NODRIVER;
  }

  void Start() override { Cork(false); }
  void Pause() override { Cork(true); }

  // The server's key of the source that the stream records from now; empty when it has none.
  std::string SourceName() const {
    PulseConnection::Lock lock(*FConnection);
    if (FStream == nullptr || pa_stream_get_state(FStream) != PA_STREAM_READY) return {};
    const char* name = pa_stream_get_device_name(FStream);
    return name != nullptr ? name : "";
  }

  void Close() override {
    PulseConnection::Lock lock(*FConnection);
    if (FStream == nullptr) return;
    // Without callbacks nothing reaches the sink any more, whatever the server still sends.
    pa_stream_set_state_callback(FStream, nullptr, nullptr);
    pa_stream_set_read_callback(FStream, nullptr, nullptr);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(FStream))) pa_stream_disconnect(FStream);
    pa_stream_unref(FStream);
    FStream = nullptr;
  }

private:
  // Fire and forget: a server that is gone or frozen must not hold up the caller.
  void Cork(bool cork) {
    PulseConnection::Lock lock(*FConnection);
    if (FStream == nullptr || pa_stream_get_state(FStream) != PA_STREAM_READY) return;
    if (pa_operation* op = pa_stream_cork(FStream, cork ? 1 : 0, nullptr, nullptr))
      pa_operation_unref(op);
    if (!cork) return;
    if (pa_operation* op = pa_stream_flush(FStream, nullptr, nullptr)) pa_operation_unref(op);
  }

  static void StateChanged(pa_stream* s, void* self) {
    auto* me = static_cast<PulseStream*>(self);
    const pa_stream_state_t state = pa_stream_get_state(s);
    bool wasReady;
    {
      std::lock_guard lk(me->FConnection->Mutex());
      wasReady = me->FState == PA_STREAM_READY;
      me->FState = state;
      if (state == PA_STREAM_FAILED) me->FError = pa_context_errno(pa_stream_get_context(s));
    }
    me->FConnection->Signal();
    if (wasReady && !PA_STREAM_IS_GOOD(state)) me->FSink.Lost();
  }

  static void Readable(pa_stream* s, size_t, void* self) {
    auto* me = static_cast<PulseStream*>(self);
    for (;;) {
      const void* data = nullptr;
      size_t bytes = 0;
      if (pa_stream_peek(s, &data, &bytes) < 0 || bytes == 0) return;
      if (data != nullptr)
        me->FSink.Write(data, bytes);
      else
        me->FSink.Skip(bytes);  // a hole: audio the server never had
      pa_stream_drop(s);
    }
  }

  const std::shared_ptr<PulseConnection> FConnection;
  IWaveInSink& FSink;
  pa_stream* FStream = nullptr;
  pa_stream_state_t FState = PA_STREAM_UNCONNECTED;  // under the connection's mutex
  int FError = PA_OK;
};

struct SourceListing {
  std::vector<CaptureSource> Sources;
  bool Finished = false;
  bool Failed = false;
  PulseConnection* Connection = nullptr;
};

void SourceListed(pa_context*, const pa_source_info* info, int eol, void* userdata) {
  auto* listing = static_cast<SourceListing*>(userdata);
  {
    std::lock_guard lk(listing->Connection->Mutex());
    if (eol < 0) listing->Failed = true;
    if (eol != 0) {
      listing->Finished = true;
    } else {
      listing->Sources.push_back({info->name ? info->name : "",
                                  info->description ? info->description : "",
                                  info->monitor_of_sink != PA_INVALID_INDEX});
    }
  }
  listing->Connection->Signal();
}

}  // namespace

std::shared_ptr<PulseWaveInBackend> PulseWaveInBackend::Connect(const std::string& server) {
  auto connection = PulseConnection::Connect(server, ClientName);
  if (!connection) return nullptr;
  return std::shared_ptr<PulseWaveInBackend>(new PulseWaveInBackend(server, std::move(connection)));
}

PulseWaveInBackend::PulseWaveInBackend(std::string server,
                                       std::shared_ptr<PulseConnection> connection)
    : FServer(std::move(server)), FConnection(std::move(connection)) {}

std::shared_ptr<PulseConnection> PulseWaveInBackend::Connection() {
  std::lock_guard lk(FMutex);
  if (!FConnection || !FConnection->Alive())
    FConnection = PulseConnection::Connect(FServer, ClientName);
  return FConnection;
}

uint32_t PulseWaveInBackend::GetNumDevs() {
  std::vector<NamedCaptureSource> devices;
  bool listed = false;
  if (auto connection = Connection()) {
    SourceListing listing;
    listing.Connection = connection.get();
    pa_operation* op;
    {
      PulseConnection::Lock lock(*connection);
      op = pa_context_get_source_info_list(connection->Context(), &SourceListed, &listing);
    }
    if (connection->Complete(op, listing.Finished)) {
      std::lock_guard lk(connection->Mutex());
      listed = !listing.Failed;
      if (listed) devices = NameCaptureSources(listing.Sources);
    }
  }
  std::lock_guard lk(FMutex);
  FDevices = std::move(devices);
  FListed = listed;
  return static_cast<uint32_t>(FDevices.size());
}

std::vector<NamedCaptureSource> PulseWaveInBackend::Devices() {
  {
    std::lock_guard lk(FMutex);
    if (FListed) return FDevices;
  }
  GetNumDevs();
  std::lock_guard lk(FMutex);
  return FDevices;
}

MMRESULT PulseWaveInBackend::GetDevName(uint32_t deviceId, std::string& name) {
  const auto devices = Devices();
  if (deviceId >= devices.size()) return MMSYSERR_BADDEVICEID;
  name = devices[deviceId].DisplayName;
  return MMSYSERR_NOERROR;
}

MMRESULT PulseWaveInBackend::GetDeviceOf(uint32_t /*deviceId*/, const IWaveInStream& stream,
                                         uint32_t& current) {
  const auto* pulseStream = dynamic_cast<const PulseStream*>(&stream);
  if (pulseStream == nullptr) return MMSYSERR_NOTSUPPORTED;
  const std::string source = pulseStream->SourceName();
  if (source.empty()) return MMSYSERR_NODRIVER;
  GetNumDevs();
  std::lock_guard lk(FMutex);
  for (uint32_t i = 0; i < FDevices.size(); ++i) {
    if (FDevices[i].Name != source) continue;
    current = i;
    return MMSYSERR_NOERROR;
  }
  return MMSYSERR_BADDEVICEID;
}

MMRESULT PulseWaveInBackend::Open(uint32_t deviceId, const WaveInFormat& format, IWaveInSink& sink,
                                  std::unique_ptr<IWaveInStream>& stream) {
  std::string source;
  if (deviceId != WAVE_MAPPER) {
    const auto devices = Devices();
    if (deviceId >= devices.size()) return MMSYSERR_BADDEVICEID;
    source = devices[deviceId].Name;
  }
  auto connection = Connection();
  if (!connection) return MMSYSERR_NODRIVER;
  auto pulseStream = std::make_unique<PulseStream>(std::move(connection), sink);
  if (MMRESULT r = pulseStream->Connect(deviceId == WAVE_MAPPER ? nullptr : source.c_str(), format))
    return r;
  stream = std::move(pulseStream);
  return MMSYSERR_NOERROR;
}
