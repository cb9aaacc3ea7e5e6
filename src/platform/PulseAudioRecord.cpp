#include "platform/PulseAudioRecord.h"

#include <algorithm>
#include <functional>

#include "platform/PulseConnection.h"

namespace {

constexpr const char* ClientName = "Stereolux";

[[noreturn]] void NoServer() {
  throw EAudioRecordError(std::string(pa_strerror(PA_ERR_CONNECTIONREFUSED)) +
                          ", ClassID: " + TPulseAudioRecord::ClassID);
}

[[noreturn]] void NoAnswer() {
  throw EAudioRecordError("Recording control: the sound server did not answer");
}

// The server's reason for the last failure of an operation.
[[noreturn]] void Refused(PulseConnection& Connection, const std::string& What) {
  int error;
  {
    PulseConnection::Lock lock(Connection);
    error = pa_context_errno(Connection.Context());
  }
  throw EAudioRecordError("Recording control: " + What + ": " + pa_strerror(error));
}

struct SourceRecord {
  CaptureSource Source;
  std::vector<SourcePort> Ports;
  std::string ActivePort;
};

// Collects source records until the end of a listing; a failed listing ends it too.
struct SourceQuery {
  PulseConnection* Connection = nullptr;
  std::vector<SourceRecord> Sources;
  bool Finished = false;
  bool Failed = false;
};

void SourceReceived(pa_context*, const pa_source_info* info, int eol, void* userdata) {
  auto* query = static_cast<SourceQuery*>(userdata);
  {
    std::lock_guard lk(query->Connection->Mutex());
    if (eol < 0) query->Failed = true;
    if (eol != 0) {
      query->Finished = true;
    } else {
      SourceRecord record{
          {info->name ? info->name : "", info->description ? info->description : "",
           info->monitor_of_sink != PA_INVALID_INDEX},
          {},
          info->active_port && info->active_port->name ? info->active_port->name : ""};
      for (uint32_t i = 0; i < info->n_ports; ++i)
        record.Ports.push_back({info->ports[i]->name ? info->ports[i]->name : "",
                                info->ports[i]->description ? info->ports[i]->description : ""});
      query->Sources.push_back(std::move(record));
    }
  }
  query->Connection->Signal();
}

std::vector<SourceRecord> RunSourceQuery(
    PulseConnection& Connection,
    const std::function<pa_operation*(pa_context*, SourceQuery*)>& Start, const std::string& What) {
  SourceQuery query;
  query.Connection = &Connection;
  pa_operation* op;
  {
    PulseConnection::Lock lock(Connection);
    op = Start(Connection.Context(), &query);
  }
  if (!Connection.Complete(op, query.Finished)) NoAnswer();
  bool failed;
  {
    std::lock_guard lk(Connection.Mutex());
    failed = query.Failed;
  }
  if (failed) Refused(Connection, What);
  return std::move(query.Sources);
}

struct SuccessQuery {
  PulseConnection* Connection = nullptr;
  bool Finished = false;
  bool Succeeded = false;
};

void OperationDone(pa_context*, int success, void* userdata) {
  auto* query = static_cast<SuccessQuery*>(userdata);
  {
    std::lock_guard lk(query->Connection->Mutex());
    query->Succeeded = success != 0;
    query->Finished = true;
  }
  query->Connection->Signal();
}

// Runs a setting operation to its end, raising the server's reason when it fails.
void RunSetting(PulseConnection& Connection,
                const std::function<pa_operation*(pa_context*, SuccessQuery*)>& Start,
                const std::string& What) {
  SuccessQuery query;
  query.Connection = &Connection;
  pa_operation* op;
  {
    PulseConnection::Lock lock(Connection);
    op = Start(Connection.Context(), &query);
  }
  if (!Connection.Complete(op, query.Finished)) NoAnswer();
  bool succeeded;
  {
    std::lock_guard lk(Connection.Mutex());
    succeeded = query.Succeeded;
  }
  if (!succeeded) Refused(Connection, What);
}

}  // namespace

struct TPulseAudioRecord::SourceDetails {
  std::vector<SourcePort> Ports;
  std::string ActivePort;
};

std::vector<SourcePort> DeviceLinesOf(const std::string& SourceDisplayName,
                                      const std::vector<SourcePort>& Ports,
                                      const std::string& ActivePort) {
  if (Ports.empty()) return {{"", SourceDisplayName}};
  // Names are made unique in the server's order, so that a port keeps its name whichever is active.
  std::vector<std::string> labels;
  for (const SourcePort& p : Ports)
    labels.push_back(p.Description.empty() ? p.Name : p.Description);
  const std::vector<std::string> names = UniqueDeviceNames(labels);
  std::vector<SourcePort> lines;
  for (size_t i = 0; i < Ports.size(); ++i) lines.push_back({Ports[i].Name, names[i]});
  std::stable_partition(lines.begin(), lines.end(),
                        [&](const SourcePort& l) { return l.Name == ActivePort; });
  return lines;
}

std::shared_ptr<TPulseAudioRecord> TPulseAudioRecord::Connect(const std::string& Server) {
  auto connection = PulseConnection::Connect(Server, ClientName);
  if (!connection) NoServer();
  return std::shared_ptr<TPulseAudioRecord>(new TPulseAudioRecord(Server, std::move(connection)));
}

TPulseAudioRecord::TPulseAudioRecord(std::string Server,
                                     std::shared_ptr<PulseConnection> Connection)
    : FServer(std::move(Server)), FConnection(std::move(Connection)) {}

TPulseAudioRecord::~TPulseAudioRecord() {
  // Its main loop ends with it, and no callback runs after that.
  FConnection.reset();
}

PulseConnection& TPulseAudioRecord::Connection() {
  if (!FConnection->Alive()) {
    auto connection = PulseConnection::Connect(FServer, ClientName);
    if (!connection) NoServer();
    FConnection = std::move(connection);
    Subscribe(*FConnection);
  }
  return *FConnection;
}

void TPulseAudioRecord::Watch(std::function<void()> Changed) {
  // The main loop may be calling the one before until the new one is in place.
  const auto before = std::move(FChanged);
  FChanged = std::make_shared<const std::function<void()>>(std::move(Changed));
  Subscribe(*FConnection);
}

void TPulseAudioRecord::Subscribe(PulseConnection& Connection) {
  if (!FChanged) return;
  const auto mask = static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SOURCE |
                                                        PA_SUBSCRIPTION_MASK_SOURCE_OUTPUT |
                                                        PA_SUBSCRIPTION_MASK_SERVER);
  PulseConnection::Lock lock(Connection);
  Connection.SetOnEnded([changed = FChanged] { (*changed)(); });
  pa_context_set_subscribe_callback(
      Connection.Context(),
      [](pa_context*, pa_subscription_event_type_t, uint32_t, void* changed) {
        (*static_cast<const std::function<void()>*>(changed))();
      },
      const_cast<std::function<void()>*>(FChanged.get()));
  // Fire and forget: a server that does not take it is one that is going away.
  if (pa_operation* op = pa_context_subscribe(Connection.Context(), mask, nullptr, nullptr))
    pa_operation_unref(op);
}

int32_t TPulseAudioRecord::GetDeviceCount() {
  FListed = false;
  FDevices.clear();
  const auto records = RunSourceQuery(
      Connection(),
      [](pa_context* c, SourceQuery* q) {
        return pa_context_get_source_info_list(c, &SourceReceived, q);
      },
      "listing the sources");
  std::vector<CaptureSource> sources;
  for (const SourceRecord& r : records) sources.push_back(r.Source);
  FDevices = NameCaptureSources(sources);
  FListed = true;
  return static_cast<int32_t>(FDevices.size());
}

const std::vector<NamedCaptureSource>& TPulseAudioRecord::Devices() {
  if (!FListed) GetDeviceCount();
  return FDevices;
}

std::string TPulseAudioRecord::GetDeviceName(int32_t nID) {
  const auto& devices = Devices();
  CheckAudioRecordIndex(nID, static_cast<int32_t>(devices.size()), "device");
  return devices[nID].DisplayName;
}

void TPulseAudioRecord::SetDeviceIndex(int32_t Value) {
  const auto& devices = Devices();
  CheckAudioRecordIndex(Value, static_cast<int32_t>(devices.size()), "device");
  FCurrent = devices[Value].Name;
  FLines.clear();
}

TPulseAudioRecord::SourceDetails TPulseAudioRecord::QuerySource(const std::string& Name) {
  const auto records = RunSourceQuery(
      Connection(),
      [&](pa_context* c, SourceQuery* q) {
        return pa_context_get_source_info_by_name(c, Name.c_str(), &SourceReceived, q);
      },
      "source \"" + Name + "\"");
  if (records.empty())
    throw EAudioRecordError("Recording control: source \"" + Name + "\" is gone");
  return {records.front().Ports, records.front().ActivePort};
}

int32_t TPulseAudioRecord::GetDeviceLineCount() {
  FLines.clear();
  if (FCurrent.empty()) return 0;
  const SourceDetails details = QuerySource(FCurrent);
  std::string displayName = FCurrent;
  for (const NamedCaptureSource& d : FDevices)
    if (d.Name == FCurrent) displayName = d.DisplayName;
  FLines = DeviceLinesOf(displayName, details.Ports, details.ActivePort);
  return static_cast<int32_t>(FLines.size());
}

std::string TPulseAudioRecord::GetDeviceLineName(int32_t nID) {
  CheckAudioRecordIndex(nID, static_cast<int32_t>(FLines.size()), "line");
  return FLines[nID].Description;
}

void TPulseAudioRecord::SetDeviceLineIndex(int32_t Value) {
  if (Value == -1) return;
  CheckAudioRecordIndex(Value, static_cast<int32_t>(FLines.size()), "line");
  const std::string port = FLines[Value].Name;
  if (port.empty()) return;  // the source itself: nothing to switch
  // Asked again: the user may have switched it elsewhere since the lines were listed.
  if (QuerySource(FCurrent).ActivePort == port) return;
  RunSetting(
      Connection(),
      [&](pa_context* c, SuccessQuery* q) {
        return pa_context_set_source_port_by_name(c, FCurrent.c_str(), port.c_str(), &OperationDone,
                                                  q);
      },
      "port \"" + port + "\"");
}
