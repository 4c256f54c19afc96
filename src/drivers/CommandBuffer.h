// The small fixed buffer in which a driver assembles one printer command,
// so that every command goes to the port in a single Write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "ports/PortWriter.h"

namespace tarvel::drivers {

class CommandBuffer {
public:
    void Byte(std::uint8_t b)
    {
        if (size_ < kCapacity)
            bytes_[size_++] = b;
        else
            overflow_ = true;
    }
    void Bytes(std::initializer_list<std::uint8_t> list)
    {
        for (std::uint8_t b : list) Byte(b);
    }
    void Text(const char* text)
    {
        while (*text) Byte(static_cast<std::uint8_t>(*text++));
    }
    void Decimal(std::int64_t value);
    void Le16(std::uint32_t value)
    {
        Byte(static_cast<std::uint8_t>(value & 0xFF));
        Byte(static_cast<std::uint8_t>((value >> 8) & 0xFF));
    }
    void Be16(std::uint32_t value)
    {
        Byte(static_cast<std::uint8_t>((value >> 8) & 0xFF));
        Byte(static_cast<std::uint8_t>(value & 0xFF));
    }
    std::size_t size() const { return size_; }
    // Writes the command in one Write; false on a short write, a null port,
    // or a command that did not fit (a programming error).
    bool WriteTo(ports::PortWriter* port) const;

private:
    static constexpr std::size_t kCapacity = 256;
    std::uint8_t bytes_[kCapacity];
    std::size_t size_ = 0;
    bool overflow_ = false;
};

}  // namespace tarvel::drivers
