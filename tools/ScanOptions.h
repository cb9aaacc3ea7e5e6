#pragma once
// The command line of stereolux-scan.

#include <cstdint>
#include <string>
#include <vector>

struct TScanOptions {
  int32_t Release = 400;  // ms
  uint32_t Period = 100;  // ms
  bool DBFS = false;
  bool Summary = false;
  bool Help = false;
  bool Version = false;
  std::vector<std::string> Files;  // "-" is standard input
};

// The largest --release and --period, in milliseconds.
inline constexpr long ScanMaxMilliseconds = 3600000;

// Reads the arguments after the program name into AOptions; returns what is wrong with them,
// or an empty text. --help and --version need no file.
std::string ParseScanOptions(const std::vector<std::string>& AArgs, TScanOptions& AOptions);

// The text of --help.
std::string ScanHelp();
