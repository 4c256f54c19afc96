// How fast the ports move bytes, and what a page costs in waiting.
//
// The file port is the reference: its transport is as fast as the disk, so
// what is measured is the queue, the writer thread and the waits. A small
// page must not pay a fixed sleep at Flush, and a document of small pages
// must finish in well under a second of waiting.
#include "ports/ByteQueue.h"
#include "ports/FilePort.h"
#include "ports/IrdaPort.h"

#include "platform/irda/IrdaSimulator.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace tarvel::ports;

std::u16string BenchFile(const char* name)
{
    auto folder = std::filesystem::temp_directory_path() / "tarvel-bench-ports";
    std::filesystem::create_directories(folder);
    return (folder / name).u16string();
}

std::vector<std::uint8_t> Pattern(std::size_t size)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 131 + 7);
    return bytes;
}

// A driver writes a band's rows in pieces of a few kilobytes.
void FilePortThroughput(benchmark::State& state)
{
    const std::size_t total = static_cast<std::size_t>(state.range(0)) << 20;
    const int piece = 4096;
    auto bytes = Pattern(piece);
    std::u16string path = BenchFile("throughput.prn");
    for (auto _ : state) {
        FilePort port;
        port.SetTarget(path.c_str());
        if (port.Open() != 0) {
            state.SkipWithError("cannot open the output file");
            break;
        }
        for (std::size_t sent = 0; sent < total; sent += piece)
            port.Write(bytes.data(), piece);
        port.Flush();
        port.Close();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * total));
}
BENCHMARK(FilePortThroughput)->Arg(1)->Arg(16)->Unit(benchmark::kMillisecond)->UseRealTime();

// The latency of ending a 100-byte page.
void FilePortFlushOfA100BytePage(benchmark::State& state)
{
    auto page = Pattern(100);
    std::u16string path = BenchFile("small.prn");
    FilePort port;
    port.SetTarget(path.c_str());
    if (port.Open() != 0) {
        state.SkipWithError("cannot open the output file");
        return;
    }
    for (auto _ : state) {
        port.Write(page.data(), 100);
        port.Flush();
    }
    port.Close();
}
BENCHMARK(FilePortFlushOfA100BytePage)->Unit(benchmark::kMicrosecond)->UseRealTime();

// A whole job: open, ten small pages each ended by Flush, close.
void FilePortTenSmallPagesDocument(benchmark::State& state)
{
    auto page = Pattern(3000);
    std::u16string path = BenchFile("document.prn");
    for (auto _ : state) {
        FilePort port;
        port.SetTarget(path.c_str());
        if (port.Open() != 0) {
            state.SkipWithError("cannot open the output file");
            break;
        }
        for (int i = 0; i < 10; ++i) {
            port.Write(page.data(), static_cast<int>(page.size()));
            port.Flush();
        }
        port.Close();
    }
}
BENCHMARK(FilePortTenSmallPagesDocument)->Unit(benchmark::kMillisecond)->UseRealTime();

// The infrared port against the simulated printer: a 50 KB page in sends
// of the link's size.
void IrdaPortPageThroughSimulator(benchmark::State& state)
{
    auto simulator = std::make_shared<tarvel::platform::irda::IrdaSimulator>();
    tarvel::platform::irda::UseIrdaBackend(simulator);
    auto page = Pattern(50000);
    {
        IrdaPort port;
        if (port.Open() != 0) {
            state.SkipWithError("the simulator did not connect");
        } else {
            for (auto _ : state) {
                port.Write(page.data(), static_cast<int>(page.size()));
                port.Flush();
            }
            port.Close();
        }
    }
    tarvel::platform::irda::UseIrdaBackend(nullptr);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
}
BENCHMARK(IrdaPortPageThroughSimulator)->Unit(benchmark::kMillisecond)->UseRealTime();

void ByteQueuePutGet(benchmark::State& state)
{
    ByteQueue queue;
    queue.Allocate(5120);
    auto bytes = Pattern(5120);
    std::vector<std::uint8_t> out(5120);
    const int piece = static_cast<int>(state.range(0));
    for (auto _ : state) {
        for (int done = 0; done < 5120; done += piece)
            queue.Put(bytes.data(), piece);
        benchmark::DoNotOptimize(queue.Get(out.data(), 5120));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 5120);
}
BENCHMARK(ByteQueuePutGet)->Arg(64)->Arg(5120);

}  // namespace
