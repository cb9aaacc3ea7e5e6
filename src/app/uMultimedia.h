#pragma once

#include <string>

class TfmMain;

// The position of the first device, or input line, whose name equals Name without regard to
// letter case; -1 when there is none.
int IndexOfDevice(const TfmMain& Form, const std::string& Name);
int IndexOfDeviceLine(const TfmMain& Form, const std::string& Name);
