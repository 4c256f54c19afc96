// The print, options and progress windows on real FLTK windows, on a
// private Xvfb server: their pixels match the references, and the print
// dialog answers clicks and keys as it does on the headless backend.
#include "device/PrinterDevice.h"
#include "device/PrinterTables.h"
#include "device/ui/DialogTemplates.h"
#include "device/ui/ProgressWindow.h"
#include "device/ui/SetupDialogs.h"
#include "platform/system/System.h"
#include "platform/ui/Window.h"

// GoogleTest comes before Xlib, whose macros (None, Bool) would break it.
#include <gtest/gtest.h>

#include <FL/Fl.H>
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
#include <map>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// Xft and fontconfig keep the fonts they matched until the process ends,
// by design; those are not ours to free.
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\nleak:libXft.so\n";
}

namespace {

using namespace tarvel::device;

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
        while (read(fds[0], &c, 1) == 1 && c != '\n')
            number.push_back(c);
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

// Clicks a control the way a pointer would; the click is handled by
// whatever loop runs next.
void ClickControl(HWND dialog, int id)
{
    Fl_Widget* widget = WidgetOf(GetDlgItem(dialog, id));
    ASSERT_NE(widget, nullptr);
    SendButton(widget->window(), widget->x() + 6, widget->y() + widget->h() / 2);
}

void SendKeys(Fl_Window* window, const std::string& keys)
{
    for (char ch : keys) {
        std::string name = ch == '.' ? "period" : std::string(1, ch);
        KeySym sym = XStringToKeysym(name.c_str());
        for (int type : {KeyPress, KeyRelease}) {
            XEvent e{};
            e.xkey.type = type;
            e.xkey.display = fl_display;
            e.xkey.window = fl_xid(window);
            e.xkey.root = RootWindow(fl_display, fl_screen);
            e.xkey.keycode = XKeysymToKeycode(fl_display, sym);
            e.xkey.same_screen = True;
            e.xkey.time = CurrentTime;
            XSendEvent(fl_display, fl_xid(window), True, type == KeyPress ? KeyPressMask : KeyReleaseMask, &e);
        }
    }
    XFlush(fl_display);
}

// The window's pixels as a cairo image (ARGB32 with opaque alpha).
cairo_surface_t* Capture(Fl_Window* window)
{
    XImage* image = XGetImage(fl_display, fl_xid(window), 0, 0, static_cast<unsigned>(window->w()),
        static_cast<unsigned>(window->h()), AllPlanes, ZPixmap);
    if (image == nullptr)
        return nullptr;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, window->w(), window->h());
    unsigned char* data = cairo_image_surface_get_data(surface);
    int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < window->h(); ++y) {
        auto* row = reinterpret_cast<uint32_t*>(data + y * stride);
        for (int x = 0; x < window->w(); ++x)
            row[x] = 0xFF000000u | static_cast<uint32_t>(XGetPixel(image, x, y) & 0xFFFFFF);
    }
    cairo_surface_mark_dirty(surface);
    XDestroyImage(image);
    return surface;
}

// A still picture of a dialog: no control keeps the focus, so no focus
// frame or text cursor depends on timing.
Surface Photograph(HWND dialog)
{
    auto* window = static_cast<Fl_Window*>(WidgetOf(dialog));
    if (window == nullptr)
        return nullptr;
    SetFocus(nullptr);
    Fl::focus(nullptr);
    Settle(15);
    window->redraw();
    Settle(5);
    return Surface(Capture(window));
}

// Pixels that differ between two images of the same size; -1 when the
// sizes differ.
long DifferentPixels(cairo_surface_t* a, cairo_surface_t* b)
{
    int w = cairo_image_surface_get_width(a);
    int h = cairo_image_surface_get_height(a);
    if (w != cairo_image_surface_get_width(b) || h != cairo_image_surface_get_height(b))
        return -1;
    long count = 0;
    for (int y = 0; y < h; ++y) {
        auto* ra = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(a) + y * cairo_image_surface_get_stride(a));
        auto* rb = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(b) + y * cairo_image_surface_get_stride(b));
        for (int x = 0; x < w; ++x)
            count += (ra[x] & 0xFFFFFF) != (rb[x] & 0xFFFFFF);
    }
    return count;
}

// Saves the shot into the scratch folder and compares it with
// tests/data/device/<name>-ref.png, pixel for pixel.
void ExpectMatchesReference(cairo_surface_t* shot, const std::string& name)
{
    ASSERT_NE(shot, nullptr) << name;
    std::filesystem::path scratch = std::getenv("TARVEL_TEST_SCRATCH") ? std::getenv("TARVEL_TEST_SCRATCH") : ".";
    std::filesystem::create_directories(scratch);
    std::string out = (scratch / (name + ".png")).string();
    ASSERT_EQ(cairo_surface_write_to_png(shot, out.c_str()), CAIRO_STATUS_SUCCESS);
    std::filesystem::path data = std::getenv("TARVEL_TEST_DATA") ? std::getenv("TARVEL_TEST_DATA") : "tests/data";
    std::string ref = (data / "device" / (name + "-ref.png")).string();
    Surface expected(cairo_image_surface_create_from_png(ref.c_str()));
    ASSERT_EQ(cairo_surface_status(expected.get()), CAIRO_STATUS_SUCCESS) << "missing reference " << ref;
    EXPECT_EQ(DifferentPixels(shot, expected.get()), 0) << "compare " << out << " with " << ref;
}

// What the timer-driven user photographed; the steps run inside the
// dialogs' own modal loops, one timer at a time.
std::map<std::string, Surface> g_shots;

int TemplateOf(HWND dialog)
{
    tarvel::ui::WindowRef w = tarvel::ui::FindWindowRef(dialog);
    return w && w->dialogTemplate ? w->dialogTemplate->resourceId : 0;
}

UINT_PTR g_timer = 0;
DWORD g_deadline = 0;

void After(UINT ms, TIMERPROC step)
{
    g_timer = SetTimer(nullptr, 0, ms, step);
}

// The click of the step before may still be on its way on a busy
// machine; a step finds its dialog or waits for the next tick. A dialog
// that never comes fails the test and ends every dialog, instead of
// leaving the modal loops waiting for ever.
bool Arrived(HWND dialog, int templateId)
{
    if (TemplateOf(dialog) == templateId)
        return true;
    if (GetTickCount() - g_deadline < 0x80000000u) {
        ADD_FAILURE() << "dialog " << templateId << " did not come";
        EndDialog(dialog, -2);
    }
    return false;
}

void CancelPrintDialog(HWND, UINT, UINT_PTR id, DWORD)
{
    HWND dialog = GetActiveWindow();
    if (!Arrived(dialog, kPrintDialogId))
        return;
    KillTimer(nullptr, id);
    ClickControl(dialog, IDCANCEL);
}

void PhotographOptions(HWND, UINT, UINT_PTR id, DWORD)
{
    HWND dialog = GetActiveWindow();
    if (!Arrived(dialog, kOptionsDialogId))
        return;
    KillTimer(nullptr, id);
    g_shots["options-dialog"] = Photograph(dialog);
    After(100, CancelPrintDialog);
    ClickControl(dialog, IDOK);
}

void PhotographPrintThenOpenOptions(HWND, UINT, UINT_PTR id, DWORD)
{
    HWND dialog = GetActiveWindow();
    if (!Arrived(dialog, kPrintDialogId))
        return;
    KillTimer(nullptr, id);
    g_shots["print-dialog"] = Photograph(dialog);
    After(150, PhotographOptions);
    ClickControl(dialog, kMoreButton);
}

class FltkDialogs : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tarvel::ui::SelectBackend(tarvel::ui::Backend::Fltk)) << "FLTK must work on the test server";
        SHInitExtraControls();
        device.settings = PrinterSettings{};
        Papers()[kCustomPaper].width = 0;
        Papers()[kCustomPaper].height = 0;
        g_shots.clear();
        g_deadline = GetTickCount() + 10000;
        request.lStructSize = sizeof request;
    }

    void TearDown() override { KillTimer(nullptr, g_timer); }

    PrinterDevice device;
    PRINTDLGW request{};
};

TEST_F(FltkDialogs, PrintAndOptionsDialogsMatchTheirReferences)
{
    request.Flags = PD_INHUNDREDTHSOFMILLIMETERS;
    After(300, PhotographPrintThenOpenOptions);
    EXPECT_EQ(PrintDialog(device, &request), 0) << "the script ends with Cancel";
    ExpectMatchesReference(g_shots["print-dialog"].get(), "print-dialog");
    ExpectMatchesReference(g_shots["options-dialog"].get(), "options-dialog");
}

// Picks Custom, types a width and confirms, through X events only.
void TypeCustomWidthAndConfirm(HWND, UINT, UINT_PTR id, DWORD)
{
    HWND dialog = GetActiveWindow();
    if (!Arrived(dialog, kPrintDialogId))
        return;
    KillTimer(nullptr, id);
    auto* paper = static_cast<Fl_Choice*>(WidgetOf(GetDlgItem(dialog, kPaperList)));
    ASSERT_NE(paper, nullptr);
    // The list's pop-up menu runs a nested loop of its own; the choice is
    // made on the widget and travels back as the selection change.
    paper->value(kCustomPaper);
    paper->do_callback();
    Settle();
    ClickControl(dialog, kLandscapeButton);
    Settle();
    auto* width = static_cast<Fl_Input*>(WidgetOf(GetDlgItem(dialog, kWidthField)));
    ClickControl(dialog, kWidthField);
    Settle();
    width->value("");
    SendKeys(width->window(), "12.5");
    Settle();
    ClickControl(dialog, IDOK);
}

TEST_F(FltkDialogs, PrintDialogTakesTheCustomSizeTypedIntoItsRealField)
{
    request.Flags = PD_INHUNDREDTHSOFMILLIMETERS;
    After(300, TypeCustomWidthAndConfirm);
    ASSERT_EQ(PrintDialog(device, &request), 1);
    EXPECT_EQ(device.settings.paperSize, kCustomPaper);
    EXPECT_EQ(device.settings.portrait, 0);
    EXPECT_EQ(Papers()[kCustomPaper].height, 12500) << "the width of a landscape page is the paper's height";
    EXPECT_EQ(request.Flags & PD_LANDSCAPE, static_cast<DWORD>(PD_LANDSCAPE));
    EXPECT_NE(tarvel::render::PrinterDc(device.recording), nullptr);
}

class FixedPort final : public tarvel::ports::OutputPort {
public:
    ~FixedPort() override { StopWriter(); }
    int Open() override
    {
        BeginOpen(false);
        return StartWriter(4096, {4096, 5}) ? 0 : -6;
    }
    void Close() override { SetState(tarvel::ports::PortState::Closed); }
    int Write(const std::uint8_t* bytes, int length) override { return QueueBytes(bytes, length, 5); }

protected:
    int Transmit(const std::uint8_t*, int count) override { return count; }
    void ReleaseTransport() override {}
};

TEST_F(FltkDialogs, ProgressWindowMatchesItsReferenceWhileSending)
{
    auto port = std::make_unique<FixedPort>();
    ASSERT_EQ(port->Open(), 0);
    std::vector<std::uint8_t> bytes(12345, 0x1B);
    ASSERT_EQ(port->Write(bytes.data(), static_cast<int>(bytes.size())), 12345);
    ASSERT_EQ(port->Flush(), 1);
    device.port = std::move(port);

    HWND window = CreateProgressWindow(device, nullptr);
    ASSERT_NE(window, nullptr);
    SetWindowPos(window, nullptr, 40, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ShowWindow(window, SW_SHOW);
    // The window's own timer brings the port's news.
    DWORD start = GetTickCount();
    while (GetTickCount() - start < kProgressTimerMs + 200) {
        Fl::wait(0.02);
        tarvel::ui::PumpAllMessages();
    }
    Surface shot = Photograph(window);
    ExpectMatchesReference(shot.get(), "progress-window");

    ClickControl(window, IDCANCEL);
    Settle();
    tarvel::ui::PumpAllMessages();
    EXPECT_EQ(cancelRequested.load(), 1) << "the real button cancels the job";
    DestroyWindow(window);
    cancelRequested = 0;
}

}  // namespace
