// The backend without a display: windows exist only as state, message
// boxes go to standard error, modal dialogs are answered by a responder.
#include "platform/system/System.h"
#include "platform/system/Utf16.h"
#include "platform/ui/Backend.h"

#include <cstdio>

namespace tarvel::ui {

namespace {

// A virtual screen of a small desktop; the dialog units follow the
// handheld's system font at 8 points.
constexpr LONG kScreenWidth = 640;
constexpr LONG kScreenHeight = 480;
constexpr int kBaseUnitX = 6;
constexpr int kBaseUnitY = 13;

class HeadlessBackend final : public DisplayBackend {
public:
    Backend Kind() const override { return Backend::Headless; }

    void BaseUnits(const DLGTEMPLATEDEF&, int& unitX, int& unitY) override
    {
        unitX = kBaseUnitX;
        unitY = kBaseUnitY;
    }

    SIZE ScreenSize() override { return SIZE{kScreenWidth, kScreenHeight}; }
    bool HonoursFullScreen() const override { return true; }
    void DialogCreated(Window&) override { }
    void WindowChanged(Window&) override { }
    void FocusChanged(HWND) override { }
    void WindowDestroyed(Window&) override { }

    void RunModal(const WindowRef& dialog) override { RespondToDialog(dialog); }

    int ShowMessageBox(HWND, const std::u16string& text, const std::u16string& caption, UINT) override
    {
        std::fprintf(stderr, "%s: %s\n", platform::Utf16ToUtf8Replacing(caption).c_str(),
                     platform::Utf16ToUtf8Replacing(text).c_str());
        return IDOK;
    }

    void Poll() override { }

    void WaitForInput(DWORD milliseconds) override { Sleep(milliseconds); }
};

}  // namespace

std::unique_ptr<DisplayBackend> MakeHeadlessBackend()
{
    return std::make_unique<HeadlessBackend>();
}

}  // namespace tarvel::ui
