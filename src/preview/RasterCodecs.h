// The decoding side of the raster compression methods: what a printer does
// with unencoded, run-length, PackBits and delta-row data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarvel::preview {

// Unpacks all of `size` PackBits bytes, appending to out. False when a
// control byte lacks its data, or the output would grow beyond maxOut.
bool UnpackBits(const std::uint8_t* data, std::size_t size, std::size_t maxOut,
                std::vector<std::uint8_t>& out);

// Unpacks PackBits from data (at most `available` bytes) until exactly
// `wanted` bytes came out; *consumed receives the bytes read. False when
// the data runs out first or a run reaches past `wanted`.
bool UnpackBitsExactly(const std::uint8_t* data, std::size_t available, std::size_t wanted,
                       std::vector<std::uint8_t>& out, std::size_t* consumed);

// Run-length pairs (count, byte), each count + 1 copies. False for an odd
// size or output beyond maxOut.
bool DecodeRunLength(const std::uint8_t* data, std::size_t size, std::size_t maxOut,
                     std::vector<std::uint8_t>& out);

// Applies delta-row commands to `row`, which holds the seed row and is
// extended with zeros where a replacement reaches past it. False when a
// command lacks its offset or replacement bytes, or the row would grow
// beyond maxOut.
bool ApplyDeltaRow(const std::uint8_t* data, std::size_t size, std::size_t maxOut,
                   std::vector<std::uint8_t>& row);

}  // namespace tarvel::preview
