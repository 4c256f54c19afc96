// The responder of the headless backend and the user it drives: each
// action goes through the same paths a pointer and a keyboard would take.
#include "platform/system/System.h"
#include "platform/ui/Backend.h"

#include <algorithm>

namespace tarvel::ui {

Responder& InstalledResponder()
{
    static Responder responder;
    return responder;
}

namespace {

bool IsDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

class ScriptedUser final : public DialogUser {
public:
    explicit ScriptedUser(HWND dialog)
        : dialog_(dialog)
    {
    }

    HWND Dialog() const override { return dialog_; }

    int TemplateId() const override
    {
        WindowRef d = FindWindowRef(dialog_);
        return d && d->dialogTemplate != nullptr ? d->dialogTemplate->resourceId : 0;
    }

    std::u16string Caption() const override
    {
        WindowRef d = FindWindowRef(dialog_);
        return d ? d->text : std::u16string();
    }

    std::u16string Text(int id) const override
    {
        WindowRef c = Control(id);
        if (!c) {
            return {};
        }
        if (c->controlKind == DLGC_DROPDOWNLIST) {
            return c->selection < 0 ? std::u16string() : c->entries[static_cast<std::size_t>(c->selection)];
        }
        return c->text;
    }

    bool Checked(int id) const override
    {
        WindowRef c = Control(id);
        return c && c->check == BST_CHECKED;
    }

    bool Enabled(int id) const override
    {
        WindowRef c = Control(id);
        return c && c->enabled;
    }

    bool ReadOnly(int id) const override
    {
        WindowRef c = Control(id);
        return c && c->readOnly;
    }

    int ListSelection(int id) const override
    {
        WindowRef c = Control(id);
        return c && c->controlKind == DLGC_DROPDOWNLIST ? c->selection : -1;
    }

    std::vector<std::u16string> ListEntries(int id) const override
    {
        WindowRef c = Control(id);
        return c ? c->entries : std::vector<std::u16string>();
    }

    bool SelectListEntry(int id, std::u16string_view text) override
    {
        WindowRef c = Control(id);
        if (!c) {
            return false;
        }
        auto it = std::find(c->entries.begin(), c->entries.end(), text);
        if (it == c->entries.end()) {
            return false;
        }
        return SelectListIndex(id, static_cast<int>(it - c->entries.begin()));
    }

    bool SelectListIndex(int id, int index) override
    {
        WindowRef c = Control(id);
        if (!Usable(c) || c->controlKind != DLGC_DROPDOWNLIST || index < 0 || static_cast<std::size_t>(index) >= c->entries.size()) {
            return false;
        }
        MoveFocus(c->handle);
        if (!FindWindowRef(c->handle)) {
            return true;
        }
        // Picking the entry already shown changes nothing and says nothing.
        if (c->selection != index) {
            c->selection = index;
            CurrentBackend().WindowChanged(*c);
            NotifyParent(*c, CBN_SELCHANGE);
        }
        return true;
    }

    bool Type(int id, std::u16string_view text) override
    {
        WindowRef c = Control(id);
        if (!Usable(c) || c->controlKind != DLGC_EDIT || c->readOnly) {
            return false;
        }
        MoveFocus(c->handle);
        if (!FindWindowRef(c->handle)) {
            return true;
        }
        std::u16string typed(text);
        if ((c->style & ES_NUMBER) != 0) {
            // A digits-only field refuses every other key.
            typed.erase(std::remove_if(typed.begin(), typed.end(), [](char16_t ch) { return !IsDigit(ch); }),
                        typed.end());
        }
        c->text = typed;
        CurrentBackend().WindowChanged(*c);
        NotifyParent(*c, EN_CHANGE);
        // Leaving the field: the focus goes back to the dialog itself.
        if (FindWindowRef(c->handle) && FocusWindow() == c->handle) {
            MoveFocus(nullptr);
        }
        return true;
    }

    bool Click(int id) override
    {
        WindowRef c = Control(id);
        return Usable(c) && ClickControl(c);
    }

    void Wait(DWORD milliseconds) override
    {
        DWORD start = GetTickCount();
        for (;;) {
            PumpThreadMessages();
            DWORD passed = GetTickCount() - start;
            if (passed >= milliseconds) {
                break;
            }
            Sleep(std::min<DWORD>(MillisecondsToNextTimer(milliseconds - passed), 5));
        }
    }

    bool Ended() const override
    {
        WindowRef d = FindWindowRef(dialog_);
        return !d || d->ended;
    }

private:
    WindowRef Control(int id) const
    {
        WindowRef d = FindWindowRef(dialog_);
        return d ? FindControl(*d, id) : nullptr;
    }

    // A user can only reach controls of a dialog that is still open.
    bool Usable(const WindowRef& c) const { return c && c->enabled && !Ended(); }

    HWND dialog_;
};

}  // namespace

void RespondToDialog(const WindowRef& dialog)
{
    HWND handle = dialog->handle;
    ScriptedUser user(handle);
    // Copied, so a responder may install another one for later dialogs.
    Responder responder = InstalledResponder();
    if (responder) {
        responder(user);
    } else {
        user.Click(IDOK);
    }
    if (!user.Ended()) {
        SendMessageW(handle, WM_CLOSE, 0, 0);
    }
}

}  // namespace tarvel::ui

extern "C" TARVEL_API void TarvelUiSetResponder(const tarvel::ui::Responder* responder)
{
    tarvel::ui::InstalledResponder() = responder != nullptr ? *responder : tarvel::ui::Responder();
}
