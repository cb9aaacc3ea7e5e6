#pragma once

#include <QIcon>

// The id under which the desktop knows the program: its desktop entry is this id + ".desktop".
inline constexpr const char* StereoluxAppId = "org.stereolux.Stereolux";

// The program's icon: two LED bars, green rising to yellow and red, on black.
QIcon StereoluxIcon();

// Gives every window the program's icon and tells the desktop which entry the windows
// belong to, so that docks and task switchers show the program's icon and name.
void ApplyAppIdentity();
