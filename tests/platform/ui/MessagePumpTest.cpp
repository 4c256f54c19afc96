// Timers and posted messages reach windows only through the pump, in the
// order and with the filters the callers rely on.
#include <tarvel/ui.h>

#include "platform/system/System.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <utility>
#include <vector>

namespace {

struct Heard {
    HWND window;
    UINT message;
    WPARAM wParam;
};

std::vector<Heard> g_heard;

void CALLBACK_Record(HWND window, UINT message, UINT_PTR id, DWORD)
{
    g_heard.push_back(Heard{window, message, id});
}

class MessagePump : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tarvel::ui::SelectBackend(tarvel::ui::Backend::Headless));
        g_heard.clear();
        window_ = CreateWindowExW(0, u"TestMain", u"Main", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(window_, nullptr);
    }

    void TearDown() override
    {
        DestroyWindow(window_);
        tarvel::ui::PumpAllMessages();
    }

    // Takes every message that is waiting now, recording what was taken.
    std::vector<MSG> Drain(HWND filter = nullptr)
    {
        std::vector<MSG> taken;
        MSG msg;
        while (PeekMessageW(&msg, filter, 0, 0, PM_REMOVE)) {
            taken.push_back(msg);
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        return taken;
    }

    HWND window_ = nullptr;
};

TEST_F(MessagePump, TimerFiresOnlyWhileMessagesArePumped)
{
    ASSERT_NE(SetTimer(window_, 7, 20, nullptr), 0u);
    EXPECT_TRUE(Drain().empty()) << "a fresh timer is not due yet";
    Sleep(70);
    // Three periods passed without pumping: one WM_TIMER, not three.
    std::vector<MSG> taken = Drain();
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(std::make_tuple(taken[0].hwnd, taken[0].message, taken[0].wParam), std::make_tuple(window_, static_cast<UINT>(WM_TIMER), WPARAM{7}));
    EXPECT_TRUE(Drain().empty()) << "taking the message restarts the period";
    Sleep(30);
    EXPECT_EQ(Drain().size(), 1u);
    EXPECT_TRUE(KillTimer(window_, 7));
    Sleep(30);
    EXPECT_TRUE(Drain().empty());
    EXPECT_FALSE(KillTimer(window_, 7)) << "a killed timer is gone";
}

TEST_F(MessagePump, TimerProcedureIsCalledByDispatchWithItsId)
{
    UINT_PTR id = SetTimer(nullptr, 0, 10, CALLBACK_Record), other = SetTimer(nullptr, 0, 10, CALLBACK_Record);
    ASSERT_NE(id, 0u);
    EXPECT_NE(other, id) << "thread timers get distinct ids";
    Sleep(25);
    Drain();
    ASSERT_EQ(g_heard.size(), 2u);
    EXPECT_EQ(g_heard[0].message, static_cast<UINT>(WM_TIMER));
    EXPECT_EQ(std::minmax(g_heard[0].wParam, g_heard[1].wParam), std::minmax(id, other));
    EXPECT_TRUE(KillTimer(nullptr, id) && KillTimer(nullptr, other));

    // A forged timer message naming a procedure of no live timer is ignored.
    g_heard.clear();
    MSG forged{nullptr, WM_TIMER, id, reinterpret_cast<LPARAM>(&CALLBACK_Record), 0, {}};
    DispatchMessageW(&forged);
    EXPECT_TRUE(g_heard.empty());
}

TEST_F(MessagePump, PostedMessagesComeBeforeTimersAndFiltersApply)
{
    HWND other = CreateWindowExW(0, u"TestOther", u"Other", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(SetTimer(window_, 1, 10, nullptr), 0u);
    Sleep(20);
    ASSERT_TRUE(PostMessageW(other, WM_USER, 1, 0));
    ASSERT_TRUE(PostMessageW(window_, WM_USER, 2, 33));

    MSG msg;
    // Peeking without removing leaves the message where it was.
    ASSERT_TRUE(PeekMessageW(&msg, window_, 0, 0, PM_NOREMOVE));
    // Filtered to the main window: its posted message, then its timer; the
    // other window's message stays queued.
    ASSERT_TRUE(PeekMessageW(&msg, window_, 0, 0, PM_REMOVE));
    EXPECT_EQ(std::make_tuple(msg.message, msg.wParam, msg.lParam), std::make_tuple(static_cast<UINT>(WM_USER), WPARAM{2}, LPARAM{33}));
    ASSERT_TRUE(PeekMessageW(&msg, window_, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_TIMER));
    EXPECT_FALSE(PeekMessageW(&msg, window_, 0, 0, PM_REMOVE));
    // A message range that excludes WM_TIMER never yields one.
    Sleep(20);
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, other);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_USER, WM_USER + 10, PM_REMOVE));

    // A destroyed window takes its timers and queued messages along.
    ASSERT_TRUE(PostMessageW(other, WM_USER, 3, 0));
    ASSERT_NE(SetTimer(other, 5, 10, nullptr), 0u);
    ASSERT_TRUE(DestroyWindow(other));
    Sleep(20);
    for (const MSG& m : Drain()) EXPECT_NE(m.hwnd, other);
    EXPECT_FALSE(PostMessageW(other, WM_USER, 4, 0));
    EXPECT_EQ(SetTimer(other, 5, 10, nullptr), 0u);
    KillTimer(window_, 1);
}

TEST_F(MessagePump, BadArgumentsGiveFailureValues)
{
    HWND stale = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x12345678));
    MSG msg{stale, WM_USER, 0, 0, 0, {}};
    // Each call, in order, fails with zero.
    EXPECT_EQ((std::vector<LRESULT>{PeekMessageW(nullptr, nullptr, 0, 0, PM_REMOVE), DispatchMessageW(nullptr), TranslateMessage(nullptr), DispatchMessageW(&msg),
                                    PeekMessageW(&msg, stale, 0, 0, PM_REMOVE), static_cast<LRESULT>(SetTimer(stale, 1, 10, nullptr)), KillTimer(stale, 1)}),
              std::vector<LRESULT>(7, 0));
    EXPECT_EQ((std::vector<HWND>{GetParent(stale), GetParent(nullptr), GetParent(window_)}), std::vector<HWND>(3, nullptr)) << "the last is a window nobody owns";
}

}  // namespace
