// The controls of a dialog: what each kind answers to the messages the
// dialog procedures send, and what a click does to it.
#include "platform/ui/Backend.h"
#include "platform/ui/Window.h"

#include <algorithm>

namespace tarvel::ui {

namespace {

// A drop-down list holds at most this many entries; more is a caller gone
// wrong, answered as the handheld answers running out of space.
constexpr std::size_t kMaxEntries = 32767;
constexpr LRESULT CB_ERRSPACE_VALUE = -2;

char16_t Fold(char16_t c)
{
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

bool StartsWithFolded(const std::u16string& entry, const std::u16string& prefix)
{
    if (prefix.size() > entry.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (Fold(entry[i]) != Fold(prefix[i])) {
            return false;
        }
    }
    return true;
}

bool EqualsFolded(const std::u16string& a, const std::u16string& b)
{
    return a.size() == b.size() && StartsWithFolded(a, b);
}

// Searches after the start index and wraps around, as the list control does;
// -1 searches from the top.
template <typename Match>
LRESULT FindEntry(const Window& list, WPARAM start, Match match)
{
    std::size_t count = list.entries.size();
    if (count == 0) {
        return CB_ERR;
    }
    auto from = static_cast<LONG_PTR>(start);
    std::size_t first = (from < 0 || static_cast<std::size_t>(from) >= count) ? 0
                                                                              : static_cast<std::size_t>(from) + 1;
    for (std::size_t n = 0; n < count; ++n) {
        std::size_t i = (first + n) % count;
        if (match(list.entries[i])) {
            return static_cast<LRESULT>(i);
        }
    }
    return CB_ERR;
}

bool IsButton(UINT kind)
{
    return kind == DLGC_PUSHBUTTON || kind == DLGC_DEFPUSHBUTTON || kind == DLGC_AUTORADIOBUTTON || kind == DLGC_AUTOCHECKBOX;
}

LRESULT ListMessage(Window& list, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto text = reinterpret_cast<LPCWSTR>(lParam);
    switch (message) {
    case CB_ADDSTRING:
        if (text == nullptr) {
            return CB_ERR;
        }
        if (list.entries.size() >= kMaxEntries) {
            return CB_ERRSPACE_VALUE;
        }
        list.entries.emplace_back(text);
        return static_cast<LRESULT>(list.entries.size() - 1);
    case CB_RESETCONTENT:
        list.entries.clear();
        list.selection = -1;
        return TRUE;
    case CB_GETCOUNT:
        return static_cast<LRESULT>(list.entries.size());
    case CB_GETCURSEL:
        return list.selection;
    case CB_SETCURSEL:
        // An index outside the list clears the selection and reports failure.
        if (wParam >= list.entries.size()) {
            list.selection = -1;
            return CB_ERR;
        }
        list.selection = static_cast<int>(wParam);
        return list.selection;
    case CB_SELECTSTRING: {
        if (text == nullptr) {
            return CB_ERR;
        }
        std::u16string prefix(text);
        LRESULT found = FindEntry(list, wParam, [&](const std::u16string& e) { return StartsWithFolded(e, prefix); });
        if (found != CB_ERR) {
            list.selection = static_cast<int>(found);
        }
        return found;
    }
    case CB_FINDSTRINGEXACT: {
        if (text == nullptr) {
            return CB_ERR;
        }
        std::u16string wanted(text);
        return FindEntry(list, wParam, [&](const std::u16string& e) { return EqualsFolded(e, wanted); });
    }
    case CB_GETLBTEXTLEN:
        return wParam < list.entries.size() ? static_cast<LRESULT>(list.entries[wParam].size()) : CB_ERR;
    case CB_GETLBTEXT: {
        if (wParam >= list.entries.size() || lParam == 0) {
            return CB_ERR;
        }
        // The caller sized the buffer with CB_GETLBTEXTLEN, as on the handheld.
        const std::u16string& entry = list.entries[wParam];
        auto* buffer = reinterpret_cast<LPWSTR>(lParam);
        std::copy(entry.begin(), entry.end(), buffer);
        buffer[entry.size()] = u'\0';
        return static_cast<LRESULT>(entry.size());
    }
    case WM_SETTEXT:
        // A drop-down list has no text of its own to set.
        return CB_ERR;
    case WM_GETTEXT:
        if (list.selection < 0) {
            return AnswerGetText(std::u16string(), wParam, lParam);
        }
        return AnswerGetText(list.entries[static_cast<std::size_t>(list.selection)], wParam, lParam);
    case WM_GETTEXTLENGTH:
        return list.selection < 0 ? 0
                                  : static_cast<LRESULT>(list.entries[static_cast<std::size_t>(list.selection)].size());
    default:
        return 0;
    }
}

}  // namespace

LRESULT ControlMessage(const WindowRef& control, UINT message, WPARAM wParam, LPARAM lParam)
{
#if defined(TARVEL_HAVE_FLTK)
    if (IsFltkUserAction(message)) {
        return FltkUserAction(control, message, wParam);
    }
#endif
    Window& c = *control;
    LRESULT result = 0;
    bool changed = false;
    if (c.controlKind == DLGC_DROPDOWNLIST) {
        result = ListMessage(c, message, wParam, lParam);
        changed = message == CB_ADDSTRING || message == CB_RESETCONTENT || message == CB_SETCURSEL || message == CB_SELECTSTRING;
    } else {
        switch (message) {
        case WM_SETTEXT:
            c.text = TextFrom(reinterpret_cast<LPCWSTR>(lParam));
            changed = true;
            result = TRUE;
            break;
        case WM_GETTEXT:
            result = AnswerGetText(c.text, wParam, lParam);
            break;
        case WM_GETTEXTLENGTH:
            result = static_cast<LRESULT>(c.text.size());
            break;
        case EM_SETREADONLY:
            if (c.controlKind != DLGC_EDIT) {
                return FALSE;
            }
            c.readOnly = wParam != 0;
            changed = true;
            result = TRUE;
            break;
        case BM_SETCHECK:
            if (c.controlKind == DLGC_AUTOCHECKBOX || c.controlKind == DLGC_AUTORADIOBUTTON) {
                c.check = wParam == BST_CHECKED                                           ? BST_CHECKED
                    : (wParam == BST_INDETERMINATE && c.controlKind == DLGC_AUTOCHECKBOX) ? BST_INDETERMINATE
                                                                                          : BST_UNCHECKED;
                changed = true;
            }
            break;
        case BM_GETCHECK:
            result = (c.controlKind == DLGC_AUTOCHECKBOX || c.controlKind == DLGC_AUTORADIOBUTTON) ? c.check : 0;
            break;
        case BM_CLICK:
            ClickControl(control);
            return 0;
        default:
            break;
        }
    }
    if (changed) {
        CurrentBackend().WindowChanged(c);
    }
    return result;
}

bool ClickControl(const WindowRef& control)
{
    if (!control || control->kind != WindowKind::Control || !IsButton(control->controlKind) || !control->enabled) {
        return false;
    }
    WindowRef dialog = FindWindowRef(control->parent);
    if (dialog && !dialog->enabled) {
        return false;  // a dialog under a modal one takes no clicks
    }
    // The button takes the focus first, so an edited field reports losing
    // it before the click arrives, as with a pointer.
    MoveFocus(control->handle);
    if (!FindWindowRef(control->handle)) {
        return true;
    }
    if (control->controlKind == DLGC_AUTOCHECKBOX) {
        control->check = control->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
        CurrentBackend().WindowChanged(*control);
    } else if (control->controlKind == DLGC_AUTORADIOBUTTON) {
        if (dialog) {
            for (HWND h : dialog->children) {
                WindowRef other = FindWindowRef(h);
                if (other && other != control && other->controlKind == DLGC_AUTORADIOBUTTON && other->radioGroup == control->radioGroup && other->check != BST_UNCHECKED) {
                    other->check = BST_UNCHECKED;
                    CurrentBackend().WindowChanged(*other);
                }
            }
        }
        control->check = BST_CHECKED;
        CurrentBackend().WindowChanged(*control);
    }
    NotifyParent(*control, BN_CLICKED);
    return true;
}

}  // namespace tarvel::ui
