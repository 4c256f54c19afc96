#include "ports/MakeOutputPort.h"

#include "ports/DevicePort.h"
#include "ports/FilePort.h"
#include "ports/IrdaPort.h"
#include "ports/NetworkPort.h"
#include "ports/SerialPort.h"

#include <new>

namespace tarvel::ports {

std::unique_ptr<OutputPort> MakeOutputPort(int portSetting)
{
    if (portSetting == kPortSettingInfrared)
        return std::unique_ptr<OutputPort>(new (std::nothrow) IrdaPort());
    if (portSetting >= kPortSettingFirstCom && portSetting <= kPortSettingLastCom)
        return std::unique_ptr<OutputPort>(new (std::nothrow) SerialPort());
    if (portSetting == kPortSettingFile)
        return std::unique_ptr<OutputPort>(new (std::nothrow) FilePort());
    if (portSetting == kPortSettingNetwork)
        return std::unique_ptr<OutputPort>(new (std::nothrow) NetworkPort());
    if (portSetting == kPortSettingDevice)
        return std::unique_ptr<OutputPort>(new (std::nothrow) DevicePort());
    return nullptr;
}

}  // namespace tarvel::ports
