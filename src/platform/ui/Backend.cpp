// Choosing the display backend, and the record of message boxes that both
// backends keep.
#include "platform/ui/Backend.h"

#include <cstdio>

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

bool SelectBackend(Backend backend)
{
    // Windows already shown belong to the backend that made them.
    if (LiveWindowCount() != 0) {
        return false;
    }
    std::unique_ptr<DisplayBackend> chosen;
    switch (backend) {
    case Backend::Automatic:
        chosen = MakeAutomatic();
        break;
    case Backend::Headless:
        chosen = MakeHeadlessBackend();
        break;
    case Backend::Fltk:
#if defined(TARVEL_HAVE_FLTK)
        chosen = MakeFltkBackend();
#endif
        break;
    }
    if (!chosen) {
        return false;
    }
    Slot().backend = std::move(chosen);
    return true;
}

Backend ActiveBackend()
{
    return CurrentBackend().Kind();
}

bool FltkAvailable()
{
#if defined(TARVEL_HAVE_FLTK)
    return true;
#else
    return false;
#endif
}

std::vector<MessageBoxEntry> MessageBoxRecord()
{
    return Slot().messageBoxes;
}

void ClearMessageBoxRecord()
{
    Slot().messageBoxes.clear();
}

}  // namespace tarvel::ui

using namespace tarvel::ui;

extern "C" TARVEL_API int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    std::u16string body = TextFrom(text);
    std::u16string title = caption != nullptr ? std::u16string(caption) : std::u16string(u"Error");
    if (!FindWindowRef(owner)) {
        owner = nullptr;
    }
    RecordMessageBox(owner, body, title, type);
    return CurrentBackend().ShowMessageBox(owner, body, title, type);
}
