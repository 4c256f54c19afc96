// The sample dialog on real FLTK windows, on a private Xvfb server: X
// events sent to the windows drive it, the procedure hears the same
// commands as on the headless backend, and its pixels match the reference.
#include "SampleDialog.h"

#include "platform/system/System.h"
#include "platform/ui/Window.h"

// GoogleTest comes before Xlib, whose macros (None, Bool) would break it.
#include <gtest/gtest.h>

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cairo.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

// Xft and fontconfig keep the fonts they matched until the process ends,
// by design; those are not ours to free.
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\nleak:libXft.so\n";
}

namespace {

using sample::g_log;
using sample::Heard;

// A server of our own, so the pixels never depend on the developer's
// display, its depth or its window manager.
class XvfbServer : public ::testing::Environment {
public:
    void SetUp() override
    {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        pid_ = fork();
        ASSERT_GE(pid_, 0);
        if (pid_ == 0) {
            close(fds[0]);
            std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "800x600x24", "-nolisten", "tcp",
                   "-noreset", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        std::string number;
        char c;
        while (read(fds[0], &c, 1) == 1 && c != '\n') {
            number.push_back(c);
        }
        close(fds[0]);
        ASSERT_FALSE(number.empty()) << "Xvfb did not start";
        setenv("DISPLAY", (":" + number).c_str(), 1);
    }

    void TearDown() override
    {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }

private:
    pid_t pid_ = -1;
};

[[maybe_unused]] const auto* const g_server = ::testing::AddGlobalTestEnvironment(new XvfbServer);

// Destroys a dialog however the test ends, so the next test may switch
// backends.
struct DialogGuard {
    HWND dialog;
    ~DialogGuard()
    {
        DestroyWindow(dialog);
        Fl::check();
    }
};

struct SurfaceDeleter {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;

Fl_Widget* WidgetOf(HWND window)
{
    tarvel::ui::WindowRef w = tarvel::ui::FindWindowRef(window);
    return w ? static_cast<Fl_Widget*>(w->backendData) : nullptr;
}

// Lets the server and FLTK settle: pending events handled, drawing done.
void Settle(int rounds = 10)
{
    for (int i = 0; i < rounds; ++i) {
        XSync(fl_display, False);
        Fl::wait(0.02);
        tarvel::ui::PumpAllMessages();
    }
    Fl::flush();
    XSync(fl_display, False);
}

void SendButton(Fl_Window* window, int x, int y)
{
    for (int type : {ButtonPress, ButtonRelease}) {
        XEvent e{};
        e.xbutton.type = type;
        e.xbutton.display = fl_display;
        e.xbutton.window = fl_xid(window);
        e.xbutton.root = RootWindow(fl_display, fl_screen);
        e.xbutton.x = x;
        e.xbutton.y = y;
        e.xbutton.x_root = window->x() + x;
        e.xbutton.y_root = window->y() + y;
        e.xbutton.button = Button1;
        e.xbutton.state = type == ButtonRelease ? Button1Mask : 0;
        e.xbutton.same_screen = True;
        e.xbutton.time = CurrentTime;
        XSendEvent(fl_display, fl_xid(window), True, type == ButtonPress ? ButtonPressMask : ButtonReleaseMask, &e);
    }
    XFlush(fl_display);
}

void ClickControl(HWND dialog, int id)
{
    Fl_Widget* widget = WidgetOf(GetDlgItem(dialog, id));
    ASSERT_NE(widget, nullptr);
    SendButton(widget->window(), widget->x() + 6, widget->y() + widget->h() / 2);
    Settle();
}

void SendKeys(Fl_Window* window, const std::string& keys)
{
    for (char ch : keys) {
        std::string name = ch == '\r' ? "Return" : ch == '\x1b' ? "Escape" : std::string(1, ch);
        KeySym sym = XStringToKeysym(name.c_str());
        for (int type : {KeyPress, KeyRelease}) {
            XEvent e{};
            e.xkey.type = type;
            e.xkey.display = fl_display;
            e.xkey.window = fl_xid(window);
            e.xkey.root = RootWindow(fl_display, fl_screen);
            e.xkey.keycode = XKeysymToKeycode(fl_display, sym);
            e.xkey.state = 0;
            e.xkey.same_screen = True;
            e.xkey.time = CurrentTime;
            XSendEvent(fl_display, fl_xid(window), True, type == KeyPress ? KeyPressMask : KeyReleaseMask, &e);
        }
    }
    XFlush(fl_display);
    Settle();
}

// The window's pixels as a cairo image (ARGB32 with opaque alpha).
cairo_surface_t* Capture(Fl_Window* window)
{
    XImage* image = XGetImage(fl_display, fl_xid(window), 0, 0, static_cast<unsigned>(window->w()),
                              static_cast<unsigned>(window->h()), AllPlanes, ZPixmap);
    if (image == nullptr) {
        return nullptr;
    }
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, window->w(), window->h());
    unsigned char* data = cairo_image_surface_get_data(surface);
    int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < window->h(); ++y) {
        auto* row = reinterpret_cast<uint32_t*>(data + y * stride);
        for (int x = 0; x < window->w(); ++x) {
            unsigned long p = XGetPixel(image, x, y);
            row[x] = 0xFF000000u | static_cast<uint32_t>(p & 0xFFFFFF);
        }
    }
    cairo_surface_mark_dirty(surface);
    XDestroyImage(image);
    return surface;
}

// Counts pixels that differ between two images of the same size; -1 when
// the sizes differ.
long DifferentPixels(cairo_surface_t* a, cairo_surface_t* b)
{
    int w = cairo_image_surface_get_width(a);
    int h = cairo_image_surface_get_height(a);
    if (w != cairo_image_surface_get_width(b) || h != cairo_image_surface_get_height(b)) {
        return -1;
    }
    long count = 0;
    for (int y = 0; y < h; ++y) {
        auto* ra = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(a) + y * cairo_image_surface_get_stride(a));
        auto* rb = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(b) + y * cairo_image_surface_get_stride(b));
        for (int x = 0; x < w; ++x) {
            count += (ra[x] & 0xFFFFFF) != (rb[x] & 0xFFFFFF);
        }
    }
    return count;
}

class FltkDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tarvel::ui::SelectBackend(tarvel::ui::Backend::Fltk)) << "FLTK must work on the test server";
        g_log = sample::Log{};
        tarvel::ui::ClearMessageBoxRecord();
    }

    static std::vector<Heard> Commands()
    {
        std::vector<Heard> commands;
        for (const Heard& h : g_log.heard) {
            if (h.message == WM_COMMAND && h.code != EN_SETFOCUS) {
                commands.push_back(h);
            }
        }
        return commands;
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

    ClickControl(dialog, sample::kLandscape);
    EXPECT_EQ(IsDlgButtonChecked(dialog, sample::kLandscape), static_cast<UINT>(BST_CHECKED));
    EXPECT_EQ(IsDlgButtonChecked(dialog, sample::kPortrait), static_cast<UINT>(BST_UNCHECKED))
        << "the layer keeps the radio group, not FLTK";
    EXPECT_EQ(static_cast<Fl_Button*>(WidgetOf(GetDlgItem(dialog, sample::kPortrait)))->value(), 0);

    // Clicking a checked radio button leaves it checked.
    ClickControl(dialog, sample::kLandscape);
    EXPECT_EQ(static_cast<Fl_Button*>(WidgetOf(GetDlgItem(dialog, sample::kLandscape)))->value(), 1);

    auto* width = static_cast<Fl_Input*>(WidgetOf(GetDlgItem(dialog, sample::kWidth)));
    ClickControl(dialog, sample::kWidth);
    // Selecting the old text would be a drag; the field is emptied on the
    // widget, which like any program's write sends no change.
    width->value("");
    SendKeys(window, "10cm");
    EXPECT_EQ(sample::ItemText(dialog, sample::kWidth), u"10cm");
    ClickControl(dialog, sample::kPages);
    EXPECT_EQ(sample::ItemText(dialog, sample::kWidth), u"10CM") << "rewritten when the focus left";
    EXPECT_STREQ(width->value(), "10CM") << "and the widget shows the procedure's text";
    auto* pages = static_cast<Fl_Input*>(WidgetOf(GetDlgItem(dialog, sample::kPages)));
    pages->position(pages->size(), pages->size());
    SendKeys(window, "2x3");
    EXPECT_EQ(sample::ItemText(dialog, sample::kPages), u"123") << "the digits-only field drops the x";

    ClickControl(dialog, sample::kDraft);
    EXPECT_EQ(IsDlgButtonChecked(dialog, sample::kDraft), static_cast<UINT>(BST_CHECKED));

    // The list opens a pop-up menu with a nested loop of its own; the
    // selection is made on the widget and travels the same way back.
    auto* list = static_cast<Fl_Choice*>(WidgetOf(GetDlgItem(dialog, sample::kList)));
    EXPECT_EQ(list->size() - 1, 3);
    EXPECT_EQ(list->value(), 1);
    list->value(2);
    list->do_callback();
    Settle();
    EXPECT_EQ(SendDlgItemMessageW(dialog, sample::kList, CB_GETCURSEL, 0, 0), 2);

    // A disabled button does not react.
    EnableWindow(GetDlgItem(dialog, sample::kMore), FALSE);
    ClickControl(dialog, sample::kMore);

    std::vector<Heard> expected = {
        {WM_COMMAND, sample::kLandscape, BN_CLICKED},
        {WM_COMMAND, sample::kLandscape, BN_CLICKED},
        {WM_COMMAND, sample::kWidth, EN_CHANGE},
        {WM_COMMAND, sample::kWidth, EN_CHANGE},
        {WM_COMMAND, sample::kWidth, EN_CHANGE},
        {WM_COMMAND, sample::kWidth, EN_CHANGE},
        {WM_COMMAND, sample::kWidth, EN_KILLFOCUS},
        {WM_COMMAND, sample::kPages, EN_CHANGE},
        {WM_COMMAND, sample::kPages, EN_CHANGE},
        {WM_COMMAND, sample::kPages, EN_KILLFOCUS},
        {WM_COMMAND, sample::kDraft, BN_CLICKED},
        {WM_COMMAND, sample::kList, CBN_SELCHANGE},
    };
    EXPECT_EQ(Commands(), expected);
}

TEST_F(FltkDialog, ScreenshotMatchesTheReference)
{
    HWND dialog = CreateDialogIndirectParamW(nullptr, &sample::kTemplate, nullptr, sample::CALLBACK_SampleProc, 0);
    ASSERT_NE(dialog, nullptr);
    DialogGuard guard{dialog};
    SetDlgItemTextW(dialog, sample::kStaticLeft, u"Connected");
    SendDlgItemMessageW(dialog, sample::kPages, EM_SETREADONLY, TRUE, 0);
    EnableWindow(GetDlgItem(dialog, sample::kMore), FALSE);
    CheckDlgButton(dialog, sample::kDraft, BST_CHECKED);
    SetWindowPos(dialog, nullptr, 40, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ShowWindow(dialog, SW_SHOW);
    // No control keeps the focus, so no focus frame depends on timing.
    SetFocus(nullptr);
    Fl::focus(nullptr);
    auto* window = static_cast<Fl_Window*>(WidgetOf(dialog));
    Settle(25);
    window->redraw();
    Settle(5);

    Surface shot(Capture(window));
    ASSERT_NE(shot, nullptr);
    std::filesystem::path scratch = std::getenv("TARVEL_TEST_SCRATCH") ? std::getenv("TARVEL_TEST_SCRATCH") : ".";
    std::filesystem::create_directories(scratch);
    std::string out = (scratch / "sample-dialog.png").string();
    ASSERT_EQ(cairo_surface_write_to_png(shot.get(), out.c_str()), CAIRO_STATUS_SUCCESS);

    std::filesystem::path data = std::getenv("TARVEL_TEST_DATA") ? std::getenv("TARVEL_TEST_DATA") : "tests/data";
    std::string ref = (data / "ui" / "sample-dialog-ref.png").string();
    Surface expected(cairo_image_surface_create_from_png(ref.c_str()));
    ASSERT_EQ(cairo_surface_status(expected.get()), CAIRO_STATUS_SUCCESS) << "missing reference " << ref;
    EXPECT_EQ(DifferentPixels(shot.get(), expected.get()), 0) << "compare " << out << " with " << ref;
}

void CALLBACK_PressOk(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    HWND active = GetActiveWindow();
    Fl_Widget* ok = WidgetOf(GetDlgItem(active, IDOK));
    if (ok != nullptr) {
        SendButton(ok->window(), ok->x() + 5, ok->y() + 5);
    }
}

TEST_F(FltkDialog, ModalDialogRunsUntilItsProcedureEndsIt)
{
    ASSERT_NE(SetTimer(nullptr, 0, 200, CALLBACK_PressOk), 0u);
    DWORD start = GetTickCount();
    INT_PTR result = DialogBoxIndirectParamW(nullptr, &sample::kTemplate, nullptr, sample::CALLBACK_SampleProc, 0);
    EXPECT_EQ(result, 1);
    EXPECT_GE(GetTickCount() - start, 200u) << "the call blocked until the click";
    EXPECT_EQ(Commands(), (std::vector<Heard>{{WM_COMMAND, IDOK, BN_CLICKED}}));
}

void CALLBACK_PressEscape(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    if (auto* window = static_cast<Fl_Window*>(WidgetOf(GetActiveWindow()))) {
        SendKeys(window, "\x1b");
    }
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
    SendKeys(static_cast<Fl_Window*>(WidgetOf(dialog)), "\x1b");
    EXPECT_TRUE(Commands().empty());
    EXPECT_TRUE(IsWindowVisible(dialog));
}

Fl_Window* g_box = nullptr;
std::string g_boxCaption;

void CALLBACK_DismissBox(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    g_box = Fl::first_window();
    if (g_box != nullptr) {
        g_boxCaption = g_box->label() != nullptr ? g_box->label() : "";
        SendKeys(g_box, "\r");
    }
}

TEST_F(FltkDialog, MessageBoxBlocksUntilDismissedAndShowsItsCaption)
{
    ASSERT_NE(SetTimer(nullptr, 0, 150, CALLBACK_DismissBox), 0u);
    DWORD start = GetTickCount();
    EXPECT_EQ(MessageBoxW(nullptr, u"Cannot establish connection", u"Error printing", MB_OK | MB_ICONEXCLAMATION),
              IDOK);
    EXPECT_GE(GetTickCount() - start, 150u);
    ASSERT_NE(g_box, nullptr) << "the box was a real window while the call waited";
    EXPECT_EQ(g_boxCaption, "Error printing");
    auto record = tarvel::ui::MessageBoxRecord();
    ASSERT_EQ(record.size(), 1u);
    EXPECT_EQ(record[0].text, u"Cannot establish connection");
}

}  // namespace
