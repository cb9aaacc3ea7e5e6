#pragma once

#include <cstdint>
#include <string>

class TfmMain;

// The settings kept between runs.
struct TUserPrefs {
  std::string Device;
  std::string DeviceLine;
  bool GUIShowPnlConfig = false;
  bool GUIShowPnlLevel = false;
  bool ShowPeak = false;
  bool ShowPeakDBFS = false;
  int32_t InLevelCoefLeft = 0;
  int32_t InLevelCoefRight = 0;
};

extern TUserPrefs UserPrefs;

// Reads the preferences (a missing or unreadable file gives the defaults) and applies them.
void LoadUserPrefs(const std::string& FileName, TfmMain& Form);
// Writes the preferences, keeping every other line of the file. The file is replaced whole or
// not at all. When it cannot be written, they go to UserConfigIniFileName() instead, and the
// error raised names the file, the system's reason and where the preferences went.
void SaveUserPrefs(const std::string& FileName);
// The preferences file in the user's configuration folder; empty when there is no such folder.
std::string UserConfigIniFileName();
// The file to read at start-up: FileName, or the user's own file when that one was written
// later (the preferences went there because FileName could not be written).
std::string NewerUserConfigIni(const std::string& FileName);
void ApplyUserPrefs(TfmMain& Form);
