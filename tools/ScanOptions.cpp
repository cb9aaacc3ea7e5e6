#include "ScanOptions.h"

#include <cerrno>
#include <cstdlib>

namespace {

bool ParseMilliseconds(const std::string& AText, long& AValue) {
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(AText.c_str(), &end, 10);
  if (errno != 0 || AText.empty() || *end != '\0' || value < 1 || value > ScanMaxMilliseconds)
    return false;
  AValue = value;
  return true;
}

}  // namespace

std::string ParseScanOptions(const std::vector<std::string>& AArgs, TScanOptions& AOptions) {
  bool operandsOnly = false;
  for (size_t i = 0; i < AArgs.size(); ++i) {
    const std::string& arg = AArgs[i];
    if (operandsOnly || arg == "-" || arg.empty() || arg[0] != '-') {
      AOptions.Files.push_back(arg);
      continue;
    }
    // Options with a value take it as the next argument or after '='.
    const size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    if (name == "--release" || name == "--period") {
      std::string text;
      if (equals != std::string::npos) {
        text = arg.substr(equals + 1);
      } else if (i + 1 < AArgs.size()) {
        text = AArgs[++i];
      } else {
        return "option '" + name + "' needs a number of milliseconds";
      }
      long value = 0;
      if (!ParseMilliseconds(text, value))
        return "option '" + name + "': '" + text +
               "' is not a whole number of milliseconds from 1 to " +
               std::to_string(ScanMaxMilliseconds);
      if (name == "--release") {
        AOptions.Release = static_cast<int32_t>(value);
      } else {
        AOptions.Period = static_cast<uint32_t>(value);
      }
    } else if (equals != std::string::npos && (name == "--dbfs" || name == "--summary" ||
                                               name == "--help" || name == "--version")) {
      return "option '" + name + "' takes no value";
    } else if (arg == "--dbfs") {
      AOptions.DBFS = true;
    } else if (arg == "--summary") {
      AOptions.Summary = true;
    } else if (arg == "--help" || arg == "-h") {
      AOptions.Help = true;
    } else if (arg == "--version") {
      AOptions.Version = true;
    } else if (arg == "--") {
      operandsOnly = true;
    } else {
      return "unknown option '" + arg + "'";
    }
  }
  if (AOptions.Files.empty() && !AOptions.Help && !AOptions.Version) return "no FILE given";
  return {};
}

std::string ScanHelp() {
  return R"(usage: stereolux-scan [OPTION]... FILE...
Measures sound files with the peak programme meter of Stereolux (a 20 Hz DC-blocking filter,
instant attack, exponential release) as fast as they can be read, and prints each channel's
level after every block of the period as comma-separated values: time_s,ch0,ch1,...

Options:
  --release MS   release time constant in milliseconds, 1 to 3600000 (default 400)
  --period MS    length of a block in milliseconds, 1 to 3600000 (default 100)
  --dbfs         levels in dBFS, 0 dB being twice the full scale of the file's samples
                 (65536 for 16-bit files, as the window's readouts; 2.0 for floating-point
                 files and lossy or companded formats, which are decoded to floating point);
                 otherwise in sample units of the file (full scale 32767 for 16-bit files,
                 1.0 for floating point)
  --summary      instead of the table, one line per channel: channel,max,time_s,clipped:
                 its highest level, the end of the block that reached it, and how many of
                 its samples in the measured blocks were at full scale (the largest or
                 smallest value of the format; magnitude 1.0 or more for floating point)
  -h, --help     print this help and exit
  --version      print the version and exit

FILE is any file that libsndfile reads (WAV, FLAC, Ogg Vorbis, Opus, MP3, AIFF, u-law,
A-law, ...); - reads standard input. Only whole blocks are measured. With several files,
each is measured in turn and every line starts with its name, in a first column 'file'.

Exit status: 0 when every file was measured; 2 when an option or a file was refused (the
other files are still measured); 1 when measuring or writing the output failed.
)";
}
