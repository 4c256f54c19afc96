// The thread's message queue and its timers.
//
// Posted messages wait in order; timers are not queued but generated when
// the queue is asked and nothing else is waiting, one WM_TIMER per due
// timer, the way the handheld did it. So a timer that falls behind fires
// once, not once per missed period, and nothing fires unless somebody pumps.
#include "platform/system/System.h"
#include "platform/ui/Backend.h"
#include "platform/ui/Window.h"

#include <algorithm>
#include <deque>
#include <vector>

namespace tarvel::ui {

namespace {

// The handheld's bounds for a timer period.
constexpr UINT kMinimumElapse = 10;
constexpr UINT kMaximumElapse = 0x7FFFFFFF;
// Ids handed out for timers without a window; kept clear of small ids a
// caller might pick for itself.
constexpr UINT_PTR kFirstThreadTimerId = 0x7F00;
constexpr std::size_t kQueueLimit = 10000;

struct Timer {
    HWND window;
    UINT_PTR id;
    UINT elapse;
    TIMERPROC procedure;
    DWORD due;
};

struct QueueState {
    std::deque<MSG> posted;
    std::vector<Timer> timers;
    UINT_PTR nextThreadTimerId = kFirstThreadTimerId;
};

QueueState& Queue()
{
    static QueueState state;
    return state;
}

bool IsDue(DWORD due, DWORD now)
{
    // Ticks wrap; a due time up to half the range in the past counts.
    return static_cast<DWORD>(now - due) < 0x80000000u;
}

bool MatchesWindow(HWND filter, HWND window)
{
    if (filter == nullptr) {
        return true;
    }
    if (filter == reinterpret_cast<HWND>(-1)) {
        return window == nullptr;
    }
    return IsSelfOrChild(filter, window);
}

bool MatchesRange(UINT message, UINT low, UINT high)
{
    if (low == 0 && high == 0) {
        return true;
    }
    return message >= low && message <= high;
}

Timer* FindTimer(HWND window, UINT_PTR id)
{
    for (Timer& timer : Queue().timers) {
        if (timer.window == window && timer.id == id) {
            return &timer;
        }
    }
    return nullptr;
}

}  // namespace

DWORD MillisecondsToNextTimer(DWORD ceiling)
{
    DWORD now = GetTickCount();
    DWORD wait = ceiling;
    for (const Timer& timer : Queue().timers) {
        if (IsDue(timer.due, now)) {
            return 0;
        }
        wait = std::min(wait, static_cast<DWORD>(timer.due - now));
    }
    return wait;
}

void KillWindowTimers(HWND window)
{
    auto& timers = Queue().timers;
    timers.erase(std::remove_if(timers.begin(), timers.end(),
                                [window](const Timer& t) { return t.window == window; }),
                 timers.end());
}

void DropWindowMessages(HWND window)
{
    auto& posted = Queue().posted;
    posted.erase(std::remove_if(posted.begin(), posted.end(),
                                [window](const MSG& m) { return m.hwnd == window; }),
                 posted.end());
}

void PumpThreadMessages()
{
    MSG msg;
    // Messages posted while dispatching are taken too, but a procedure that
    // posts on every message must not hold the thread forever.
    for (std::size_t n = 0; n < kQueueLimit && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++n) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

}  // namespace tarvel::ui

using namespace tarvel::ui;

extern "C" {

TARVEL_API void TarvelUiPumpAllMessages(void)
{
    PumpThreadMessages();
}

TARVEL_API UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC procedure)
{
    if (window != nullptr && !FindWindowRef(window)) {
        return 0;
    }
    elapse = std::clamp(elapse, kMinimumElapse, kMaximumElapse);
    auto& queue = Queue();
    DWORD due = GetTickCount() + elapse;
    if (Timer* existing = (window != nullptr || id != 0) ? FindTimer(window, id) : nullptr) {
        // Setting a timer again restarts it with the new period.
        existing->elapse = elapse;
        existing->procedure = procedure;
        existing->due = due;
        return window != nullptr ? 1 : existing->id;
    }
    if (window == nullptr) {
        do {
            id = queue.nextThreadTimerId++;
            if (queue.nextThreadTimerId == 0) {
                queue.nextThreadTimerId = kFirstThreadTimerId;
            }
        } while (id == 0 || FindTimer(nullptr, id) != nullptr);
    }
    queue.timers.push_back(Timer{window, id, elapse, procedure, due});
    // The handheld answers a window's timer with a nonzero value, not its id.
    return window != nullptr ? 1 : id;
}

TARVEL_API BOOL KillTimer(HWND window, UINT_PTR id)
{
    auto& timers = Queue().timers;
    auto it = std::find_if(timers.begin(), timers.end(),
                           [&](const Timer& t) { return t.window == window && t.id == id; });
    if (it == timers.end()) {
        return FALSE;
    }
    timers.erase(it);
    return TRUE;
}

TARVEL_API BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (window != nullptr && !FindWindowRef(window)) {
        return FALSE;
    }
    auto& posted = Queue().posted;
    if (posted.size() >= kQueueLimit) {
        return FALSE;
    }
    MSG msg{};
    msg.hwnd = window;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = GetTickCount();
    posted.push_back(msg);
    return TRUE;
}

TARVEL_API BOOL PeekMessageW(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags)
{
    if (msg == nullptr) {
        return FALSE;
    }
    if (window != nullptr && window != reinterpret_cast<HWND>(-1) && !FindWindowRef(window)) {
        return FALSE;
    }
    // The display's input becomes posted messages first.
    CurrentBackend().Poll();

    auto& queue = Queue();
    bool remove = (removeFlags & PM_REMOVE) != 0;
    for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
        if (MatchesWindow(window, it->hwnd) && MatchesRange(it->message, filterMin, filterMax)) {
            *msg = *it;
            if (remove) {
                queue.posted.erase(it);
            }
            return TRUE;
        }
    }
    if (!MatchesRange(WM_TIMER, filterMin, filterMax)) {
        return FALSE;
    }
    DWORD now = GetTickCount();
    // The timer most overdue goes first, so no timer starves another.
    Timer* chosen = nullptr;
    for (Timer& timer : queue.timers) {
        if (IsDue(timer.due, now) && MatchesWindow(window, timer.window) && (chosen == nullptr || static_cast<LONG>(timer.due - chosen->due) < 0)) {
            chosen = &timer;
        }
    }
    if (chosen == nullptr) {
        return FALSE;
    }
    *msg = MSG{};
    msg->hwnd = chosen->window;
    msg->message = WM_TIMER;
    msg->wParam = chosen->id;
    msg->lParam = reinterpret_cast<LPARAM>(chosen->procedure);
    msg->time = now;
    if (remove) {
        chosen->due = now + chosen->elapse;
    }
    return TRUE;
}

TARVEL_API BOOL TranslateMessage(const MSG* msg)
{
    // Keys arrive from the display already as text and commands; there is
    // never a key message to turn into characters.
    (void)msg;
    return FALSE;
}

TARVEL_API LRESULT DispatchMessageW(const MSG* msg)
{
    if (msg == nullptr) {
        return 0;
    }
    if (msg->message == WM_TIMER && msg->lParam != 0) {
        // Only a procedure that belongs to a live timer is called, so a
        // forged message cannot jump anywhere.
        Timer* timer = FindTimer(msg->hwnd, msg->wParam);
        auto procedure = reinterpret_cast<TIMERPROC>(msg->lParam);
        if (timer == nullptr || timer->procedure != procedure) {
            return 0;
        }
        procedure(msg->hwnd, WM_TIMER, msg->wParam, GetTickCount());
        return 0;
    }
    WindowRef window = FindWindowRef(msg->hwnd);
    if (!window) {
        return 0;
    }
    return CallWindow(window, msg->message, msg->wParam, msg->lParam);
}

TARVEL_API BOOL IsDialogMessageW(HWND dialog, MSG* msg)
{
    WindowRef window = FindWindowRef(dialog);
    if (msg == nullptr || !window || window->kind != WindowKind::Dialog || !IsSelfOrChild(dialog, msg->hwnd)) {
        return FALSE;
    }
    DispatchMessageW(msg);
    return TRUE;
}

}  // extern "C"
