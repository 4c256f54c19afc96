// The sample dialog on real FLTK windows, on a private Xvfb server: X
// events sent to the windows drive it, the procedure hears the same
// commands as on the headless backend, and its pixels match the reference.
#include "SampleDialog.h"

#include "platform/system/System.h"
#include "support/XvfbSession.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Input.H>

namespace {

using namespace tarvel::test;
using sample::Commands;
using sample::g_log;
using sample::Heard;

[[maybe_unused]] const auto* const g_server = UsePrivateXvfb();

// Destroys a dialog however the test ends, so the next test may switch
// backends.
struct DialogGuard {
    HWND dialog;
    ~DialogGuard() { DestroyWindow(dialog), Fl::check(); }
};

// This test checks each step as soon as it is made.
void Click(HWND dialog, int id)
{
    ClickControl(dialog, id);
    Settle();
}

void Type(Fl_Window* window, const std::string& keys)
{
    SendKeys(window, keys);
    Settle();
}

class FltkDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tarvel::ui::SelectBackend(tarvel::ui::Backend::Fltk)) << "FLTK must work on the test server";
        g_log = sample::Log{};
        tarvel::ui::ClearMessageBoxRecord();
    }
};

TEST_F(FltkDialog, InjectedEventsBecomeTheCommandsTheProcedureExpects)
{
    ASSERT_EQ(tarvel::ui::ActiveBackend(), tarvel::ui::Backend::Fltk);
    HWND dialog = CreateDialogIndirectParamW(nullptr, &sample::kTemplate, nullptr, sample::CALLBACK_SampleProc, 0);
    ASSERT_NE(dialog, nullptr);
    DialogGuard guard{dialog};
    ShowWindow(dialog, SW_SHOW);
    auto* window = static_cast<Fl_Window*>(WidgetOf(dialog));
    ASSERT_NE(window, nullptr);
    Settle(20);
    ASSERT_TRUE(window->shown());
    EXPECT_STREQ(window->label(), "Sample");

    // The layer keeps the radio group, not FLTK; clicking a checked radio
    // button leaves it checked.
    Click(dialog, sample::kLandscape);
    EXPECT_EQ(std::make_pair(IsDlgButtonChecked(dialog, sample::kLandscape), IsDlgButtonChecked(dialog, sample::kPortrait)), std::make_pair(UINT(BST_CHECKED), UINT(BST_UNCHECKED)));
    EXPECT_EQ(static_cast<Fl_Button*>(WidgetOf(GetDlgItem(dialog, sample::kPortrait)))->value(), 0);
    Click(dialog, sample::kLandscape);
    EXPECT_EQ(static_cast<Fl_Button*>(WidgetOf(GetDlgItem(dialog, sample::kLandscape)))->value(), 1);

    auto* width = static_cast<Fl_Input*>(WidgetOf(GetDlgItem(dialog, sample::kWidth)));
    Click(dialog, sample::kWidth);
    // Selecting the old text would be a drag; the field is emptied on the
    // widget, which like any program's write sends no change.
    width->value("");
    Type(window, "10cm");
    EXPECT_EQ(sample::ItemText(dialog, sample::kWidth), u"10cm");
    Click(dialog, sample::kPages);
    EXPECT_EQ(sample::ItemText(dialog, sample::kWidth), u"10CM") << "rewritten when the focus left";
    EXPECT_STREQ(width->value(), "10CM") << "and the widget shows the procedure's text";
    auto* pages = static_cast<Fl_Input*>(WidgetOf(GetDlgItem(dialog, sample::kPages)));
    pages->position(pages->size(), pages->size());
    Type(window, "2x3");
    EXPECT_EQ(sample::ItemText(dialog, sample::kPages), u"123") << "the digits-only field drops the x";

    Click(dialog, sample::kDraft);
    EXPECT_EQ(IsDlgButtonChecked(dialog, sample::kDraft), static_cast<UINT>(BST_CHECKED));

    // The list opens a pop-up menu with a nested loop of its own; the
    // selection is made on the widget and travels the same way back.
    auto* list = static_cast<Fl_Choice*>(WidgetOf(GetDlgItem(dialog, sample::kList)));
    EXPECT_EQ(std::make_pair(list->size() - 1, list->value()), std::make_pair(3, 1));
    list->value(2);
    list->do_callback();
    Settle();
    EXPECT_EQ(SendDlgItemMessageW(dialog, sample::kList, CB_GETCURSEL, 0, 0), 2);

    // A disabled button does not react.
    EnableWindow(GetDlgItem(dialog, sample::kMore), FALSE);
    Click(dialog, sample::kMore);

    // A change per key the field took; none from the disabled button.
    const Heard landscape{WM_COMMAND, sample::kLandscape, BN_CLICKED}, widthChange{WM_COMMAND, sample::kWidth, EN_CHANGE}, pagesChange{WM_COMMAND, sample::kPages, EN_CHANGE};
    EXPECT_EQ(Commands(), (std::vector<Heard>{landscape, landscape, widthChange, widthChange, widthChange, widthChange, {WM_COMMAND, sample::kWidth, EN_KILLFOCUS}, pagesChange, pagesChange, {WM_COMMAND, sample::kPages, EN_KILLFOCUS}, {WM_COMMAND, sample::kDraft, BN_CLICKED}, {WM_COMMAND, sample::kList, CBN_SELCHANGE}}));
}

// How the widgets look (a read-only field, a disabled button, a checked
// box, a dialog moved on the screen) is the print and options dialogs'
// screenshot test.

// A modal dialog runs until a click ends it: the print and options
// dialogs' screenshot test drives them so. Escape is pressed here.
void CALLBACK_PressEscape(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    if (auto* window = static_cast<Fl_Window*>(WidgetOf(GetActiveWindow()))) Type(window, "\x1b");
}

TEST_F(FltkDialog, EscapeCancelsOnlyWhileTheCancelButtonIsEnabled)
{
    ASSERT_NE(SetTimer(nullptr, 0, 100, CALLBACK_PressEscape), 0u);
    EXPECT_EQ(DialogBoxIndirectParamW(nullptr, &sample::kTemplate, nullptr, sample::CALLBACK_SampleProc, 0), 0);
    EXPECT_EQ(Commands(), (std::vector<Heard>{{WM_COMMAND, IDCANCEL, BN_CLICKED}}));

    g_log = sample::Log{};
    HWND dialog = CreateDialogIndirectParamW(nullptr, &sample::kTemplate, nullptr, sample::CALLBACK_SampleProc, 0);
    ASSERT_NE(dialog, nullptr);
    DialogGuard guard{dialog};
    ShowWindow(dialog, SW_SHOW);
    EnableWindow(GetDlgItem(dialog, IDCANCEL), FALSE);
    Settle();
    Type(static_cast<Fl_Window*>(WidgetOf(dialog)), "\x1b");
    EXPECT_TRUE(Commands().empty());
    EXPECT_TRUE(IsWindowVisible(dialog));
}

Fl_Window* g_box = nullptr;
std::string g_boxCaption;

void CALLBACK_DismissBox(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    if ((g_box = Fl::first_window())) {
        g_boxCaption = g_box->label() != nullptr ? g_box->label() : "";
        Type(g_box, "\r");
    }
}

TEST_F(FltkDialog, MessageBoxBlocksUntilDismissedAndShowsItsCaption)
{
    ASSERT_NE(SetTimer(nullptr, 0, 150, CALLBACK_DismissBox), 0u);
    DWORD start = GetTickCount();
    EXPECT_EQ(MessageBoxW(nullptr, u"Cannot establish connection", u"Error printing", MB_OK | MB_ICONEXCLAMATION), IDOK);
    EXPECT_GE(GetTickCount() - start, 150u);
    ASSERT_NE(g_box, nullptr) << "the box was a real window while the call waited";
    EXPECT_EQ(g_boxCaption, "Error printing");
    ASSERT_EQ(tarvel::ui::MessageBoxRecord().size(), 1u);
    EXPECT_EQ(tarvel::ui::MessageBoxRecord()[0].text, u"Cannot establish connection");
}

}  // namespace
