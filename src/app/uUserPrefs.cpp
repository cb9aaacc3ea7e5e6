#include "app/uUserPrefs.h"

#include "app/frmMain.h"
#include "app/uAction.h"
#include "app/uMultimedia.h"
#include "app/uRes.h"
#include "app/uWindowState.h"
#include "platform/IniFile.h"

#include <QComboBox>
#include <QSlider>

#include <cstdio>
#include <filesystem>

TUserPrefs UserPrefs;

void LoadUserPrefs(const std::string& FileName, TfmMain& Form) {
  const TIniFile ini = TIniFile::Load(FileName);
  // The file will not be written over either; the user should know why nothing was restored.
  if (const std::error_code err = ini.LoadError())
    std::fprintf(stderr,
                 "stereolux: Impossible de lire %s : %s ; ses réglages ne sont pas appliqués\n",
                 FileName.c_str(), err.message().c_str());
  UserPrefs.Device = ini.ReadString(rsSectionAudioDevice, rsKeyDevice, "");
  UserPrefs.DeviceLine = ini.ReadString(rsSectionAudioDevice, rsKeyDeviceLine, "");
  UserPrefs.ShowPeak = ini.ReadBool(rsSectionAudioDevice, rsKeyShowPeak, true);
  UserPrefs.ShowPeakDBFS = ini.ReadBool(rsSectionAudioDevice, rsKeyShowPeakDBFS, false);
  UserPrefs.GUIShowPnlLevel = ini.ReadBool(rsSectionGUI, rsKeyGUIShowPnlLevel, false);
  UserPrefs.GUIShowPnlConfig = ini.ReadBool(rsSectionGUI, rsKeyGUIShowPnlConfig, true);
  UserPrefs.InLevelCoefLeft = ini.ReadInteger(rsSectionAudioSource, rsKeyInLevelCoefLeft, 100);
  UserPrefs.InLevelCoefRight = ini.ReadInteger(rsSectionAudioSource, rsKeyInLevelCoefRight, 100);
  WindowState = ReadWindowState(ini);
  ApplyUserPrefs(Form);
  ApplyWindowState(Form, WindowState);
}

void SaveUserPrefs(const std::string& FileName) {
  // The user's configuration folder may not exist yet; a folder that cannot be made shows
  // up as the file that cannot be written.
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(FileName).parent_path(), ignored);

  TIniFile ini = TIniFile::Load(FileName);
  ini.WriteString(rsSectionAudioDevice, rsKeyDevice, UserPrefs.Device);
  ini.WriteString(rsSectionAudioDevice, rsKeyDeviceLine, UserPrefs.DeviceLine);
  ini.WriteBool(rsSectionAudioDevice, rsKeyShowPeak, UserPrefs.ShowPeak);
  ini.WriteBool(rsSectionAudioDevice, rsKeyShowPeakDBFS, UserPrefs.ShowPeakDBFS);
  ini.WriteBool(rsSectionGUI, rsKeyGUIShowPnlLevel, UserPrefs.GUIShowPnlLevel);
  ini.WriteBool(rsSectionGUI, rsKeyGUIShowPnlConfig, UserPrefs.GUIShowPnlConfig);
  ini.WriteInteger(rsSectionAudioSource, rsKeyInLevelCoefLeft, UserPrefs.InLevelCoefLeft);
  ini.WriteInteger(rsSectionAudioSource, rsKeyInLevelCoefRight, UserPrefs.InLevelCoefRight);
  WriteWindowState(ini, WindowState);
  ini.Save();
}

void ApplyUserPrefs(TfmMain& Form) {
  Form.lstDevices->setCurrentIndex(IndexOfDevice(Form, UserPrefs.Device));
  Form.lstDevicesChange(nullptr);
  Form.lstDeviceLines->setCurrentIndex(IndexOfDeviceLine(Form, UserPrefs.DeviceLine));
  Form.lstDeviceLinesChange(nullptr);

  Form.ActShowPnlConfig->SetChecked(UserPrefs.GUIShowPnlConfig);
  Form.ActShowPnlConfigExecute(nullptr);
  Form.ActShowPnlLevel->SetChecked(UserPrefs.GUIShowPnlLevel);
  Form.ActShowPnlLevelExecute(nullptr);
  Form.ActShowPeak->SetChecked(UserPrefs.ShowPeak);
  Form.ActShowPeakExecute(nullptr);
  Form.ActShowPeakDBFS->SetChecked(UserPrefs.ShowPeakDBFS);
  Form.ActShowPeakDBFSExecute(nullptr);

  // The slider clamps to its range and reports only a real change, which stores the clamped
  // value back in the preferences.
  Form.tbLevelLeft->setValue(UserPrefs.InLevelCoefLeft);
  Form.tbLevelRight->setValue(UserPrefs.InLevelCoefRight);
}
