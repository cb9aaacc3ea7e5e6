#pragma once

#include <QList>
#include <QRect>

#include <cstdint>

class TIniFile;
class TfmMain;

// How the window was left: where it stood, its size and the display choices that are not
// among the user preferences. Kept in a section of its own after the preferences, so that a
// file without it starts the window as a first start does.
struct TWindowState {
  // The outer top-left corner of the window, frame included.
  int32_t Left = 424;
  int32_t Top = 211;
  // The area below the menu bar.
  int32_t ClientWidth = 548;
  int32_t ClientHeight = 194;
  bool Vertical = false;
  bool DotMode = false;
  int32_t HalfLife = 400;
  bool ShowScale = false;
  bool StayOnTop = false;
};

extern TWindowState WindowState;

// Missing or malformed keys keep their first-start values; a release time outside the
// field's range is brought into it.
TWindowState ReadWindowState(const TIniFile& Ini);
void WriteWindowState(TIniFile& Ini, const TWindowState& State);

// The state the window shows now. Where the platform does not tell where windows stand, the
// position already held in WindowState is kept.
TWindowState CaptureWindowState(const TfmMain& Form);
// Puts the window in State: display choices, size (at least the window's minimum) and a
// position on a screen that exists now.
void ApplyWindowState(TfmMain& Form, const TWindowState& State);

// Where a window whose outer bounds are Frame should stand so that it lies wholly on one of
// the Screens (their available areas): unchanged when it already does; otherwise on the
// screen it overlaps most (or the nearest one), moved and, when larger than that screen, cut
// to its size.
QRect KeepOnScreen(const QRect& Frame, const QList<QRect>& Screens);
// Gives the window the outer top-left corner TopLeft and the client area ClientSize, moved
// and, where a screen is too small, cut (not below the window's minimum size) so that all of
// it lies on a screen. Works from the sizes asked for, not from the window's bounds, which
// some platforms bring up to date only later.
void PlaceForm(TfmMain& Form, QPoint TopLeft, QSize ClientSize);
