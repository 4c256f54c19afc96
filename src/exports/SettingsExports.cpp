// The exported settings, models and messages for programs without a dialog:
// they find the device and hand over to the device and window rooms.
#include "device/PrinterTables.h"
#include "device/ProgramSettings.h"
#include "platform/system/Utf16.h"
#include "platform/ui/LastMessage.h"

#include <tarvel/settings.h>

#include <algorithm>
#include <string>
#include <string_view>

using tarvel::device::Device;

namespace {

// Copies text and its terminator into a buffer of `chars` units, cutting it
// short when it does not fit. UTF-8 is cut before a whole sequence and
// UTF-16 before a whole pair, so a cut text is still well formed.
template <typename Unit>
void CopyOut(std::basic_string_view<Unit> text, Unit* buffer, int chars)
{
    if (!buffer || chars <= 0)
        return;
    std::size_t length = std::min(text.size(), static_cast<std::size_t>(chars) - 1);
    if (length < text.size()) {
        if constexpr (sizeof(Unit) == 1) {
            while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
                --length;
        } else {
            if (length > 0 && text[length - 1] >= 0xD800 && text[length - 1] < 0xDC00)
                --length;
        }
    }
    std::copy_n(text.data(), length, buffer);
    buffer[length] = 0;
}

}  // namespace

extern "C" {

int TarvelGetSettings(TarvelSettings* settings)
{
    auto* device = Device();
    if (!device || !settings)
        return 0;
    tarvel::device::ReadProgramSettings(*device, *settings);
    return 1;
}

int TarvelSetSettings(const TarvelSettings* settings)
{
    auto* device = Device();
    if (!device || !settings)
        return 0;
    return tarvel::device::WriteProgramSettings(*device, *settings);
}

int TarvelModelCount(void)
{
    return tarvel::device::kModelCount;
}

int TarvelGetModel(int index, TarvelModel* model)
{
    return model ? tarvel::device::ReadModel(index, *model) : 0;
}

int TarvelGetPageSize(int printer, int paper, int draft, TarvelPageSize* size)
{
    return size ? tarvel::device::ReadPageSize(printer, paper, draft, *size) : 0;
}

int TarvelLastMessage(char* text, int textChars, char* caption, int captionChars)
{
    const auto message = tarvel::ui::ReadLastMessage();
    const std::string body = tarvel::platform::Utf16ToUtf8Replacing(message.text);
    const std::string title = tarvel::platform::Utf16ToUtf8Replacing(message.caption);
    CopyOut<char>(body, text, textChars);
    CopyOut<char>(title, caption, captionChars);
    return static_cast<int>(message.kind);
}

int TarvelLastMessageW(WCHAR* text, int textChars, WCHAR* caption, int captionChars)
{
    const auto message = tarvel::ui::ReadLastMessage();
    CopyOut<char16_t>(message.text, text, textChars);
    CopyOut<char16_t>(message.caption, caption, captionChars);
    return static_cast<int>(message.kind);
}

void TarvelClearLastMessage(void)
{
    tarvel::ui::ClearLastMessage();
}

int TarvelFailedPages(void)
{
    auto* device = Device();
    return device ? device->failedPages : 0;
}

}  // extern "C"
