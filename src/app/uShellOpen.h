#pragma once

#include <string>

// The readme's file name, looked for in the executable's folder.
inline constexpr const char* ReadmeName = "a_lire.txt";

// Opens a document with the program the desktop associates with it. False when the file is
// missing or the desktop could not open it; nothing is reported to the user then.
bool OpenDocument(const std::string& FileName);

// "Lisez-moi...": opens the readme; its result is of no use to the caller.
void ActAppReadmeExecute(const std::string& ReadmeFileName);
