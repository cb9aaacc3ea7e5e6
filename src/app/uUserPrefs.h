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
// not at all; a failure raises an error that names it.
void SaveUserPrefs(const std::string& FileName);
void ApplyUserPrefs(TfmMain& Form);
