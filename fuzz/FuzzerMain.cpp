// The libFuzzer entry point of one target; the build names the target's
// entry function in TARVEL_FUZZ_ENTRY.
#include <cstddef>
#include <cstdint>

namespace tarvel::fuzz {
int TARVEL_FUZZ_ENTRY(const std::uint8_t* data, std::size_t size);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return tarvel::fuzz::TARVEL_FUZZ_ENTRY(data, size);
}
