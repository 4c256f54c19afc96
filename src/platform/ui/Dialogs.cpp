// Dialogs made from templates: the windows and controls a template
// describes, modal and modeless runs, and the module's table of templates.
#include "platform/ui/Backend.h"
#include "platform/ui/Window.h"

#include <deque>
#include <limits>

namespace tarvel::ui {

namespace {

// More controls than any dialog could show means a corrupt template.
constexpr int kMaxItems = 1024;

bool ValidTemplate(const DLGTEMPLATEDEF* t)
{
    if (t == nullptr || t->cx < 0 || t->cy < 0 || t->itemCount < 0 || t->itemCount > kMaxItems || (t->itemCount > 0 && t->items == nullptr)) {
        return false;
    }
    for (int i = 0; i < t->itemCount; ++i) {
        const DLGITEMDEF& item = t->items[i];
        if (item.kind < DLGC_PUSHBUTTON || item.kind > DLGC_DROPDOWNLIST || item.cx < 0 || item.cy < 0) {
            return false;
        }
    }
    return true;
}

LONG ToPixelsX(int units, int baseX)
{
    return static_cast<LONG>(units * baseX / 4);
}

LONG ToPixelsY(int units, int baseY)
{
    return static_cast<LONG>(units * baseY / 8);
}

// Builds the dialog window and its controls, hidden, centred on the screen.
WindowRef BuildDialog(const DLGTEMPLATEDEF& t, HWND owner, DLGPROC procedure, bool modal)
{
    DisplayBackend& backend = CurrentBackend();
    auto dialog = std::make_shared<Window>();
    dialog->kind = WindowKind::Dialog;
    dialog->style = t.style & ~WS_VISIBLE;
    dialog->text = TextFrom(t.caption);
    dialog->owner = FindWindowRef(owner) ? owner : nullptr;
    dialog->procedure = procedure;
    dialog->dialogTemplate = &t;
    dialog->modal = modal;
    backend.BaseUnits(t, dialog->baseUnitX, dialog->baseUnitY);
    SIZE screen = backend.ScreenSize();
    LONG width = ToPixelsX(t.cx, dialog->baseUnitX);
    LONG height = ToPixelsY(t.cy, dialog->baseUnitY);
    LONG left = (screen.cx - width) / 2;
    LONG top = (screen.cy - height) / 2;
    dialog->rect = RECT{left, top, left + width, top + height};
    AddWindow(dialog);

    int group = 0;
    bool previousWasRadio = false;
    for (int i = 0; i < t.itemCount; ++i) {
        const DLGITEMDEF& item = t.items[i];
        auto control = std::make_shared<Window>();
        control->kind = WindowKind::Control;
        control->controlKind = item.kind;
        control->id = item.id;
        control->style = item.style | WS_CHILD;
        control->text = item.kind == DLGC_DROPDOWNLIST ? std::u16string() : TextFrom(item.text);
        control->parent = dialog->handle;
        control->enabled = (item.style & WS_DISABLED) == 0;
        control->readOnly = item.kind == DLGC_EDIT && (item.style & ES_READONLY) != 0;
        control->visible = true;
        LONG x = left + ToPixelsX(item.x, dialog->baseUnitX);
        LONG y = top + ToPixelsY(item.y, dialog->baseUnitY);
        control->rect = RECT{x, y, x + ToPixelsX(item.cx, dialog->baseUnitX),
                             y + ToPixelsY(item.cy, dialog->baseUnitY)};
        bool isRadio = item.kind == DLGC_AUTORADIOBUTTON;
        if (isRadio && (!previousWasRadio || (item.style & WS_GROUP) != 0)) {
            ++group;
        }
        control->radioGroup = isRadio ? group : 0;
        previousWasRadio = isRadio;
        AddWindow(control);
    }
    backend.DialogCreated(*dialog);
    return dialog;
}

// Sends the initialisation and gives the focus to the first control that
// takes it, unless the procedure set the focus itself (answered false).
void InitialiseDialog(const WindowRef& dialog, LPARAM initParam)
{
    HWND first = nullptr;
    for (HWND h : dialog->children) {
        WindowRef c = FindWindowRef(h);
        if (c && c->enabled && c->controlKind != DLGC_LTEXT && c->controlKind != DLGC_CTEXT && c->controlKind != DLGC_RTEXT && c->controlKind != DLGC_GROUPBOX) {
            first = h;
            break;
        }
    }
    LRESULT answer = CallWindow(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), initParam);
    if (answer != FALSE && FindWindowRef(dialog->handle) && FindWindowRef(first)) {
        MoveFocus(first);
    }
}

struct TemplateEntry {
    HINSTANCE module;
    int id;
    const DLGTEMPLATEDEF* dialogTemplate;
};

std::deque<TemplateEntry>& Templates()
{
    static std::deque<TemplateEntry> templates;
    return templates;
}

}  // namespace

}  // namespace tarvel::ui

using namespace tarvel::ui;

extern "C" {

TARVEL_API BOOL TarvelUiRegisterDialogTemplate(HINSTANCE module, const DLGTEMPLATEDEF* dialogTemplate)
{
    if (!ValidTemplate(dialogTemplate) || dialogTemplate->resourceId <= 0 || dialogTemplate->resourceId > 0xFFFF) {
        return FALSE;
    }
    for (TemplateEntry& entry : Templates()) {
        if (entry.module == module && entry.id == dialogTemplate->resourceId) {
            entry.dialogTemplate = dialogTemplate;
            return TRUE;
        }
    }
    Templates().push_back(TemplateEntry{module, dialogTemplate->resourceId, dialogTemplate});
    return TRUE;
}

TARVEL_API HRSRC FindResourceW(HINSTANCE module, LPCWSTR name, LPCWSTR type)
{
    // Only numbered dialog templates exist; a name that is a real string
    // pointer cannot be one of them.
    auto number = reinterpret_cast<UINT_PTR>(name);
    if (type != RT_DIALOG || number == 0 || number > 0xFFFF) {
        return nullptr;
    }
    for (TemplateEntry& entry : Templates()) {
        if (entry.module == module && entry.id == static_cast<int>(number)) {
            return reinterpret_cast<HRSRC>(&entry);
        }
    }
    return nullptr;
}

TARVEL_API HGLOBAL LoadResource(HINSTANCE module, HRSRC resource)
{
    for (TemplateEntry& entry : Templates()) {
        if (reinterpret_cast<HRSRC>(&entry) == resource && entry.module == module) {
            return const_cast<DLGTEMPLATEDEF*>(entry.dialogTemplate);
        }
    }
    return nullptr;
}

TARVEL_API LPVOID LockResource(HGLOBAL data)
{
    return data;
}

TARVEL_API INT_PTR DialogBoxIndirectParamW(HINSTANCE instance, const DLGTEMPLATEDEF* dialogTemplate,
                                           HWND owner, DLGPROC procedure, LPARAM initParam)
{
    (void)instance;
    if (!ValidTemplate(dialogTemplate)) {
        return -1;
    }
    if (owner != nullptr && !FindWindowRef(owner)) {
        return -1;
    }
    WindowRef dialog = BuildDialog(*dialogTemplate, owner, procedure, true);
    HWND handle = dialog->handle;
    // The owner takes no input while its modal dialog runs.
    WindowRef ownerWindow = FindWindowRef(owner);
    bool reenableOwner = ownerWindow && ownerWindow->enabled;
    if (reenableOwner) {
        ownerWindow->enabled = false;
        CurrentBackend().WindowChanged(*ownerWindow);
    }
    InitialiseDialog(dialog, initParam);
    if (FindWindowRef(handle) && !dialog->ended) {
        dialog->visible = true;
        Activate(handle);
        CurrentBackend().WindowChanged(*dialog);
        CurrentBackend().RunModal(dialog);
    }
    INT_PTR result = dialog->ended ? dialog->result : -1;
    DestroyWindow(handle);
    if (reenableOwner && FindWindowRef(owner)) {
        ownerWindow->enabled = true;
        CurrentBackend().WindowChanged(*ownerWindow);
        Activate(owner);
    }
    return result;
}

TARVEL_API HWND CreateDialogIndirectParamW(HINSTANCE instance, const DLGTEMPLATEDEF* dialogTemplate,
                                           HWND owner, DLGPROC procedure, LPARAM initParam)
{
    (void)instance;
    if (!ValidTemplate(dialogTemplate) || (owner != nullptr && !FindWindowRef(owner))) {
        return nullptr;
    }
    WindowRef dialog = BuildDialog(*dialogTemplate, owner, procedure, false);
    HWND handle = dialog->handle;
    InitialiseDialog(dialog, initParam);
    if (!FindWindowRef(handle)) {
        return nullptr;
    }
    if ((dialogTemplate->style & WS_VISIBLE) != 0) {
        ShowWindow(handle, SW_SHOW);
    }
    return handle;
}

TARVEL_API BOOL EndDialog(HWND dialog, INT_PTR result)
{
    WindowRef window = FindWindowRef(dialog);
    if (!window || window->kind != WindowKind::Dialog) {
        return FALSE;
    }
    window->ended = true;
    window->result = result;
    // A modeless dialog only hides; whoever made it destroys it.
    if (window->visible) {
        window->visible = false;
        CurrentBackend().WindowChanged(*window);
    }
    return TRUE;
}

}  // extern "C"
