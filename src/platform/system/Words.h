// Whole-word access to byte rows, for the loops that scan or copy pixels
// and planes eight bytes at a time. Unaligned and free of aliasing trouble:
// the compilers turn the copies into single loads and stores.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace tarvel::platform {

// Eight bytes in memory order: byte 0 is the lowest on a little-endian
// machine.
inline std::uint64_t Load64(const std::uint8_t* p)
{
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Eight bytes as one word with the first byte highest, as one-bit rows
// order their pixels.
inline std::uint64_t LoadBig64(const std::uint8_t* p)
{
    const std::uint64_t v = Load64(p);
    if constexpr (std::endian::native == std::endian::little)
        return __builtin_bswap64(v);
    return v;
}

inline void StoreBig64(std::uint8_t* p, std::uint64_t v)
{
    if constexpr (std::endian::native == std::endian::little)
        v = __builtin_bswap64(v);
    std::memcpy(p, &v, sizeof v);
}

}  // namespace tarvel::platform
