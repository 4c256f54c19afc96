#include "platform/ui/LastMessage.h"

#include <tarvel/ui.h>

#include <mutex>

namespace tarvel::ui {
namespace {

struct Record {
    std::mutex lock;
    LastMessage message;
};

Record& TheRecord()
{
    static Record record;
    return record;
}

}  // namespace

void RecordLastMessage(MessageKind kind, std::u16string_view text, std::u16string_view caption)
{
    Record& record = TheRecord();
    std::lock_guard<std::mutex> hold(record.lock);
    record.message.kind = kind;
    record.message.text.assign(text);
    record.message.caption.assign(caption);
}

MessageKind MessageBoxKind(UINT type, std::u16string_view caption)
{
    // The library's failures ("Cannot establish connection", "Lost
    // connection.", "Not enough memory...") carry the caption "Error
    // printing" whatever icon they show; for a program they are errors.
    if (caption == u"Error printing")
        return MessageKind::Error;
    switch (type & MB_ICONMASK) {
    case MB_ICONHAND:
        return MessageKind::Error;
    case MB_ICONEXCLAMATION:
        return MessageKind::Warning;
    default:
        return MessageKind::Info;
    }
}

LastMessage ReadLastMessage()
{
    Record& record = TheRecord();
    std::lock_guard<std::mutex> hold(record.lock);
    return record.message;
}

void ClearLastMessage()
{
    Record& record = TheRecord();
    std::lock_guard<std::mutex> hold(record.lock);
    record.message = LastMessage{};
}

}  // namespace tarvel::ui
