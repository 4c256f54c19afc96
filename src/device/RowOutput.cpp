#include "device/RowOutput.h"

#include "platform/system/System.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <new>

namespace tarvel::device {

bool IsWhiteRow(const std::uint8_t* row, std::size_t size)
{
    // Word at a time: most rows of a page are blank.
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, row + i, 8);
        if (word != ~std::uint64_t(0))
            return false;
    }
    for (; i < size; ++i) {
        if (row[i] != 255)
            return false;
    }
    return true;
}

RowOutput::RowOutput(tarvel::render::Ditherer& ditherer, tarvel::drivers::PrinterDriver& driver,
                     tarvel::ports::PortWriter* port, std::int32_t rowWidth, bool monochrome)
    : ditherer(ditherer)
    , driver(driver)
    , port(port)
    , rowBytes(rowWidth > 0 ? static_cast<std::size_t>(rowWidth) * 3 : 0)
    , monochrome(monochrome)
{
}

RowStep RowOutput::Put(std::uint8_t* row)
{
    return Send(row, Dither(row));
}

bool RowOutput::Dither(std::uint8_t* row)
{
    if (IsWhiteRow(row, rowBytes)) {
        afterBlank = true;
        return true;
    }
    // Skipped rows carry no error into the row after them.
    if (afterBlank)
        ditherer.ResetErrors();
    afterBlank = false;
    ditherer.DitherRow(row, monochrome);
    return false;
}

RowStep RowOutput::Send(const std::uint8_t* row, bool white)
{
    if (white) {
        ++blankRows;
        return RowStep::Blank;
    }
    EndBlankRun();
    return driver.SendRow(port, row) ? RowStep::Sent : RowStep::Failed;
}

RowStep RowOutput::PutBlack(const std::uint8_t* black, bool white)
{
    if (white) {
        ++blankRows;
        return RowStep::Blank;
    }
    EndBlankRun();
    // What dithering does with a row of pure colours.
    ditherer.ResetErrors();
    return driver.SendBlackRow(port, black) ? RowStep::Sent : RowStep::Failed;
}

void RowOutput::EndBlankRun()
{
    if (blankRows > 0) {
        // The skip's own result is not looked at: a port that failed fails
        // the row that follows it.
        driver.SkipRows(port, blankRows);
        blankRows = 0;
    }
}

int BandRowWorker::BandBytes::Write(const std::uint8_t* bytes, int length)
{
    if (!bytes || length <= 0)
        return 0;
    // A page's bytes that do not fit in memory fail the row that wrote
    // them, like a port that took nothing.
    try {
        data.insert(data.end(), bytes, bytes + length);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return length;
}

bool RowThread::Start()
{
    if (Running())
        return true;
    stopping = false;
    return tarvel::platform::CreateThread([this] { Main(); }, thread);
}

void RowThread::Stop()
{
    {
        std::lock_guard guard(lock);
        stopping = true;
    }
    ready.notify_one();
    if (thread.joinable())
        thread.join();
}

void RowThread::Run(std::function<void()> task)
{
    {
        std::lock_guard guard(lock);
        tasks.push_back(std::move(task));
    }
    ready.notify_one();
}

void RowThread::Main()
{
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock guard(lock);
            ready.wait(guard, [this] { return stopping || !tasks.empty(); });
            if (tasks.empty())
                return;
            task = std::move(tasks.front());
            tasks.pop_front();
        }
        task();
    }
}

BandRowWorker::BandRowWorker(tarvel::render::Ditherer& ditherer, tarvel::drivers::PrinterDriver& driver,
                             std::int32_t rowWidth, bool monochrome, bool portrait, RowThread& rowThread,
                             tarvel::ports::OutputPort* port, std::vector<std::uint8_t> (*keptBytes)[kSlots])
    : rows(ditherer, driver, nullptr, rowWidth, monochrome)
    , keptBytes(keptBytes)
    , rowWidth(rowWidth)
    , portrait(portrait)
    , rowThread(rowThread)
    , port(port)
{
    for (int i = 0; keptBytes && i < kSlots; ++i)
        slots[i].bytes.data.swap((*keptBytes)[i]);
}

BandRowWorker::~BandRowWorker()
{
    {
        // A page that stopped part way may leave a band with the thread.
        std::unique_lock guard(lock);
        workDone.wait(guard, [this] {
            return std::all_of(std::begin(slots), std::end(slots), [](const Slot& s) { return !s.inUse || s.done; });
        });
    }
    // ... and blocks with the port; the writer must be done with them
    // before their buffers are reused.
    if (lastTicket != 0) {
        port->WaitTaken(lastTicket);
        port->DropPosted();
    }
    for (int i = 0; keptBytes && i < kSlots; ++i) {
        slots[i].bytes.data.clear();
        slots[i].bytes.data.swap((*keptBytes)[i]);
    }
}

bool BandRowWorker::Start()
{
    if (rowWidth < 1)
        return false;
    if (!portrait) {
        turned.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(rowWidth) * 3]);
        if (!turned)
            return false;
    }
    threaded = rowThread.Start();
    return true;
}

bool BandRowWorker::Reclaim(Slot& slot)
{
    if (slot.ticket == 0)
        return true;
    const bool taken = port->WaitTaken(slot.ticket);
    slot.ticket = 0;
    return taken;
}

bool BandRowWorker::Submit(int slot, const Band& band)
{
    Slot& s = slots[slot];
    s.band = band;
    // The worker writes this band's bytes where the slot's last ones are.
    if (!EncodedOnDelivery(s)) {
        if (!Reclaim(s))
            return false;
        s.bytes.data.clear();
    }
    s.inUse = true;
    s.done = false;
    s.failed = false;
    // A band the worker encodes goes to the port as soon as it is done, so
    // the port's writer starts on it while the next bands are played.
    const auto work = [this, &s] {
        Work(s);
        if (!s.failed && !EncodedOnDelivery(s))
            s.failed = !Post(s);
    };
    if (!threaded) {
        work();
        s.done = true;
        return true;
    }
    rowThread.Run([this, &s, work] {
        work();
        // Told under the lock: once the lock is let go, this worker may be
        // gone.
        std::lock_guard guard(lock);
        s.done = true;
        workDone.notify_one();
    });
    return true;
}

bool BandRowWorker::Post(Slot& slot)
{
    if (slot.bytes.data.empty())
        return true;
    if (!port->Post(slot.bytes.data.data(), slot.bytes.data.size(), slot.ticket))
        return false;
    lastTicket = slot.ticket;
    return true;
}

bool BandRowWorker::Deliver(int slot, const std::function<void()>& pump)
{
    Slot& s = slots[slot];
    if (!s.inUse)
        return true;
    {
        std::unique_lock guard(lock);
        while (!workDone.wait_for(guard, std::chrono::milliseconds(50), [&s] { return s.done; })) {
            guard.unlock();
            if (pump)
                pump();
            guard.lock();
        }
    }
    s.inUse = false;
    if (!EncodedOnDelivery(s))
        return !s.failed;
    if (!Reclaim(s))
        return false;
    s.bytes.data.clear();
    Encode(s);
    return !s.failed && Post(s);
}

void BandRowWorker::WorkBilevel(Slot& slot)
{
    const Band& band = slot.band;
    const std::size_t bytes = (static_cast<std::size_t>(rowWidth) + 7) / 8;
    // The bits of the last byte that belong to the row.
    const auto kept = static_cast<std::uint8_t>(0xFF00 >> (((rowWidth - 1) & 7) + 1));
    black.resize(bytes);
    rows.SetPort(&slot.bytes);
    for (std::int32_t i = 0; i < band.lines && !slot.failed; ++i) {
        std::uint8_t* line = band.bits + i * band.stride;
        // Through plain pointers: stores through the vector's would make the
        // compiler reload its data pointer for every byte.
        std::uint8_t* ink = black.data();
        std::uint8_t inked = 0;
        for (std::size_t k = 0; k + 1 < bytes; ++k) {
            ink[k] = static_cast<std::uint8_t>(~line[k]);
            inked |= ink[k];
        }
        ink[bytes - 1] = static_cast<std::uint8_t>(~line[bytes - 1] & kept);
        inked |= ink[bytes - 1];
        const RowStep step = rows.PutBlack(ink, inked == 0);
        slot.failed = step == RowStep::Failed;
        // The band after next finds it white.
        if (step != RowStep::Blank)
            std::memset(line, 255, bytes);
    }
    rows.SetPort(nullptr);
}

void BandRowWorker::Encode(Slot& slot)
{
    const Band& band = slot.band;
    const auto rowBytes = static_cast<std::size_t>(rowWidth) * 3;
    rows.SetPort(&slot.bytes);
    for (std::int32_t i = 0; i < band.lines && !slot.failed; ++i) {
        std::uint8_t* line = band.bits + i * band.stride;
        const bool white = slot.white[static_cast<std::size_t>(i)] != 0;
        slot.failed = rows.Send(line, white) == RowStep::Failed;
        // The band after next finds it white.
        if (!white)
            std::memset(line, 255, rowBytes);
    }
    rows.SetPort(nullptr);
}

void BandRowWorker::Work(Slot& slot)
{
    const Band& band = slot.band;
    if (band.bilevel) {
        WorkBilevel(slot);
        return;
    }
    if (EncodedOnDelivery(slot)) {
        slot.white.resize(static_cast<std::size_t>(std::max(band.lines, 0)));
        for (std::int32_t i = 0; i < band.lines; ++i)
            slot.white[static_cast<std::size_t>(i)] = rows.Dither(band.bits + i * band.stride);
        return;
    }
    // Landscape: the page lies turned on the paper, so printer row r is
    // page column r, and its pixel k is page row rowWidth - 1 - k.
    rows.SetPort(&slot.bytes);
    std::uint8_t* line = turned.get();
    for (std::int32_t i = 0; i < band.lines && !slot.failed; ++i) {
        const std::uint8_t* column = band.bits + static_cast<std::int64_t>(i) * 3;
        for (std::int32_t k = 0; k < rowWidth; ++k) {
            const std::uint8_t* pixel = column + static_cast<std::int64_t>(rowWidth - 1 - k) * band.stride;
            std::memcpy(line + k * 3, pixel, 3);
        }
        slot.failed = rows.Put(line) == RowStep::Failed;
    }
    std::memset(band.bits, 255, static_cast<std::size_t>(static_cast<std::int64_t>(rowWidth) * band.stride));
    rows.SetPort(nullptr);
}

}  // namespace tarvel::device
