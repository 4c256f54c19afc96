#include "ports/OutputPort.h"

#include <poll.h>

#include "platform/system/System.h"
#include "platform/system/Utf16.h"
#include "platform/ui/LastMessage.h"

#include <tarvel/ui.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <signal.h>
#include <string>
#include <vector>

namespace tarvel::ports {

namespace {

// The system suspends a handheld after some idle minutes; a reset every
// 25 s keeps a long job alive without calling into the system on every pump.
constexpr DWORD kIdleResetPeriodMs = 25000;
// How long Open waits between looks for the writer's start signal.
constexpr int kStartPollMs = 200;

}  // namespace

OutputPort::~OutputPort()
{
    // Normally a concrete port has already stopped the writer; this only
    // guards against a thread outliving the object.
    if (writer_.joinable())
        writer_.join();
}

int OutputPort::IsOpen() const
{
    return state_.load() == PortState::Open ? 1 : 0;
}

void OutputPort::SetTarget(const void*)
{
}

void OutputPort::Attach(const std::atomic<std::int32_t>* cancelFlag, HWND ownerWindow)
{
    cancelFlag_.store(cancelFlag);
    ownerWindow_ = ownerWindow;
    state_.store(PortState::Idle);
    bytesSent_.store(0);
    Notify();
}

bool OutputPort::CancelRequested() const
{
    const std::atomic<std::int32_t>* flag = cancelFlag_.load();
    return flag && flag->load() != 0;
}

int OutputPort::CheckCancel()
{
    if (!CancelRequested())
        return 0;
    Close();
    return 1;
}

void OutputPort::PumpMessages()
{
    DWORD now = GetTickCount();
    if (now - lastIdleReset_ > kIdleResetPeriodMs) {
        SystemIdleTimerReset();
        lastIdleReset_ = now;
    }
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        // Only the progress window and its buttons may react while a page
        // is being sent; painting is let through so no window is left
        // half drawn. Anything else (the application's own input) would
        // re-enter the library in the middle of a page.
        bool forOwner = message.hwnd == ownerWindow_
            || (message.hwnd && GetParent(message.hwnd) == ownerWindow_);
        if (forOwner || message.message == WM_PAINT) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

void OutputPort::Notify()
{
    // Taking the lock orders this change against a waiter that has just
    // tested its condition, so the notification cannot fall between the
    // test and the wait.
    {
        std::lock_guard guard(wakeLock_);
    }
    wake_.notify_all();
}

void OutputPort::SetState(PortState state)
{
    state_.store(state);
    Notify();
}

bool OutputPort::ChangeState(PortState expected, PortState desired)
{
    bool changed = state_.compare_exchange_strong(expected, desired);
    if (changed)
        Notify();
    return changed;
}

bool OutputPort::CloseIfOpen()
{
    return ChangeState(PortState::Open, PortState::Closed);
}

void OutputPort::BeginOpen(bool pump)
{
    StopWriter();
    state_.store(PortState::Connecting);
    bytesSent_.store(0);
    {
        std::lock_guard guard(lossLock_);
        loss_ = DataLoss{};
    }
    if (pump)
        PumpMessages();
}

void OutputPort::StopWriter()
{
    Close();
    // The writer leaves its loop as soon as it sees the state; a transfer
    // in progress has been interrupted by Close.
    if (writer_.joinable())
        writer_.join();
}

bool OutputPort::StartWriter(int queueCapacity, WriterPlan plan)
{
    // A failed allocation is deliberately not an Open failure: the queue
    // then takes nothing and Write waits until the port is closed.
    queue_.Allocate(queueCapacity);
    DropPosted();
    flushRequest_.store(0);
    chunkSize_.store(std::max(plan.chunkSize, 1));
    running_.store(0);
    started_.store(false);
    state_.store(PortState::Open);
    if (!platform::CreateThread([this, plan] { WriterMain(plan); }, writer_)) {
        state_.store(PortState::Closed);
        return false;
    }
    while (!WaitPumping([this] { return started_.load(); }, kStartPollMs)) {
    }
    return true;
}

void OutputPort::WriterMain(WriterPlan plan)
{
    // A printer that goes away under a pipe or socket must show up as a
    // failed write, not as a signal that ends the application.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
    running_.store(1);
    started_.store(true);
    Notify();
    int chunkSize = std::max(plan.chunkSize, 1);
    std::vector<std::uint8_t> buffer;
    buffer.resize(static_cast<std::size_t>(chunkSize));
    auto wanted = [&] {
        return state_.load() != PortState::Open || CancelRequested() || flushRequest_.load() != 0
            || queue_.UsedSpace() >= chunkSize || taken_.load() < postedTotal();
    };
    auto doze = std::chrono::milliseconds(std::clamp(plan.idleMs, 1, 50));
    while (CheckCancel() == 0 && state_.load() == PortState::Open) {
        TakePosted();
        int n;
        if (flushRequest_.load() != 0) {
            n = queue_.UsedSpace();
            if (n == 0) {
                flushRequest_.store(0);
                Notify();
                continue;
            }
            n = std::min(n, chunkSize);
        } else if (queue_.UsedSpace() < chunkSize) {
            // Outside a flush only whole chunks go out; the page's tail
            // waits for Flush. Wake as soon as a chunk is complete.
            WaitFor(wanted, doze);
            continue;
        } else {
            n = chunkSize;
        }
        int got = queue_.Get(buffer.data(), n);
        // Only a Write waiting for room needs to hear of every chunk; waking
        // the application thread while it waits for a posted block to be
        // taken would cost two thread switches a chunk.
        if (roomWanted_.load())
            Notify();
        if (got <= 0)
            continue;
        CountSent(Transmit(buffer.data(), got));
    }
    ReleaseTransport();
    ReportLoss();
    DropPosted();
    running_.store(0);
    Notify();
}

void OutputPort::RecordLoss(int bytes, int error)
{
    if (bytes <= 0)
        return;
    std::lock_guard guard(lossLock_);
    if (loss_.bytes == 0) {
        char text[128];
        loss_.reason = strerror_r(error, text, sizeof text);
        loss_.target = TargetName();
    }
    loss_.bytes += static_cast<std::uint64_t>(bytes);
}

DataLoss OutputPort::GetDataLoss() const
{
    std::lock_guard guard(lossLock_);
    return loss_;
}

void OutputPort::ReportLoss()
{
    // The job went on to its end and may even have succeeded, so nothing
    // else tells the user that the printout or the file is cut short.
    // One line per connection, that is per job, with the whole count.
    DataLoss loss = GetDataLoss();
    if (loss.bytes == 0)
        return;
    const std::string text = std::to_string(loss.bytes) + " bytes could not be written to " + loss.target + ": "
        + loss.reason + "; the output is incomplete.";
    std::fprintf(stderr, "Tarvel: %s\n", text.c_str());
    // A program without a display reads it as the last message.
    ui::RecordLastMessage(ui::MessageKind::Error, platform::Utf8ToUtf16Replacing(text), u"Error printing");
}

void OutputPort::CountSent(int bytes)
{
    if (bytes > 0)
        bytesSent_.fetch_add(static_cast<std::uint32_t>(bytes));
}

bool OutputPort::PauseWhileOpen(int milliseconds)
{
    WaitFor([this] { return state_.load() != PortState::Open || CancelRequested(); },
            std::chrono::milliseconds(std::max(milliseconds, 0)));
    return state_.load() == PortState::Open && !CancelRequested();
}

bool OutputPort::Post(const std::uint8_t* bytes, std::size_t length, std::uint64_t& ticket)
{
    if (state_.load() != PortState::Open)
        return false;
    {
        std::lock_guard guard(postLock_);
        if (!bytes)
            length = 0;
        ticket = postedTotal_.load() + length;
        if (length > 0) {
            posted_.push_back({bytes, length});
            postedTotal_.store(ticket);
        }
    }
    Notify();
    return true;
}

void OutputPort::DropPosted()
{
    std::lock_guard guard(postLock_);
    posted_.clear();
    taken_.store(postedTotal_.load());
}

void OutputPort::TakePosted()
{
    bool finished = false;  // a block is wholly in the queue
    {
        std::lock_guard guard(postLock_);
        while (!posted_.empty()) {
            Posted& block = posted_.front();
            const int room = queue_.FreeSpace();
            if (room <= 0)
                break;
            const int put = queue_.Put(block.bytes, static_cast<int>(std::min<std::size_t>(block.left, room)));
            block.bytes += put;
            block.left -= static_cast<std::size_t>(put);
            taken_.fetch_add(static_cast<std::uint64_t>(put));
            if (block.left > 0)
                break;
            posted_.pop_front();
            finished = true;
        }
    }
    if (finished)
        Notify();
}

bool OutputPort::WaitTaken(std::uint64_t ticket)
{
    const auto stopped = [this] { return state_.load() != PortState::Open || CancelRequested(); };
    while (!PostedTaken(ticket) && !stopped()) {
        WaitPumping([&] { return stopped() || PostedTaken(ticket); }, 300);
        CheckCancel();
    }
    // Blocks a closing writer dropped count as taken; the state tells.
    return PostedTaken(ticket) && !stopped();
}

int OutputPort::QueueBytes(const std::uint8_t* bytes, int length, int retryMs)
{
    PumpMessages();
    if (!bytes || length <= 0)
        return 0;
    // Posted blocks go first.
    if (!WaitTaken(postedTotal()))
        return 0;
    int written = 0;
    while (state_.load() == PortState::Open && written < length) {
        written += queue_.Put(bytes + written, length - written);
        // The writer sends whole chunks only, so it is woken once there is
        // one: waking it for every small command of a page would cost a
        // thread switch each.
        if (queue_.UsedSpace() >= chunkSize_.load())
            Notify();
        if (written >= length)
            break;
        // Set before the wait looks at the queue, so the writer either sees
        // it after its Get or the wait sees the room the Get made.
        roomWanted_.store(true);
        WaitPumping([this] {
            return state_.load() != PortState::Open || CancelRequested() || queue_.FreeSpace() > 0;
        },
                    retryMs);
        roomWanted_.store(false);
        // The writer notices a cancel too, but it may be inside a slow
        // transfer; closing from here interrupts that at once.
        CheckCancel();
    }
    return written;
}

int OutputPort::Flush()
{
    if (!WaitTaken(postedTotal()))
        return 0;
    flushRequest_.store(1);
    Notify();
    while (state_.load() == PortState::Open && flushRequest_.load() != 0) {
        WaitPumping([this] {
            return state_.load() != PortState::Open || CancelRequested() || flushRequest_.load() == 0;
        },
                    300);
        CheckCancel();
    }
    return state_.load() == PortState::Open ? 1 : 0;
}

OutputPort::RoomWait OutputPort::WaitForRoom(
    int descriptor, std::chrono::steady_clock::time_point lastProgress, int stallMs)
{
    if (std::chrono::steady_clock::now() - lastProgress >= std::chrono::milliseconds(stallMs))
        return RoomWait::Stalled;
    pollfd room{descriptor, POLLOUT, 0};
    ::poll(&room, 1, 50);
    if (GetState() != PortState::Open || CancelRequested())
        return RoomWait::Stopped;
    return RoomWait::Again;
}

}  // namespace tarvel::ports
