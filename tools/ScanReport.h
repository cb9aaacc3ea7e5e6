#pragma once
// What stereolux-scan prints: the table of levels per block or the summary per channel, as
// comma-separated values, with a first column naming the file when several are measured.

#include <cstdint>
#include <cstdio>
#include <string>

// Levels of one file in sample units or in dBFS. The decibel reference is twice the full
// scale of the file's samples: 2^bits for integers, 2.0 for floating point.
class TScanScale {
public:
  // ABits: the width of integer samples; 0 for floating-point samples.
  TScanScale(int32_t ABits, bool ADBFS);
  double Reference() const { return FReference; }
  // The level as printed: sample units with nine significant digits, or dBFS with four
  // decimals. Level 0 reads as one unit of the format's last place in dBFS (-96.3296 for
  // 16-bit samples, as the window shows it).
  int Format(char* AOut, size_t ASize, double AValue) const;

private:
  bool FDBFS;
  double FReference;
  double FSmallest;  // the level that 0 reads as, in dBFS
};

class TScanReport {
public:
  TScanReport(std::FILE* AOut, bool ASummary, bool AFileColumn);

  // The next file: its header line is printed unless the last one printed had the same
  // columns.
  void BeginFile(const std::string& AName, int32_t AChannels, const TScanScale& AScale);
  // One block of the table: the time at its end and each channel's level.
  void Row(double ATime, const double* AValues);
  // One channel of the summary.
  void SummaryRow(int32_t AChannel, double AMax, double ATime, int64_t AClipped);

private:
  std::FILE* const FOut;
  const bool FSummary;
  const bool FFileColumn;
  std::string FPrefix;  // the file column and its comma, or nothing
  int32_t FChannels = 0;
  int32_t FHeaderChannels = -1;
  const TScanScale* FScale = nullptr;
};
