// The port of a printer device node: a USB printer (/dev/usb/lp0), a
// parallel port (/dev/lp0), or anything else that takes a printer's bytes
// as a character device or a FIFO. The node must exist: it is opened
// without creating or truncating anything, so a mistyped path can never
// leave a stray file or clobber one.
#pragma once

#include "ports/StreamPort.h"

#include <string>

namespace tarvel::ports {

class DevicePort final : public StreamPort {
public:
    DevicePort() = default;
    ~DevicePort() override;

    // 0; -1 when the node cannot be opened, is not a character device or
    // FIFO, or no reader came to a FIFO in time; -6 when no writer thread
    // can be started; -100 when the job was cancelled while waiting.
    int Open() override;
    // target: a NUL-terminated UTF-8 path; null changes nothing.
    void SetTarget(const void* target) override;

    const std::string& Path() const { return path_; }

protected:
    std::string TargetName() const override { return path_; }

private:
    std::string path_;
};

}  // namespace tarvel::ports
