// Replays a fuzz target's seed corpus and kept crashers. An input that
// breaks a property aborts inside the target; the last "replaying" line
// names it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

// libFuzzer runs the targets with -malloc_limit_mb=1024; the replay holds
// the kept inputs to the same, so a decoder or a page that asks for
// gigabytes again fails here too and not only under the fuzzer.
extern "C" __attribute__((used)) const char* __asan_default_options()
{
    return "max_allocation_size_mb=1024";
}

namespace tarvel::fuzz {
int TARVEL_FUZZ_ENTRY(const std::uint8_t* data, std::size_t size);
}

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> Inputs(const fs::path& folder)
{
    std::vector<fs::path> files;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        if (entry.is_regular_file() && entry.path().filename().string()[0] != '.')
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

void Replay(const fs::path& file)
{
    std::fprintf(stderr, "replaying %s\n", file.c_str());
    std::ifstream in(file, std::ios::binary);
    ASSERT_TRUE(in) << file;
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    // Through a buffer of exactly the input's size, as libFuzzer calls it,
    // so that AddressSanitizer sees a read past the end.
    std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[bytes.size()]);
    std::copy(bytes.begin(), bytes.end(), exact.get());
    EXPECT_EQ(tarvel::fuzz::TARVEL_FUZZ_ENTRY(exact.get(), bytes.size()), 0) << file;
}

// TARVEL_FUZZ_INPUTS names more files or folders, separated by ':', for
// trying inputs that are not kept yet (fuzz/pending, a fresh finding).
TEST(FuzzReplay, EverySeedEveryKeptCrasherAndEveryNamedInputRunsCleanly)
{
    auto files = Inputs(fs::path(TARVEL_FUZZ_DIR) / "corpus" / TARVEL_FUZZ_TARGET);
    ASSERT_FALSE(files.empty()) << "no seed corpus for " << TARVEL_FUZZ_TARGET;
    for (const auto& file : Inputs(fs::path(TARVEL_FUZZ_DIR) / "crashers" / TARVEL_FUZZ_TARGET)) files.push_back(file);
    std::istringstream named(std::getenv("TARVEL_FUZZ_INPUTS") ? std::getenv("TARVEL_FUZZ_INPUTS") : "");
    for (std::string path; std::getline(named, path, ':');)
        for (const auto& file : fs::is_directory(path) ? Inputs(path) : std::vector<fs::path>{path})
            if (!path.empty()) files.push_back(file);
    for (const auto& file : files) Replay(file);
}

}  // namespace
