// Windows, dialogs, controls, timers, the message pump and message boxes.
//
// The print job, its progress window and the setup dialogs talk to the
// window system through these calls, spelled as the handheld spelled them.
// Two backends answer them: a headless one (no display; message boxes are
// recorded, dialogs are answered by a responder) and, where it was built
// and a display is reachable, one with real FLTK windows. Everything here
// runs on the application's thread; windows and timers belong to it.
#ifndef TARVEL_UI_H
#define TARVEL_UI_H

#include <tarvel/win32.h>

#if defined(__cplusplus)
extern "C" {
#endif

// Constants the window layer needs beyond the shared set.
#ifndef WM_CREATE
#define WM_CREATE 0x0001
#endif
#ifndef WM_GETTEXTLENGTH
#define WM_GETTEXTLENGTH 0x000E
#endif
#ifndef WM_ENABLE
#define WM_ENABLE 0x000A
#endif
#ifndef EN_CHANGE
#define EN_CHANGE 0x0300
#endif
#ifndef EN_SETFOCUS
#define EN_SETFOCUS 0x0100
#endif
#ifndef CB_GETLBTEXT
#define CB_GETLBTEXT 0x0148
#endif
#ifndef CB_GETLBTEXTLEN
#define CB_GETLBTEXTLEN 0x0149
#endif
#ifndef CB_FINDSTRINGEXACT
#define CB_FINDSTRINGEXACT 0x0158
#endif
#ifndef BM_CLICK
#define BM_CLICK 0x00F5
#endif
#ifndef BST_INDETERMINATE
#define BST_INDETERMINATE 2
#endif
#ifndef IDYES
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7
#endif
#ifndef MB_ICONHAND
#define MB_OKCANCEL 0x00000001
#define MB_ICONHAND 0x00000010
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONQUESTION 0x00000020
#define MB_ICONASTERISK 0x00000040
#define MB_ICONINFORMATION MB_ICONASTERISK
#define MB_ICONMASK 0x000000F0
#define MB_TYPEMASK 0x0000000F
#endif
#ifndef SW_SHOWNORMAL
#define SW_SHOWNORMAL 1
#endif
#ifndef SWP_NOACTIVATE
#define SWP_NOACTIVATE 0x0010
#define SWP_SHOWWINDOW 0x0040
#define SWP_HIDEWINDOW 0x0080
#endif
#ifndef HWND_TOP
#define HWND_TOP ((HWND)0)
#endif

// Window styles the layer understands.
#ifndef WS_CHILD
#define WS_OVERLAPPED 0x00000000u
#define WS_POPUP 0x80000000u
#define WS_CHILD 0x40000000u
#define WS_VISIBLE 0x10000000u
#define WS_DISABLED 0x08000000u
#define WS_CAPTION 0x00C00000u
#define WS_BORDER 0x00800000u
#define WS_SYSMENU 0x00080000u
#define WS_GROUP 0x00020000u
#define WS_TABSTOP 0x00010000u
#endif
#ifndef ES_AUTOHSCROLL
#define ES_AUTOHSCROLL 0x0080
#define ES_READONLY 0x0800
#define ES_NUMBER 0x2000
#endif
#ifndef DS_MODALFRAME
#define DS_MODALFRAME 0x80
#endif

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Control kinds of a dialog template. The kind says what the control is;
// the style adds what Win32 adds with style bits (WS_BORDER, ES_NUMBER,
// ES_AUTOHSCROLL, ES_READONLY, WS_DISABLED, WS_GROUP).
#define DLGC_PUSHBUTTON 1
#define DLGC_DEFPUSHBUTTON 2
#define DLGC_AUTORADIOBUTTON 3
#define DLGC_AUTOCHECKBOX 4
#define DLGC_EDIT 5
#define DLGC_LTEXT 6
#define DLGC_CTEXT 7
#define DLGC_RTEXT 8
#define DLGC_GROUPBOX 9
#define DLGC_DROPDOWNLIST 10

// One control of a template: position and size in dialog units. Controls
// without an id use IDC_STATIC. Consecutive automatic radio buttons form
// one group; WS_GROUP on a radio button starts a new one.
typedef struct tagDLGITEMDEF {
    int id;
    UINT kind;
    LPCWSTR text;
    short x;
    short y;
    short cx;
    short cy;
    DWORD style;
} DLGITEMDEF;

// A dialog template as data: its resource number (for FindResourceW and for
// responders telling dialogs apart), caption, size in dialog units, the
// font the units derive from, and its controls in tab order.
typedef struct tagDLGTEMPLATEDEF {
    int resourceId;
    LPCWSTR caption;
    short cx;
    short cy;
    LPCWSTR fontFace;
    short fontPointSize;
    DWORD style;
    const DLGITEMDEF* items;
    int itemCount;
} DLGTEMPLATEDEF;

#ifndef TARVEL_HMENU_DEFINED
#define TARVEL_HMENU_DEFINED
TARVEL_DECLARE_HANDLE(HMENU);
#endif
typedef struct HRSRC__* HRSRC;
typedef void* HGLOBAL;
#ifndef RT_DIALOG
#define RT_DIALOG ((LPCWSTR)(UINT_PTR)5)
#endif
#ifndef MAKEINTRESOURCEW
#define MAKEINTRESOURCEW(i) ((LPWSTR)(UINT_PTR)((WORD)(i)))
#endif

// The record that the shell's dialog initialisation takes.
typedef struct tagSHINITDLGINFO {
    DWORD dwMask;
    HWND hDlg;
    DWORD dwFlags;
} SHINITDLGINFO;
#define SHIDIM_FLAGS 0x0001
#define SHIDIF_DONEBUTTON 0x0001
#define SHIDIF_SIZEDLG 0x0002
#define SHIDIF_SIZEDLGFULLSCREEN 0x0004
#define SHIDIF_SIPDOWN 0x0008
#define SHIDIF_FULLSCREENNOMENUBAR 0x0010

// Templates: a template registered for a module is found again by number.
// FindResourceW returns null for an unknown module, number or type;
// LoadResource returns the DLGTEMPLATEDEF* (null for a null resource).
TARVEL_API HRSRC FindResourceW(HINSTANCE module, LPCWSTR name, LPCWSTR type);
TARVEL_API HGLOBAL LoadResource(HINSTANCE module, HRSRC resource);
TARVEL_API LPVOID LockResource(HGLOBAL data);

// Dialogs. The modal call returns what the procedure passed to EndDialog,
// or -1 when the template is null or invalid. The modeless call returns the
// dialog window (hidden unless the template has WS_VISIBLE), null on failure.
TARVEL_API INT_PTR DialogBoxIndirectParamW(HINSTANCE instance, const DLGTEMPLATEDEF* dialogTemplate,
                                           HWND owner, DLGPROC procedure, LPARAM initParam);
TARVEL_API HWND CreateDialogIndirectParamW(HINSTANCE instance, const DLGTEMPLATEDEF* dialogTemplate,
                                           HWND owner, DLGPROC procedure, LPARAM initParam);
// FALSE for a window that is not a live dialog.
TARVEL_API BOOL EndDialog(HWND dialog, INT_PTR result);
TARVEL_API BOOL DestroyWindow(HWND window);

// Controls and window texts. Texts are copied; a null handle, a stale one
// or an unknown control id gives the failure value (0, null or FALSE).
TARVEL_API HWND GetDlgItem(HWND dialog, int id);
TARVEL_API int GetDlgCtrlID(HWND control);
TARVEL_API LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
TARVEL_API LRESULT SendDlgItemMessageW(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);
TARVEL_API BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
TARVEL_API BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text);
// Copies at most size - 1 characters and a terminator; returns the count copied.
TARVEL_API UINT GetDlgItemTextW(HWND dialog, int id, LPWSTR buffer, int size);
TARVEL_API BOOL SetWindowTextW(HWND window, LPCWSTR text);
TARVEL_API int GetWindowTextW(HWND window, LPWSTR buffer, int size);
TARVEL_API int GetWindowTextLengthW(HWND window);
// Returns whether the window was disabled before the call.
TARVEL_API BOOL EnableWindow(HWND window, BOOL enable);
TARVEL_API BOOL IsWindowEnabled(HWND window);
TARVEL_API BOOL IsWindow(HWND window);
TARVEL_API BOOL IsWindowVisible(HWND window);
TARVEL_API BOOL CheckDlgButton(HWND dialog, int id, UINT check);
TARVEL_API UINT IsDlgButtonChecked(HWND dialog, int id);
// "SIPPREF" exists once the shell's extra controls are initialised (null
// before); any other class makes a plain window that keeps its text and
// geometry (an application's main window, say). Controls come from
// templates. Null for a stale parent, a child without one, or a negative size.
TARVEL_API HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style,
                                int x, int y, int width, int height, HWND parent, HMENU menuOrId,
                                HINSTANCE instance, LPVOID param);
TARVEL_API HWND GetParent(HWND window);
TARVEL_API BOOL SetForegroundWindow(HWND window);
TARVEL_API HWND GetActiveWindow(void);
TARVEL_API HWND GetFocus(void);
TARVEL_API HWND SetFocus(HWND window);

// Geometry, in pixels of the screen.
TARVEL_API BOOL GetWindowRect(HWND window, RECT* rect);
TARVEL_API int GetSystemMetrics(int index);
TARVEL_API BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
// Returns whether the window was visible before.
TARVEL_API BOOL ShowWindow(HWND window, int command);

// Blocks until the user dismisses the box and answers IDOK. A null text is
// shown empty, a null caption as "Error".
TARVEL_API int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

// Timers and the message pump. SetTimer returns nonzero for a window's
// timer and a new id for a timer without a window, 0 for a stale window;
// periods are held between 10 ms and 2^31 - 1 ms. A timer's WM_TIMER is generated
// when the queue holds nothing else and the period has passed; it reaches
// the window only while the thread takes messages. PeekMessageW also
// lets the display backend process its input first.
TARVEL_API UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC procedure);
TARVEL_API BOOL KillTimer(HWND window, UINT_PTR id);
TARVEL_API BOOL PeekMessageW(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags);
TARVEL_API BOOL TranslateMessage(const MSG* msg);
TARVEL_API LRESULT DispatchMessageW(const MSG* msg);
TARVEL_API BOOL IsDialogMessageW(HWND dialog, MSG* msg);

// The user's measurement system: "0" metric, "1" US (from LC_MEASUREMENT).
// Returns the characters written with the terminator, the size needed when
// size is 0, and 0 for an unknown query or a buffer too small.
TARVEL_API int GetLocaleInfoW(DWORD locale, DWORD type, LPWSTR buffer, int size);

// The shell: the dialog initialisation (Done button, full-screen, input
// panel lowered; FALSE for a null record or a window that is no dialog)
// and the initialisation of the extra controls ("SIPPREF").
TARVEL_API BOOL SHInitDialog(SHINITDLGINFO* info);
TARVEL_API BOOL SHInitExtraControls(void);

#if defined(__cplusplus)
}  // extern "C"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvel::ui {

// What a responder may do with a modal dialog on the headless backend: it
// acts as the user would, so disabled controls do not react and read-only
// fields cannot be typed into. Each action reaches the dialog procedure as
// the command the control would send.
class DialogUser {
public:
    virtual ~DialogUser() = default;
    virtual HWND Dialog() const = 0;
    virtual int TemplateId() const = 0;
    virtual std::u16string Caption() const = 0;
    virtual std::u16string Text(int id) const = 0;
    virtual bool Checked(int id) const = 0;
    virtual bool Enabled(int id) const = 0;
    virtual bool ReadOnly(int id) const = 0;
    virtual int ListSelection(int id) const = 0;
    virtual std::vector<std::u16string> ListEntries(int id) const = 0;
    // Picks the entry with this text; false when it is not there.
    virtual bool SelectListEntry(int id, std::u16string_view text) = 0;
    virtual bool SelectListIndex(int id, int index) = 0;
    // Focuses the field, replaces its text as typed (a digits-only field
    // drops other characters) and leaves it, which sends EN_KILLFOCUS.
    virtual bool Type(int id, std::u16string_view text) = 0;
    // Presses a button: push buttons command, radio buttons check themselves
    // and clear their group, check boxes toggle.
    virtual bool Click(int id) = 0;
    // Lets the given milliseconds pass while messages (timers) are pumped.
    virtual void Wait(DWORD milliseconds) = 0;
    // Whether the procedure has ended the dialog.
    virtual bool Ended() const = 0;
};

// Called once per modal dialog, after initialisation. If the dialog is still
// open when it returns, the dialog is closed as the window's close box would
// (IDCANCEL), and the result is -1 if the procedure still does not end it.
using Responder = std::function<void(DialogUser&)>;

// Every message box shown, on either backend, in order.
struct MessageBoxEntry {
    HWND owner;
    std::u16string text;
    std::u16string caption;
    UINT type;
};

enum class Backend { Automatic = 0,
                     Headless = 1,
                     Fltk = 2 };

}  // namespace tarvel::ui

// The library's own entry points behind the C++ helpers below; exported
// under plain names so that every compiler finds them.
extern "C" {
TARVEL_API BOOL TarvelUiSelectBackend(int backend);
TARVEL_API int TarvelUiActiveBackend(void);
TARVEL_API BOOL TarvelUiFltkAvailable(void);
TARVEL_API BOOL TarvelUiRegisterDialogTemplate(HINSTANCE module, const DLGTEMPLATEDEF* dialogTemplate);
TARVEL_API void TarvelUiSetResponder(const tarvel::ui::Responder* responder);
TARVEL_API void TarvelUiReadMessageBoxes(std::vector<tarvel::ui::MessageBoxEntry>* record);
TARVEL_API void TarvelUiClearMessageBoxes(void);
TARVEL_API void TarvelUiPumpAllMessages(void);
}

namespace tarvel::ui {

// Chooses the backend for windows created from now on. Automatic means FLTK
// when it was built and a display can be opened, headless otherwise.
// Returns false (and changes nothing) for FLTK when it cannot be used, or
// while windows exist.
inline bool SelectBackend(Backend backend)
{
    return TarvelUiSelectBackend(static_cast<int>(backend)) != FALSE;
}

// The backend in use (resolving Automatic on first use).
inline Backend ActiveBackend()
{
    return static_cast<Backend>(TarvelUiActiveBackend());
}

// Whether the FLTK backend was built into this library.
inline bool FltkAvailable()
{
    return TarvelUiFltkAvailable() != FALSE;
}

// Registers a template under its resourceId for a module, as the library's
// resources would hold it; false for an invalid template or number. The
// template must outlive its use.
inline bool RegisterDialogTemplate(HINSTANCE module, const DLGTEMPLATEDEF* dialogTemplate)
{
    return TarvelUiRegisterDialogTemplate(module, dialogTemplate) != FALSE;
}

// Installs the responder of the headless backend; an empty one restores the
// default, which presses OK at once.
inline void SetResponder(const Responder& responder)
{
    TarvelUiSetResponder(&responder);
}

inline std::vector<MessageBoxEntry> MessageBoxRecord()
{
    std::vector<MessageBoxEntry> record;
    TarvelUiReadMessageBoxes(&record);
    return record;
}

inline void ClearMessageBoxRecord()
{
    TarvelUiClearMessageBoxes();
}

// Pumps every pending message of the thread once (peek, translate, dispatch).
inline void PumpAllMessages()
{
    TarvelUiPumpAllMessages();
}

}  // namespace tarvel::ui

#endif  // __cplusplus

#endif
