#include "XvfbSession.h"

#include <FL/Fl.H>
#include <FL/x.H>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

// Xft and fontconfig keep the fonts they matched until the process ends,
// by design; those are not ours to free.
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\nleak:libXft.so\n";
}

namespace tarvel::test {

namespace {

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
        auto* row = reinterpret_cast<std::uint32_t*>(data + y * stride);
        for (int x = 0; x < window->w(); ++x)
            row[x] = 0xFF000000u | static_cast<std::uint32_t>(XGetPixel(image, x, y) & 0xFFFFFF);
    }
    cairo_surface_mark_dirty(surface);
    XDestroyImage(image);
    return surface;
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
        auto* ra = reinterpret_cast<std::uint32_t*>(cairo_image_surface_get_data(a) + y * cairo_image_surface_get_stride(a));
        auto* rb = reinterpret_cast<std::uint32_t*>(cairo_image_surface_get_data(b) + y * cairo_image_surface_get_stride(b));
        for (int x = 0; x < w; ++x)
            count += (ra[x] & 0xFFFFFF) != (rb[x] & 0xFFFFFF);
    }
    return count;
}

std::filesystem::path FromEnvironment(const char* name, const char* fallback)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : fallback;
}

}  // namespace

const ::testing::Environment* UsePrivateXvfb()
{
    return ::testing::AddGlobalTestEnvironment(new XvfbServer);
}

Fl_Widget* WidgetOf(HWND window)
{
    tarvel::ui::WindowRef w = tarvel::ui::FindWindowRef(window);
    return w ? static_cast<Fl_Widget*>(w->backendData) : nullptr;
}

void Settle(int rounds)
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
    ASSERT_NE(widget, nullptr) << "control " << id;
    SendButton(widget->window(), widget->x() + 6, widget->y() + widget->h() / 2);
}

void SendKeys(Fl_Window* window, const std::string& keys)
{
    for (char ch : keys) {
        std::string name = ch == '\r' ? "Return" : ch == '\x1b' ? "Escape"
            : ch == '.'                                         ? "period"
                                                                : std::string(1, ch);
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
}

Surface Photograph(HWND window)
{
    auto* shown = static_cast<Fl_Window*>(WidgetOf(window));
    if (shown == nullptr)
        return nullptr;
    // On a busy machine the window's activation can hand the focus back to
    // its first control while we settle; the references show no focus, so
    // take it away again until it stays away.
    for (int round = 0; round < 10; ++round) {
        SetFocus(nullptr);
        Fl::focus(nullptr);
        Settle(15);
        shown->redraw();
        Settle(5);
        if (Fl::focus() == nullptr)
            break;
    }
    return Surface(Capture(shown));
}

void ExpectMatchesReference(cairo_surface_t* shot, const std::string& area, const std::string& name)
{
    ASSERT_NE(shot, nullptr) << name;
    std::filesystem::path scratch = FromEnvironment("TARVEL_TEST_SCRATCH", ".");
    std::filesystem::create_directories(scratch);
    std::string out = (scratch / (name + ".png")).string();
    ASSERT_EQ(cairo_surface_write_to_png(shot, out.c_str()), CAIRO_STATUS_SUCCESS);
    std::string ref = (FromEnvironment("TARVEL_TEST_DATA", "tests/data") / area / (name + "-ref.png")).string();
    Surface expected(cairo_image_surface_create_from_png(ref.c_str()));
    ASSERT_EQ(cairo_surface_status(expected.get()), CAIRO_STATUS_SUCCESS) << "missing reference " << ref;
    EXPECT_EQ(DifferentPixels(shot, expected.get()), 0) << "compare " << out << " with " << ref;
}

}  // namespace tarvel::test
