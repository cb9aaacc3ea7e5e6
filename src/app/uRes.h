#pragma once

// Sections and keys of the preferences file.
inline constexpr const char* rsSectionAudioDevice = "AudioDevice";
inline constexpr const char* rsSectionGUI = "GUI";
inline constexpr const char* rsSectionAudioSource = "AudioSource";

inline constexpr const char* rsKeyDevice = "Device";
inline constexpr const char* rsKeyDeviceLine = "DeviceLine";
inline constexpr const char* rsKeyShowPeak = "ShowPeak";
inline constexpr const char* rsKeyShowPeakDBFS = "ShowPeakDBFS";
inline constexpr const char* rsKeyGUIShowPnlLevel = "GUIShowPnlLevel";
inline constexpr const char* rsKeyGUIShowPnlConfig = "GUIShowPnlConfig";
inline constexpr const char* rsKeyInLevelCoefLeft = "InLevelCoefLeft";
inline constexpr const char* rsKeyInLevelCoefRight = "InLevelCoefRight";
