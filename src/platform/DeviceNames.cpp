#include "platform/DeviceNames.h"

#include <set>

namespace {

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

std::string CutUtf8(std::string_view text, size_t maxBytes) {
  if (text.size() <= maxBytes) return std::string(text);
  size_t end = maxBytes;
  while (end > 0 && IsContinuationByte(text[end])) --end;
  return std::string(text.substr(0, end));
}

std::vector<std::string> UniqueDeviceNames(const std::vector<std::string>& names, size_t maxBytes) {
  std::vector<std::string> result;
  result.reserve(names.size());
  std::set<std::string> taken;
  std::vector<bool> repeated;
  for (const std::string& name : names) {
    result.push_back(CutUtf8(name, maxBytes));
    repeated.push_back(!taken.insert(result.back()).second);
  }
  // Repeats are renamed only once every first occurrence holds its name.
  for (size_t i = 0; i < result.size(); ++i) {
    if (!repeated[i]) continue;
    for (int n = 2;; ++n) {
      const std::string suffix = " #" + std::to_string(n);
      std::string candidate = CutUtf8(result[i], maxBytes - suffix.size()) + suffix;
      if (taken.insert(candidate).second) {
        result[i] = std::move(candidate);
        break;
      }
    }
  }
  return result;
}

std::vector<std::string> LegacyDeviceNames(const std::vector<std::string>& names) {
  return UniqueDeviceNames(names, LegacyDeviceNameBytes);
}

std::vector<NamedCaptureSource> NameCaptureSources(const std::vector<CaptureSource>& sources) {
  std::vector<const CaptureSource*> ordered;
  for (bool monitors : {false, true})
    for (const CaptureSource& s : sources)
      if (s.IsMonitor == monitors) ordered.push_back(&s);

  std::vector<std::string> labels;
  for (const CaptureSource* s : ordered)
    labels.push_back(s->Description.empty() ? s->Name : s->Description);
  std::vector<std::string> names = UniqueDeviceNames(labels);

  std::vector<NamedCaptureSource> result;
  for (size_t i = 0; i < ordered.size(); ++i)
    result.push_back({ordered[i]->Name, std::move(names[i])});
  return result;
}
