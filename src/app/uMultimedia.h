#pragma once

#include <string>

#include "platform/AudioCtl.h"

class TfmMain;

// Makes the recording control of the windows created from now on (tests put a scripted one).
extern TAudioRecordConnector AudioRecordConnector;

// Start-up: creates the window's recording control, fills both lists, selects device 0 and its
// line 0 and passes the control its start-up settings. Errors of the listing calls reach the
// caller; a control that cannot be created leaves rec null and both lists empty.
void CreateRecordControl(TfmMain& Form);
void FillDeviceList(TfmMain& Form);
void FillDeviceLineList(TfmMain& Form, int Index, const std::string& Name);

// An Index of -1 is looked up by Name. The recording control's errors are swallowed and the
// rest of the selection is skipped, so a refused choice leaves the earlier one in place.
void SelectDevice(TfmMain& Form, int Index, const std::string& Name);
void SelectDeviceLine(TfmMain& Form, int Index, const std::string& Name);

// The position of the first device, or input line, whose name equals Name without regard to
// letter case; -1 when there is none. A device is also found under the name that it bore when
// names were cut at 31 bytes.
int IndexOfDevice(const TfmMain& Form, const std::string& Name);
int IndexOfDeviceLine(const TfmMain& Form, const std::string& Name);
