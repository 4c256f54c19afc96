// The port that writes the printer's byte stream into a file: the file then
// holds exactly what a printer would have received.
#pragma once

#include "ports/OutputPort.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace tarvel::ports {

// The folder that stands for the device's root: "\out.prn" lands in it.
// Empty (the default) means the current working directory.
void SetDeviceRootFolder(const std::filesystem::path& folder);
std::filesystem::path DeviceRootFolder();

// Turns a path as a print job gives it into one for this system: a leading
// backslash (or none) means the device's root folder, backslashes become
// slashes, and a path that starts with '/' is used as it is. Empty for an
// empty path or one that is not valid UTF-16.
std::filesystem::path DevicePathToLocal(std::u16string_view devicePath);

class FilePort final : public OutputPort {
public:
    static constexpr int kQueueCapacity = 2048;
    static constexpr int kChunkSize = 2048;

    FilePort() = default;
    ~FilePort() override;

    // 0; -1 when the file cannot be created; -6 when no writer thread can
    // be started (the file is closed again).
    int Open() override;
    void Close() override;
    int Write(const std::uint8_t* bytes, int length) override;
    // target: a NUL-terminated UTF-16 path; at most 259 characters are kept.
    void SetTarget(const void* target) override;

    const std::u16string& Path() const { return path_; }

protected:
    int Transmit(const std::uint8_t* bytes, int count) override;
    void ReleaseTransport() override;

private:
    std::u16string path_;
    int file_ = -1;
};

}  // namespace tarvel::ports
