// Choosing the display backend, and the record of message boxes that both
// backends keep.
#include "platform/ui/Backend.h"

#include "platform/ui/LastMessage.h"

#include <vector>

namespace tarvel::ui {

namespace {

struct BackendSlot {
    std::unique_ptr<DisplayBackend> backend;
    std::vector<MessageBoxEntry> messageBoxes;
};

BackendSlot& Slot()
{
    static BackendSlot slot;
    return slot;
}

std::unique_ptr<DisplayBackend> MakeAutomatic()
{
#if defined(TARVEL_HAVE_FLTK)
    if (auto fltk = MakeFltkBackend()) {
        return fltk;
    }
#endif
    return MakeHeadlessBackend();
}

}  // namespace

DisplayBackend& CurrentBackend()
{
    auto& slot = Slot();
    if (!slot.backend) {
        slot.backend = MakeAutomatic();
    }
    return *slot.backend;
}

void RecordMessageBox(HWND owner, const std::u16string& text, const std::u16string& caption, UINT type)
{
    Slot().messageBoxes.push_back(MessageBoxEntry{owner, text, caption, type});
}

}  // namespace tarvel::ui

using namespace tarvel::ui;

extern "C" {

TARVEL_API BOOL TarvelUiSelectBackend(int backend)
{
    // Windows already shown belong to the backend that made them.
    if (LiveWindowCount() != 0) {
        return FALSE;
    }
    std::unique_ptr<DisplayBackend> chosen;
    switch (backend) {
    case static_cast<int>(Backend::Automatic):
        chosen = MakeAutomatic();
        break;
    case static_cast<int>(Backend::Headless):
        chosen = MakeHeadlessBackend();
        break;
    case static_cast<int>(Backend::Fltk):
#if defined(TARVEL_HAVE_FLTK)
        chosen = MakeFltkBackend();
#endif
        break;
    default:
        break;
    }
    if (!chosen) {
        return FALSE;
    }
    Slot().backend = std::move(chosen);
    return TRUE;
}

TARVEL_API int TarvelUiActiveBackend(void)
{
    return static_cast<int>(CurrentBackend().Kind());
}

TARVEL_API BOOL TarvelUiFltkAvailable(void)
{
#if defined(TARVEL_HAVE_FLTK)
    return TRUE;
#else
    return FALSE;
#endif
}

TARVEL_API void TarvelUiReadMessageBoxes(std::vector<MessageBoxEntry>* record)
{
    if (record != nullptr) {
        *record = Slot().messageBoxes;
    }
}

TARVEL_API void TarvelUiClearMessageBoxes(void)
{
    Slot().messageBoxes.clear();
}

TARVEL_API int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    std::u16string body = TextFrom(text);
    std::u16string title = caption != nullptr ? std::u16string(caption) : std::u16string(u"Error");
    if (!FindWindowRef(owner)) {
        owner = nullptr;
    }
    RecordMessageBox(owner, body, title, type);
    RecordLastMessage(MessageBoxKind(type, title), body, title);
    return CurrentBackend().ShowMessageBox(owner, body, title, type);
}

}  // extern "C"
