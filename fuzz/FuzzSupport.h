// What the fuzz targets share: a reader that turns arbitrary bytes into
// arguments, and the way a target reports a broken property.
//
// Each target is one entry function in namespace tarvel::fuzz,
//     int Fuzz<Name>(const std::uint8_t* data, std::size_t size);
// declared where it is called (the libFuzzer main and the replay test get
// its name from the build). It returns 0 for every input; it aborts (through Broken)
// when the library crashes, hangs or gives a result that cannot be right,
// which is what libFuzzer and the replay test both catch.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace tarvel::fuzz {

// A property of the library does not hold for this input.
[[noreturn]] inline void Broken(const std::string& what)
{
    std::fprintf(stderr, "fuzz: broken property: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

// Reads fields from the front of an input. Past the end every field reads
// as zero, so that every input, however short, is a complete program.
class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size)
        : data_(data)
        , size_(size)
    {
    }

    bool AtEnd() const { return pos_ >= size_; }
    std::size_t Left() const { return pos_ < size_ ? size_ - pos_ : 0; }

    std::uint8_t U8() { return pos_ < size_ ? data_[pos_++] : 0; }
    std::uint16_t U16() { return static_cast<std::uint16_t>(U8() | (U8() << 8)); }
    std::uint32_t U32()
    {
        const std::uint32_t low = U16();
        return low | (static_cast<std::uint32_t>(U16()) << 16);
    }
    std::int16_t I16() { return static_cast<std::int16_t>(U16()); }
    std::int32_t I32() { return static_cast<std::int32_t>(U32()); }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

}  // namespace tarvel::fuzz
