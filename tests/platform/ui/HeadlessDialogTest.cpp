// Dialogs on the headless backend: a scripted user drives every control
// kind, and the procedure hears the commands a real user would cause.
#include "SampleDialog.h"

#include "platform/system/System.h"
#include "platform/ui/Window.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <tuple>

namespace {

using sample::Commands;
using sample::g_log;
using sample::Heard;
using tarvel::ui::DialogUser;

class HeadlessDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tarvel::ui::SelectBackend(tarvel::ui::Backend::Headless));
        g_log = sample::Log{};
        tarvel::ui::ClearMessageBoxRecord();
    }
    void TearDown() override { tarvel::ui::SetResponder(nullptr); }

    INT_PTR Run(HWND owner = nullptr)
    {
        return DialogBoxIndirectParamW(nullptr, &sample::kTemplate, owner, sample::CALLBACK_SampleProc, 0);
    }
};

TEST_F(HeadlessDialog, ScriptedUserDrivesEveryControlKindAndCommandsArriveInOrder)
{
    // The command log below proves the responder ran.
    tarvel::ui::SetResponder([&](DialogUser& user) {
        EXPECT_EQ(user.Caption(), u"Sample");
        EXPECT_EQ(user.ListEntries(sample::kList), (std::vector<std::u16string>{u"Alpha", u"Beta", u"Gamma"}));
        EXPECT_FALSE(user.SelectListEntry(sample::kList, u"Delta"));
        EXPECT_TRUE(user.SelectListEntry(sample::kList, u"Beta")) << "already shown: no command";
        EXPECT_TRUE(user.SelectListEntry(sample::kList, u"Gamma") && user.Click(sample::kLandscape) && user.Type(sample::kWidth, u"10cm") && user.Type(sample::kPages, u"1a2-b3") && user.Click(sample::kDraft) && user.Click(sample::kMore));
        EXPECT_EQ(std::make_pair(user.Text(sample::kList), user.ListSelection(sample::kList)), std::make_pair(std::u16string(u"Gamma"), 2));
        // The automatic radio group clears the other button.
        EXPECT_EQ(std::vector<bool>({user.Checked(sample::kPortrait), user.Checked(sample::kLandscape), user.Checked(sample::kDraft)}), std::vector<bool>({false, true, true}));
        EXPECT_EQ(user.Text(sample::kWidth), u"10CM") << "the procedure rewrote the field when it lost the focus";
        EXPECT_EQ(user.Text(sample::kPages), u"123") << "a digits-only field drops other keys";
        EXPECT_EQ(user.Text(sample::kStaticCentre), u"Data sent");
        EXPECT_FALSE(user.Ended());
        EXPECT_TRUE(user.Click(IDOK));
        EXPECT_TRUE(user.Ended());
        EXPECT_FALSE(user.Click(IDCANCEL)) << "a closed dialog takes no more clicks";
    });

    EXPECT_EQ(Run(), 1);
    // The procedure's rewrite of the width field says nothing.
    const std::vector<Heard> expected = {{WM_COMMAND, sample::kList, CBN_SELCHANGE}, {WM_COMMAND, sample::kLandscape, BN_CLICKED}, {WM_COMMAND, sample::kWidth, EN_CHANGE}, {WM_COMMAND, sample::kWidth, EN_KILLFOCUS}, {WM_COMMAND, sample::kPages, EN_CHANGE}, {WM_COMMAND, sample::kPages, EN_KILLFOCUS}, {WM_COMMAND, sample::kDraft, BN_CLICKED}, {WM_COMMAND, sample::kMore, BN_CLICKED}, {WM_COMMAND, IDOK, BN_CLICKED}};
    EXPECT_EQ(Commands(), expected);
    ASSERT_FALSE(g_log.heard.empty());
    EXPECT_EQ(g_log.heard.back().message, static_cast<UINT>(WM_DESTROY)) << "destruction is the last word";
    EXPECT_FALSE(IsWindow(g_log.dialog)) << "a modal dialog is gone when the call returns";
}

TEST_F(HeadlessDialog, WithoutAResponderOkIsPressedAndADialogLeftOpenIsClosedAsByItsCloseBox)
{
    // Closing sends IDCANCEL, which the procedure answers with 0.
    for (auto [responder, result, command] : {std::tuple<tarvel::ui::Responder, INT_PTR, int>{nullptr, 1, IDOK}, {[](DialogUser&) {}, 0, IDCANCEL}}) {
        g_log = sample::Log{};
        tarvel::ui::SetResponder(responder);
        EXPECT_EQ(Run(), result);
        EXPECT_EQ(Commands(), (std::vector<Heard>{{WM_COMMAND, command, BN_CLICKED}}));
    }

    // A procedure that never ends its dialog gives -1 rather than hanging.
    auto stubborn = [](HWND, UINT message, WPARAM, LPARAM) -> INT_PTR { return message == WM_INITDIALOG; };
    EXPECT_EQ(DialogBoxIndirectParamW(nullptr, &sample::kTemplate, nullptr, stubborn, 0), -1);
}

TEST_F(HeadlessDialog, DisabledAndReadOnlyControlsDoNotReactToTheUser)
{
    tarvel::ui::SetResponder([&](DialogUser& user) {
        HWND dialog = user.Dialog();
        EnableWindow(GetDlgItem(dialog, sample::kDraft), FALSE);
        EnableWindow(GetDlgItem(dialog, sample::kList), FALSE);
        SendDlgItemMessageW(dialog, sample::kWidth, EM_SETREADONLY, TRUE, 0);
        EXPECT_TRUE(user.ReadOnly(sample::kWidth));
        EXPECT_FALSE(user.Enabled(sample::kDraft));
        EXPECT_FALSE(user.Type(sample::kWidth, u"5cm"));
        EXPECT_FALSE(user.Click(sample::kDraft));
        EXPECT_FALSE(user.SelectListIndex(sample::kList, 0));
        EXPECT_FALSE(user.Type(sample::kStaticLeft, u"x"));
        user.Click(IDCANCEL);
    });
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(Commands(), (std::vector<Heard>{{WM_COMMAND, IDCANCEL, BN_CLICKED}}));
}

// Timers reach a dialog only while pumped: the message pump's tests and
// the progress window's prove it.
TEST_F(HeadlessDialog, ModelessDialogReturnsAtOnceHiddenAndEndsWithTheFocusedFieldsWord)
{
    HWND dialog = CreateDialogIndirectParamW(nullptr, &sample::kTemplate, nullptr, sample::CALLBACK_SampleProc, 0);
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(IsWindowVisible(dialog)) << "created hidden, shown by its maker";
    EXPECT_EQ(ShowWindow(dialog, SW_SHOW), FALSE);
    EXPECT_TRUE(IsWindowVisible(dialog));
    // A click through BM_CLICK reaches the procedure like a user's.
    SendDlgItemMessageW(dialog, sample::kMore, BM_CLICK, 0, 0);
    EXPECT_EQ(Commands().back(), (Heard{WM_COMMAND, sample::kMore, BN_CLICKED}));
    // A field with the focus reports losing it before the dialog's end.
    SetFocus(GetDlgItem(dialog, sample::kWidth));
    EXPECT_TRUE(DestroyWindow(dialog));
    ASSERT_GE(g_log.heard.size(), 2u);
    EXPECT_EQ(g_log.heard[g_log.heard.size() - 2], (Heard{WM_COMMAND, sample::kWidth, EN_KILLFOCUS}));
    EXPECT_EQ(g_log.heard.back().message, static_cast<UINT>(WM_DESTROY));
    EXPECT_FALSE(DestroyWindow(dialog));
    EXPECT_EQ(GetDlgItem(dialog, sample::kList), nullptr);
}

int g_destroyCount = 0;

TEST_F(HeadlessDialog, ProcedureMayDestroyItsOwnWindowEvenTwice)
{
    g_destroyCount = 0;
    auto selfDestroying = [](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
        if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
            DestroyWindow(dialog);
            // The controls are gone, but the call that got here returns safely.
            EXPECT_EQ(GetDlgItem(dialog, IDCANCEL), nullptr);
            return TRUE;
        }
        if (message == WM_DESTROY) {
            ++g_destroyCount;
            EXPECT_NE(GetDlgItem(dialog, IDOK), nullptr) << "controls still exist while the dialog hears it";
            DestroyWindow(dialog);
        }
        return message == WM_INITDIALOG;
    };
    HWND dialog = CreateDialogIndirectParamW(nullptr, &sample::kTemplate, nullptr, selfDestroying, 0);
    ASSERT_NE(dialog, nullptr);
    SendDlgItemMessageW(dialog, IDCANCEL, BM_CLICK, 0, 0);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(g_destroyCount, 1);
}

TEST_F(HeadlessDialog, DropDownListFollowsThePlatformRules)
{
    HWND dialog = CreateDialogIndirectParamW(nullptr, &sample::kTemplate, nullptr, nullptr, 0);
    ASSERT_NE(dialog, nullptr);
    auto send = [&](UINT m, WPARAM w, const char16_t* text) {
        return SendDlgItemMessageW(dialog, sample::kList, m, w, reinterpret_cast<LPARAM>(text));
    };
    EXPECT_EQ(send(CB_GETCURSEL, 0, nullptr), CB_ERR) << "nothing selected in a new list";
    // Each entry added tells its index; a missing text is refused.
    EXPECT_EQ((std::vector<LRESULT>{send(CB_ADDSTRING, 0, u"COM1"), send(CB_ADDSTRING, 0, u"COM10"), send(CB_ADDSTRING, 0, u"File"), send(CB_ADDSTRING, 0, nullptr), send(CB_GETCOUNT, 0, nullptr)}), (std::vector<LRESULT>{0, 1, 2, CB_ERR, 3}));
    // Selection by text matches a prefix, ignoring case, from the top or
    // after the given index; a failed search keeps the selection.
    const WPARAM top = static_cast<WPARAM>(-1);
    EXPECT_EQ((std::vector<LRESULT>{send(CB_SELECTSTRING, top, u"file"), send(CB_SELECTSTRING, top, u"COM1"), send(CB_SELECTSTRING, 0, u"COM1"), send(CB_SELECTSTRING, top, u"Printer"), send(CB_GETCURSEL, 0, nullptr)}), (std::vector<LRESULT>{2, 0, 1, CB_ERR, 1}));
    EXPECT_EQ(send(CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), u"com10"), 1);
    EXPECT_EQ(std::make_pair(send(CB_GETLBTEXTLEN, 1, nullptr), send(CB_GETLBTEXTLEN, 9, nullptr)), std::make_pair(LRESULT{5}, LRESULT{CB_ERR}));
    EXPECT_EQ(sample::ItemText(dialog, sample::kList), u"COM10");
    EXPECT_EQ(send(CB_SETCURSEL, 7, nullptr), CB_ERR);
    EXPECT_EQ(send(CB_GETCURSEL, 0, nullptr), CB_ERR) << "an index outside the list clears the selection";
    EXPECT_EQ((std::vector<LRESULT>{send(CB_RESETCONTENT, 0, nullptr), send(CB_GETCOUNT, 0, nullptr)}), (std::vector<LRESULT>{TRUE, 0}));
    DestroyWindow(dialog);
}

TEST_F(HeadlessDialog, TextsAndStatesSurviveBadArguments)
{
    HWND dialog = CreateDialogIndirectParamW(nullptr, &sample::kTemplate, nullptr, nullptr, 0);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(SetDlgItemTextW(dialog, sample::kWidth, u"123456"));
    WCHAR small[4] = {u'x', u'x', u'x', u'x'};
    EXPECT_EQ(GetDlgItemTextW(dialog, sample::kWidth, small, 4), 3u);
    EXPECT_EQ(std::u16string(small), u"123");
    EXPECT_EQ((std::vector<UINT>{GetDlgItemTextW(dialog, sample::kWidth, nullptr, 4), GetDlgItemTextW(dialog, sample::kWidth, small, -3), GetDlgItemTextW(dialog, 4242, small, 4)}), std::vector<UINT>(3, 0));
    EXPECT_EQ(small[0], u'\0') << "an unknown control empties the buffer";
    EXPECT_TRUE(SetDlgItemTextW(dialog, sample::kWidth, nullptr));
    EXPECT_EQ(sample::ItemText(dialog, sample::kWidth), u"");
    EXPECT_FALSE(SetDlgItemTextW(dialog, sample::kList, u"x")) << "a drop-down list has no text to set";
    EXPECT_EQ(GetWindowTextLengthW(dialog), 6);
    // Setting one radio button by message does not touch its group; only a
    // click does.
    CheckDlgButton(dialog, sample::kPortrait, BST_CHECKED);
    CheckDlgButton(dialog, sample::kLandscape, BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(dialog, sample::kPortrait), static_cast<UINT>(BST_CHECKED));
    DestroyWindow(dialog);

    HWND stale = dialog;
    RECT rect;
    WCHAR caption[32];
    // Each call on the destroyed window, in order, fails with zero.
    EXPECT_EQ((std::vector<LRESULT>{SetDlgItemTextW(stale, sample::kWidth, u"x"), SetWindowTextW(stale, u"x"), GetWindowTextW(stale, caption, 32), EnableWindow(stale, TRUE), ShowWindow(stale, SW_SHOW), SetWindowPos(stale, nullptr, 0, 0, 0, 0, SWP_NOSIZE), GetWindowRect(stale, &rect), SetForegroundWindow(stale), EndDialog(stale, 1), SendMessageW(stale, WM_GETTEXTLENGTH, 0, 0), SendMessageW(nullptr, WM_CLOSE, 0, 0)}), std::vector<LRESULT>(11, 0));
}

TEST_F(HeadlessDialog, BrokenTemplatesAreRefused)
{
    EXPECT_EQ(DialogBoxIndirectParamW(nullptr, nullptr, nullptr, nullptr, 0), -1);
    EXPECT_EQ(CreateDialogIndirectParamW(nullptr, nullptr, nullptr, nullptr, 0), nullptr);
    // Counts below zero or past reason, no items, an item of no known kind.
    DLGTEMPLATEDEF t = sample::kTemplate;
    const DLGITEMDEF badKind[] = {{1, 99, u"?", 0, 0, 10, 10, 0}};
    for (auto [count, items] : {std::pair<int, const DLGITEMDEF*>{-1, sample::kItems}, {1 << 30, sample::kItems}, {2, nullptr}, {1, badKind}}) {
        t.itemCount = count, t.items = items;
        EXPECT_EQ(DialogBoxIndirectParamW(nullptr, &t, nullptr, sample::CALLBACK_SampleProc, 0), -1) << count;
        EXPECT_EQ(CreateDialogIndirectParamW(nullptr, &t, nullptr, nullptr, 0), nullptr) << count;
    }
    HWND stale = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x7777770));
    EXPECT_EQ(DialogBoxIndirectParamW(nullptr, &sample::kTemplate, stale, sample::CALLBACK_SampleProc, 0), -1);
    EXPECT_TRUE(g_log.heard.empty()) << "no procedure ran for a refused dialog";
}

// Templates found by module and number, the shell's preparation of a dialog
// and the message boxes a job shows (their text, caption and kind) are the
// print and options dialogs' tests and the print job tests': the dialogs
// are found and prepared so, and the job's boxes are read from the record.

// Which of LC_ALL, LC_MEASUREMENT and LANG names US units is the margins
// dialog's tests' (a US and a metric LC_ALL); here the room the answer
// needs.
TEST(Locale, MeasurementSystemNeedsRoomForItsAnswer)
{
    // Without a buffer the size needed; a buffer too small, or an unknown
    // item, gives nothing.
    WCHAR buffer[2];
    EXPECT_EQ(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_IMEASURE, nullptr, 0), 2);
    EXPECT_EQ(std::make_pair(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_IMEASURE, buffer, 1), GetLocaleInfoW(LOCALE_USER_DEFAULT, 0x1234, buffer, 2)), std::make_pair(0, 0));
}

}  // namespace
