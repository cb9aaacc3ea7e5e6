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

// How the window was left: after the preferences, in a section of its own.
inline constexpr const char* rsSectionWindow = "Window";
inline constexpr const char* rsKeyLeft = "Left";
inline constexpr const char* rsKeyTop = "Top";
inline constexpr const char* rsKeyClientWidth = "ClientWidth";
inline constexpr const char* rsKeyClientHeight = "ClientHeight";
inline constexpr const char* rsKeyVertical = "Vertical";
inline constexpr const char* rsKeyDotMode = "DotMode";
inline constexpr const char* rsKeyHalfLife = "HalfLife";
inline constexpr const char* rsKeyShowScale = "ShowScale";
inline constexpr const char* rsKeyStayOnTop = "StayOnTop";
