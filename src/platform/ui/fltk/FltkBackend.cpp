// The backend with real windows: FLTK widgets laid out from the templates.
//
// FLTK calls its callbacks from inside Fl::check() and Fl::wait(). They do
// not call dialog procedures directly; they post messages to the control,
// so user actions reach the procedure through DispatchMessageW like every
// other message, and a message loop that filters by window (the ports'
// waits) decides which of them run.
#include "platform/system/System.h"
#include "platform/system/Utf16.h"
#include "platform/ui/Backend.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Return_Button.H>
#include <FL/Fl_Round_Button.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <X11/Xlib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

namespace tarvel::ui {

namespace {

// Private messages from the widgets to their controls; the range above
// 0xC000 is never used by the messages the procedures know.
constexpr UINT kUserClicked = 0xC101;
constexpr UINT kUserSelected = 0xC102;
constexpr UINT kUserEdited = 0xC103;
constexpr UINT kUserFocused = 0xC104;

// Dialogs are laid out at 96 pixels per inch whatever the X server says, so
// the same template gives the same pixels on every display.
constexpr double kPixelsPerPoint = 96.0 / 72.0;
constexpr Fl_Font kDialogFont = FL_HELVETICA;

int FontPixels(const DLGTEMPLATEDEF& t)
{
    int points = t.fontPointSize > 0 && t.fontPointSize < 72 ? t.fontPointSize : 8;
    return static_cast<int>(std::lround(points * kPixelsPerPoint));
}

// FLTK reads '@' as a symbol in labels; the handheld did not.
std::string LabelText(const std::u16string& text)
{
    std::string out;
    for (char c : platform::Utf16ToUtf8Replacing(text)) {
        out.push_back(c);
        if (c == '@') {
            out.push_back('@');
        }
    }
    return out;
}

// Menu entries treat '/', '\\', '&' and '_' specially ("Epson ESC/P 2").
std::string MenuText(const std::u16string& text)
{
    std::string out;
    for (char c : LabelText(text)) {
        if (c == '/' || c == '\\' || c == '_') {
            out.push_back('\\');
        } else if (c == '&') {
            out.push_back('&');
        }
        out.push_back(c);
    }
    return out;
}

// Set while the window layer follows a focus change FLTK already made.
bool g_focusFromWidgets = false;

HWND HandleOf(Fl_Widget* widget)
{
    return static_cast<HWND>(widget->user_data());
}

void PostFromWidget(Fl_Widget* widget, UINT message, WPARAM wParam)
{
    PostMessageW(HandleOf(widget), message, wParam, 0);
}

// An edit field that reports focus changes and, for digits-only fields,
// refuses other keys.
class EditField : public Fl_Input {
public:
    EditField(int x, int y, int w, int h, bool digitsOnly)
        : Fl_Input(x, y, w, h)
        , digitsOnly_(digitsOnly)
    {
    }

    int handle(int event) override
    {
        if (digitsOnly_ && (event == FL_KEYBOARD || event == FL_PASTE)) {
            const char* text = Fl::event_text();
            bool printable = Fl::event_length() > 0;
            for (int i = 0; printable && i < Fl::event_length(); ++i) {
                if (text[i] < '0' || text[i] > '9') {
                    if (static_cast<unsigned char>(text[i]) >= 0x20) {
                        return 1;  // swallowed, as the handheld beeps and drops it
                    }
                }
            }
        }
        int handled = Fl_Input::handle(event);
        if (event == FL_FOCUS) {
            PostFromWidget(this, kUserFocused, 1);
        } else if (event == FL_UNFOCUS) {
            PostFromWidget(this, kUserFocused, 0);
        }
        return handled;
    }

private:
    bool digitsOnly_;
};

// A group box: an etched frame with its title breaking the top line.
class GroupFrame : public Fl_Box {
public:
    using Fl_Box::Fl_Box;

    void draw() override
    {
        fl_font(labelfont(), labelsize());
        int textHeight = fl_height();
        int top = y() + textHeight / 2;
        fl_draw_box(FL_ENGRAVED_FRAME, x(), top, w(), h() - (top - y()), color());
        if (label() != nullptr && *label() != '\0') {
            int textWidth = 0, unused = 0;
            fl_measure(label(), textWidth, unused, 0);
            int tx = x() + 6;
            fl_color(parent() != nullptr ? parent()->color() : FL_BACKGROUND_COLOR);
            fl_rectf(tx - 2, y(), textWidth + 4, textHeight);
            fl_color(active_r() ? labelcolor() : fl_inactive(labelcolor()));
            fl_draw(label(), tx, y() + fl_height() - fl_descent());
        }
    }
};

class DialogWindow : public Fl_Double_Window {
public:
    DialogWindow(int x, int y, int w, int h, HWND dialog)
        : Fl_Double_Window(x, y, w, h)
        , dialog_(dialog)
    {
        callback(&DialogWindow::Closed, nullptr);
    }

private:
    // FLTK calls this for the close box and for Escape. Escape is the
    // Cancel button's key, pressed only while that button can be; the
    // close box leaves the decision to the dialog procedure.
    static void Closed(Fl_Widget* widget, void*)
    {
        HWND dialog = static_cast<DialogWindow*>(widget)->dialog_;
        if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) {
            HWND cancel = GetDlgItem(dialog, IDCANCEL);
            if (cancel == nullptr || IsWindowEnabled(cancel)) {
                PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
            }
            return;
        }
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }

    HWND dialog_;
};

void Clicked(Fl_Widget* widget, void*)
{
    PostFromWidget(widget, kUserClicked, 0);
}

void Selected(Fl_Widget* widget, void*)
{
    PostFromWidget(widget, kUserSelected, static_cast<WPARAM>(static_cast<Fl_Choice*>(widget)->value()));
}

void Edited(Fl_Widget* widget, void*)
{
    PostFromWidget(widget, kUserEdited, 0);
}

Fl_Widget* MakeWidget(const Window& c, int x, int y, int w, int h, int fontPixels)
{
    Fl_Widget* widget = nullptr;
    switch (c.controlKind) {
    case DLGC_PUSHBUTTON:
        widget = new Fl_Button(x, y, w, h);
        widget->callback(Clicked);
        break;
    case DLGC_DEFPUSHBUTTON:
        widget = new Fl_Return_Button(x, y, w, h);
        widget->callback(Clicked);
        break;
    case DLGC_AUTORADIOBUTTON:
    case DLGC_AUTOCHECKBOX: {
        // Both toggle in FLTK; the window layer keeps the radio groups.
        Fl_Button* button = c.controlKind == DLGC_AUTOCHECKBOX ? static_cast<Fl_Button*>(new Fl_Check_Button(x, y, w, h))
                                                               : new Fl_Round_Button(x, y, w, h);
        button->type(FL_TOGGLE_BUTTON);
        button->callback(Clicked);
        widget = button;
        break;
    }
    case DLGC_EDIT: {
        auto* edit = new EditField(x, y, w, h, (c.style & ES_NUMBER) != 0);
        edit->when(FL_WHEN_CHANGED);
        edit->callback(Edited);
        edit->textfont(kDialogFont);
        edit->textsize(fontPixels);
        if ((c.style & WS_BORDER) == 0) {
            edit->box(FL_FLAT_BOX);
        }
        widget = edit;
        break;
    }
    case DLGC_LTEXT:
    case DLGC_CTEXT:
    case DLGC_RTEXT: {
        auto* box = new Fl_Box(x, y, w, h);
        Fl_Align horizontal = c.controlKind == DLGC_LTEXT ? FL_ALIGN_LEFT
            : c.controlKind == DLGC_RTEXT                 ? FL_ALIGN_RIGHT
                                                          : FL_ALIGN_CENTER;
        // A one-line text is not wrapped: our fonts run a little wider than
        // the handheld's, and a label cut in two reads worse than one that
        // reaches a few pixels past its box.
        fl_font(kDialogFont, fontPixels);
        Fl_Align wrap = h >= 2 * fl_height() ? FL_ALIGN_WRAP : 0;
        box->align(FL_ALIGN_INSIDE | FL_ALIGN_TOP | wrap | horizontal);
        widget = box;
        break;
    }
    case DLGC_GROUPBOX:
        widget = new GroupFrame(x, y, w, h);
        break;
    case DLGC_DROPDOWNLIST: {
        // The template's height includes the dropped list; the closed list
        // is one line high, as on the handheld.
        auto* choice = new Fl_Choice(x, y, w, std::min(h, fontPixels + 10));
        choice->callback(Selected);
        choice->when(FL_WHEN_CHANGED);
        choice->textfont(kDialogFont);
        choice->textsize(fontPixels);
        widget = choice;
        break;
    }
    default:
        return nullptr;
    }
    widget->labelfont(kDialogFont);
    widget->labelsize(fontPixels);
    widget->user_data(c.handle);
    return widget;
}

void SyncControl(Window& c, Fl_Widget* widget)
{
    if (c.enabled && !widget->active()) {
        widget->activate();
    } else if (!c.enabled && widget->active()) {
        widget->deactivate();
    }
    switch (c.controlKind) {
    case DLGC_EDIT: {
        auto* edit = static_cast<Fl_Input*>(widget);
        std::string text = platform::Utf16ToUtf8Replacing(c.text);
        // Only a real change is written, so the caret of a field being
        // typed into stays where it is.
        if (text != edit->value()) {
            edit->value(text.c_str());
        }
        edit->readonly(c.readOnly ? 1 : 0);
        edit->color(c.readOnly || !c.enabled ? FL_BACKGROUND_COLOR : FL_BACKGROUND2_COLOR);
        break;
    }
    case DLGC_DROPDOWNLIST: {
        auto* choice = static_cast<Fl_Choice*>(widget);
        bool same = choice->size() - 1 == static_cast<int>(c.entries.size());
        for (std::size_t i = 0; same && i < c.entries.size(); ++i) {
            const char* label = choice->text(static_cast<int>(i));
            same = label != nullptr && LabelText(c.entries[i]) == label;
        }
        if (!same) {
            choice->clear();
            for (const std::u16string& entry : c.entries) {
                choice->add(MenuText(entry).c_str());
            }
        }
        if (c.selection < 0) {
            choice->value(static_cast<const Fl_Menu_Item*>(nullptr));
        } else {
            choice->value(c.selection);
        }
        break;
    }
    case DLGC_AUTORADIOBUTTON:
    case DLGC_AUTOCHECKBOX:
        static_cast<Fl_Button*>(widget)->value(c.check == BST_CHECKED ? 1 : 0);
        widget->copy_label(LabelText(c.text).c_str());
        break;
    default:
        widget->copy_label(LabelText(c.text).c_str());
        break;
    }
    if (c.visible) {
        widget->show();
    } else {
        widget->hide();
    }
    widget->redraw();
}

class FltkBackend final : public DisplayBackend {
public:
    Backend Kind() const override { return Backend::Fltk; }

    void BaseUnits(const DLGTEMPLATEDEF& t, int& unitX, int& unitY) override
    {
        // The platform's rule: the average width of the alphabet, rounded,
        // and the font's line height.
        fl_font(kDialogFont, FontPixels(t));
        double width = fl_width("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
        unitX = std::max(1, static_cast<int>((width / 26.0 + 1.0) / 2.0));
        unitY = std::max(1, fl_height());
    }

    SIZE ScreenSize() override { return SIZE{Fl::w(), Fl::h()}; }

    // Full screen on a desktop would hide everything else behind a small
    // form; the dialog keeps its template size.
    bool HonoursFullScreen() const override { return false; }

    void DialogCreated(Window& dialog) override
    {
        int fontPixels = FontPixels(*dialog.dialogTemplate);
        auto* window = new DialogWindow(dialog.rect.left, dialog.rect.top, dialog.rect.right - dialog.rect.left,
                                        dialog.rect.bottom - dialog.rect.top, dialog.handle);
        window->copy_label(platform::Utf16ToUtf8Replacing(dialog.text).c_str());
        window->labelfont(kDialogFont);
        for (HWND h : dialog.children) {
            WindowRef c = FindWindowRef(h);
            if (!c || c->kind != WindowKind::Control) {
                continue;
            }
            Fl_Widget* widget = MakeWidget(*c, c->rect.left - dialog.rect.left, c->rect.top - dialog.rect.top,
                                           c->rect.right - c->rect.left, c->rect.bottom - c->rect.top, fontPixels);
            c->backendData = widget;
            SyncControl(*c, widget);
        }
        window->end();
        window->hide();
        dialog.backendData = window;
    }

    void WindowChanged(Window& w) override
    {
        if (w.backendData == nullptr) {
            return;
        }
        if (w.kind == WindowKind::Control) {
            SyncControl(w, static_cast<Fl_Widget*>(w.backendData));
            return;
        }
        auto* window = static_cast<DialogWindow*>(w.backendData);
        window->copy_label(platform::Utf16ToUtf8Replacing(w.text).c_str());
        // X keeps positions and sizes in 16 bits.
        auto clampPosition = [](LONG v) { return static_cast<int>(std::clamp<LONG>(v, -32768, 32767)); };
        auto clampSize = [](LONG v) { return static_cast<int>(std::clamp<LONG>(v, 1, 32767)); };
        window->resize(clampPosition(w.rect.left), clampPosition(w.rect.top), clampSize(w.rect.right - w.rect.left),
                       clampSize(w.rect.bottom - w.rect.top));
        if (w.visible && !window->shown()) {
            if (w.modal) {
                window->set_modal();
            } else if (w.owner != nullptr) {
                window->set_non_modal();
            }
            window->show();
        } else if (!w.visible && window->shown()) {
            window->hide();
        }
    }

    void FocusChanged(HWND window) override
    {
        if (g_focusFromWidgets) {
            return;
        }
        WindowRef w = FindWindowRef(window);
        if (w && w->kind == WindowKind::Control && w->backendData != nullptr) {
            static_cast<Fl_Widget*>(w->backendData)->take_focus();
        } else if (window == nullptr && Fl::focus() != nullptr) {
            Fl::focus(nullptr);
        }
    }

    void WindowDestroyed(Window& w) override
    {
        if (w.backendData == nullptr) {
            return;
        }
        if (w.kind == WindowKind::Dialog) {
            auto* window = static_cast<DialogWindow*>(w.backendData);
            window->hide();
            // Deleting a window deletes its widgets; the controls were
            // removed from the table before the dialog.
            Fl::delete_widget(window);
        }
        w.backendData = nullptr;
    }

    void RunModal(const WindowRef& dialog) override
    {
        HWND handle = dialog->handle;
        while (FindWindowRef(handle) && !dialog->ended) {
            Fl::wait(MillisecondsToNextTimer(50) / 1000.0);
            PumpThreadMessages();
        }
    }

    int ShowMessageBox(HWND, const std::u16string& text, const std::u16string& caption, UINT type) override;

    void Poll() override { Fl::check(); }

    void WaitForInput(DWORD milliseconds) override { Fl::wait(milliseconds / 1000.0); }
};

// What the user's actions do once their message is dispatched.
LRESULT UserAction(const WindowRef& control, UINT message, WPARAM wParam)
{
    auto* widget = static_cast<Fl_Widget*>(control->backendData);
    switch (message) {
    case kUserClicked:
        if (!ClickControl(control) && FindWindowRef(control->handle)) {
            CurrentBackend().WindowChanged(*control);  // undo FLTK's own toggle
        }
        return 0;
    case kUserSelected: {
        MoveFocus(control->handle);
        auto index = static_cast<int>(static_cast<LONG_PTR>(wParam));
        if (FindWindowRef(control->handle) && index >= 0 && static_cast<std::size_t>(index) < control->entries.size() && control->selection != index) {
            control->selection = index;
            NotifyParent(*control, CBN_SELCHANGE);
        }
        return 0;
    }
    case kUserEdited:
        if (widget != nullptr) {
            control->text = platform::Utf8ToUtf16Replacing(static_cast<Fl_Input*>(widget)->value());
            NotifyParent(*control, EN_CHANGE);
        }
        return 0;
    case kUserFocused: {
        // Focus messages may arrive after the focus moved on again, so the
        // widget that holds it now decides, and the window layer follows
        // without pushing the change back into FLTK.
        Fl_Widget* holder = Fl::focus();
        WindowRef target = holder != nullptr ? FindWindowRef(HandleOf(holder)) : nullptr;
        HWND now = target && target->kind == WindowKind::Control ? target->handle : nullptr;
        if (FocusWindow() != now) {
            g_focusFromWidgets = true;
            MoveFocus(now);
            g_focusFromWidgets = false;
        }
        return 0;
    }
    default:
        return 0;
    }
}

// Message boxes: the icon, the text and one OK button, modal, pumping the
// thread's timers while they wait.
int FltkBackend::ShowMessageBox(HWND, const std::u16string& text, const std::u16string& caption, UINT type)
{
    const int fontPixels = 12;
    std::string body = LabelText(text);
    fl_font(kDialogFont, fontPixels);
    int textWidth = 360, textHeight = 0;
    fl_measure(body.c_str(), textWidth, textHeight, 0);
    textWidth = std::max(textWidth, 160);
    textHeight = std::max(textHeight, 40);
    int width = textWidth + 90;
    int height = textHeight + 70;
    Fl_Double_Window box((Fl::w() - width) / 2, (Fl::h() - height) / 2, width, height);
    box.copy_label(platform::Utf16ToUtf8Replacing(caption).c_str());
    const char* symbol = nullptr;
    Fl_Color symbolColor = FL_BLACK;
    switch (type & MB_ICONMASK) {
    case MB_ICONEXCLAMATION:
        symbol = "!";
        symbolColor = fl_rgb_color(200, 140, 0);
        break;
    case MB_ICONHAND:
        symbol = "X";
        symbolColor = FL_RED;
        break;
    case MB_ICONQUESTION:
        symbol = "?";
        symbolColor = FL_BLUE;
        break;
    case MB_ICONASTERISK:
        symbol = "i";
        symbolColor = FL_BLUE;
        break;
    default:
        break;
    }
    if (symbol != nullptr) {
        auto* icon = new Fl_Box(20, 15, 40, 40, symbol);
        icon->box(FL_THIN_UP_BOX);
        icon->labelfont(FL_HELVETICA_BOLD);
        icon->labelsize(28);
        icon->labelcolor(symbolColor);
    }
    auto* message = new Fl_Box(75, 15, textWidth, textHeight);
    message->copy_label(body.c_str());
    message->labelfont(kDialogFont);
    message->labelsize(fontPixels);
    message->align(FL_ALIGN_INSIDE | FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_WRAP);
    auto* ok = new Fl_Return_Button((width - 80) / 2, height - 40, 80, 28, "OK");
    ok->labelfont(kDialogFont);
    ok->labelsize(fontPixels);
    bool done = false;
    ok->callback([](Fl_Widget*, void* flag) { *static_cast<bool*>(flag) = true; }, &done);
    box.callback([](Fl_Widget*, void* flag) { *static_cast<bool*>(flag) = true; }, &done);
    box.end();
    box.set_modal();
    box.show();
    while (!done && box.shown()) {
        Fl::wait(MillisecondsToNextTimer(50) / 1000.0);
        PumpThreadMessages();
    }
    box.hide();
    Fl::check();
    return IDOK;
}

}  // namespace

LRESULT FltkUserAction(const WindowRef& control, UINT message, WPARAM wParam)
{
    return UserAction(control, message, wParam);
}

bool IsFltkUserAction(UINT message)
{
    return message >= kUserClicked && message <= kUserFocused;
}

std::unique_ptr<DisplayBackend> MakeFltkBackend()
{
    // FLTK ends the process when it cannot open the display, so the display
    // is tried first with Xlib.
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || *name == '\0') {
        return nullptr;
    }
    Display* display = XOpenDisplay(name);
    if (display == nullptr) {
        return nullptr;
    }
    XCloseDisplay(display);
    fl_open_display();
    Fl::visual(FL_RGB);
    return std::make_unique<FltkBackend>();
}

}  // namespace tarvel::ui
