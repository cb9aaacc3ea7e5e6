#include "ScanReport.h"

#include <cmath>
#include <cstring>

namespace {

// A file name as one CSV field: quoted when it holds a comma, a quote or a line break.
std::string CsvField(const std::string& AText) {
  if (AText.find_first_of(",\"\r\n") == std::string::npos) return AText;
  std::string quoted = "\"";
  for (char c : AText) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

}  // namespace

TScanScale::TScanScale(int32_t ABits, bool ADBFS)
    : FDBFS(ADBFS), FReference(ABits > 0 ? std::ldexp(1.0, ABits) : 2.0) {
  // One unit of an integer format; a float has 24 bits of precision around full scale.
  const double lastPlace = ABits > 0 ? 1.0 : std::ldexp(1.0, -23);
  FSmallest = 20.0 * std::log10(lastPlace / FReference);
}

int TScanScale::Format(char* AOut, size_t ASize, double AValue) const {
  if (!FDBFS) return std::snprintf(AOut, ASize, "%.9g", AValue);
  const double magnitude = std::fabs(AValue);
  const double db = magnitude > 0 ? 20.0 * std::log10(magnitude / FReference) : FSmallest;
  return std::snprintf(AOut, ASize, "%.4f", db);
}

TScanReport::TScanReport(std::FILE* AOut, bool ASummary, bool AFileColumn)
    : FOut(AOut), FSummary(ASummary), FFileColumn(AFileColumn) {}

void TScanReport::BeginFile(const std::string& AName, int32_t AChannels, const TScanScale& AScale) {
  FPrefix = FFileColumn ? CsvField(AName) + "," : std::string();
  FChannels = AChannels;
  FScale = &AScale;
  const int32_t columns = FSummary ? 0 : AChannels;
  if (columns == FHeaderChannels) return;
  FHeaderChannels = columns;
  if (FFileColumn) std::fputs("file,", FOut);
  if (FSummary) {
    std::fputs("channel,max,time_s,clipped\n", FOut);
    return;
  }
  std::fputs("time_s", FOut);
  for (int32_t c = 0; c < AChannels; ++c) std::fprintf(FOut, ",ch%d", c);
  std::fputc('\n', FOut);
}

void TScanReport::Row(double ATime, const double* AValues) {
  char line[32 * 24 + 32];
  const size_t size = sizeof line;
  size_t length = static_cast<size_t>(std::snprintf(line, size, "%.3f", ATime));
  for (int32_t c = 0; c < FChannels && length + 1 < size; ++c) {
    line[length++] = ',';
    length += static_cast<size_t>(FScale->Format(line + length, size - length, AValues[c]));
  }
  line[std::min(length, size - 1)] = '\n';
  std::fwrite(FPrefix.data(), 1, FPrefix.size(), FOut);
  std::fwrite(line, 1, std::min(length + 1, size), FOut);
}

void TScanReport::SummaryRow(int32_t AChannel, double AMax, double ATime, int64_t AClipped) {
  char level[32];
  FScale->Format(level, sizeof level, AMax);
  std::fprintf(FOut, "%sch%d,%s,%.3f,%lld\n", FPrefix.c_str(), AChannel, level, ATime,
               static_cast<long long>(AClipped));
}
