#include "app/uUserPrefs.h"

#include "app/frmMain.h"
#include "app/uAction.h"
#include "app/uMultimedia.h"
#include "app/uRes.h"
#include "app/uWindowState.h"
#include "platform/IniFile.h"

#include <QComboBox>
#include <QSlider>
#include <QStandardPaths>

#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace fs = std::filesystem;

TUserPrefs UserPrefs;

std::string UserConfigIniFileName() {
  const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
  return config.isEmpty() ? std::string()
                          : (config + QStringLiteral("/stereolux.ini")).toStdString();
}

std::string NewerUserConfigIni(const std::string& FileName) {
  const std::string config = UserConfigIniFileName();
  std::error_code ec1, ec2;
  const auto mine = fs::last_write_time(config, ec1);
  const auto beside = fs::last_write_time(FileName, ec2);
  return !config.empty() && !ec1 && !ec2 && mine > beside ? config : FileName;
}

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
  fs::create_directories(fs::path(FileName).parent_path(), ignored);

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
  try {
    ini.Save();
  } catch (const EIniWriteError& E) {
    // Nothing the user changed may be lost: the preferences go to the user's own folder.
    const std::string config = UserConfigIniFileName();
    if (config.empty() || config == FileName) throw;
    try {
      if (ini.LoadError()) {
        // Nothing could be read here: the values go into whatever the user's file holds.
        SaveUserPrefs(config);
      } else {
        // The file as it was read, other lines included, with the values written in it.
        fs::create_directories(fs::path(config).parent_path(), ignored);
        ini.SaveAs(config);
      }
    } catch (const std::exception& F) {
      throw std::runtime_error(std::string(E.what()) + "\n" + F.what());
    }
    throw std::runtime_error(std::string(E.what()) +
                             "\nLes préférences ont été enregistrées dans " + config);
  }
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
