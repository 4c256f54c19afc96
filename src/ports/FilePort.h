// The port that writes the printer's byte stream into a file: the file then
// holds exactly what a printer would have received.
#pragma once

#include "ports/OutputPort.h"

#include <cstddef>
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

// The target may also be a FIFO or a device node with a program or a
// printer at the other end. Such a target is opened without blocking: Open
// waits, pumping messages and watching the cancel flag, for a reader to
// appear, and a transfer that makes no progress for too long, or finds the
// reader gone, is a lost connection. A regular file never stalls; write
// errors on it (a full medium) lose the rest of the chunk, the job goes on,
// and the loss is recorded (GetDataLoss) and reported once on stderr.
class FilePort final : public OutputPort {
public:
    static constexpr int kQueueCapacity = 2048;
    static constexpr int kChunkSize = 2048;
    // The longest path SetTarget takes; a longer one is refused at Open
    // rather than cut into the name of some other file.
    static constexpr std::size_t kMaxPathCharacters = 32767;
    // How long Open waits for a FIFO's reader to appear.
    static constexpr int kConnectTimeoutMs = 5000;
    // How long a pipe or device may take no data before it counts as lost.
    static constexpr int kStallTimeoutMs = 60000;

    FilePort() = default;
    ~FilePort() override;

    // 0; -1 when the file cannot be created, the path is too long, or no
    // reader came to a FIFO in time; -6 when no writer thread can be
    // started (the file is closed again); -100 when the job was cancelled
    // while waiting for a reader.
    int Open() override;
    void Close() override;
    int Write(const std::uint8_t* bytes, int length) override;
    // target: a NUL-terminated UTF-16 path, kept whole; null changes nothing.
    void SetTarget(const void* target) override;
    // Shorter waits than the defaults, for tests; call before Open.
    void SetTimeouts(int connectMs, int stallMs);

    const std::u16string& Path() const { return path_; }

protected:
    int Transmit(const std::uint8_t* bytes, int count) override;
    void ReleaseTransport() override;
    std::string TargetName() const override { return local_; }

private:
    // Opens the local path without blocking; waits for a FIFO's reader.
    int OpenTarget();

    std::u16string path_;
    bool pathTooLong_ = false;
    std::string local_;
    int file_ = -1;
    // A FIFO, socket or device: the other end can go away or stop reading.
    bool stream_ = false;
    int connectTimeoutMs_ = kConnectTimeoutMs;
    int stallTimeoutMs_ = kStallTimeoutMs;
};

}  // namespace tarvel::ports
