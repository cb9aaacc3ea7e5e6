#include "app/uMultimedia.h"

#include "app/frmMain.h"

#include <QComboBox>

namespace {

int IndexOfName(const QComboBox* List, const std::string& Name)
{
    return List->findText(QString::fromStdString(Name), Qt::MatchFixedString);
}

} // namespace

int IndexOfDevice(const TfmMain& Form, const std::string& Name)
{
    return IndexOfName(Form.lstDevices, Name);
}

int IndexOfDeviceLine(const TfmMain& Form, const std::string& Name)
{
    return IndexOfName(Form.lstDeviceLines, Name);
}
