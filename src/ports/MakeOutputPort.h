// The port for a port setting, as the print job creates it at the start of
// a document.
#pragma once

#include "ports/OutputPort.h"

#include <memory>

namespace tarvel::ports {

inline constexpr int kPortSettingInfrared = 0;
inline constexpr int kPortSettingFirstCom = 1;
inline constexpr int kPortSettingLastCom = 8;
inline constexpr int kPortSettingFile = 9;
inline constexpr int kPortSettingNetwork = 10;
inline constexpr int kPortSettingDevice = 11;

// 0 an IrdaPort, 1 to 8 a SerialPort, 9 a FilePort, 10 a NetworkPort, 11 a
// DevicePort; null for any other
// setting or when memory runs out. The target is still to be set.
std::unique_ptr<OutputPort> MakeOutputPort(int portSetting);

}  // namespace tarvel::ports
