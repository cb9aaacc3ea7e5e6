#pragma once

#include <string>

// The readme's file name.
inline constexpr const char* ReadmeName = "a_lire.txt";

// The readme of the program run from AppFolder: beside the executable when it is there (the
// build tree), else in the documentation folder of the prefix the program is installed in.
std::string ReadmeFileNameIn(const std::string& AppFolder);

// Opens a document with the program the desktop associates with it. False when the file is
// missing or the desktop could not open it; nothing is reported to the user then.
bool OpenDocument(const std::string& FileName);

// "Lisez-moi...": opens the readme; its result is of no use to the caller.
void ActAppReadmeExecute(const std::string& ReadmeFileName);
