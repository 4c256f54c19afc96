// What a printer driver sees of a port: a place to write bytes.
//
// The drivers know the port only through Write, so they can be tested with
// a writer that collects the stream or fails after N bytes, and the real
// OutputPort (with its ByteQueue and writer thread) implements it.
#pragma once

#include <cstdint>

namespace tarvel::ports {

class PortWriter {
public:
    virtual ~PortWriter() = default;

    // Hands length bytes to the port; returns how many were accepted. A
    // result other than length means the port can take no more (cancelled,
    // lost, failed): the caller stops writing at once.
    virtual int Write(const std::uint8_t* bytes, int length) = 0;
};

}  // namespace tarvel::ports
