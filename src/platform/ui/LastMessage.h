// The last message the library showed, or would have shown, to the user:
// every message box and every report of a port that lost its printer. A
// program without a display reads it to tell its user why a job failed.
#pragma once

#include <tarvel/win32.h>

#include <string>
#include <string_view>

namespace tarvel::ui {

// Kinds as the settings interface numbers them (TarvelMessageKind).
enum class MessageKind { None = 0,
                         Info = 1,
                         Warning = 2,
                         Error = 3 };

struct LastMessage {
    MessageKind kind = MessageKind::None;
    std::u16string text;
    std::u16string caption;
};

// Replaces the last message. Any thread may report (a port's writer thread
// does); the record has its own lock.
void RecordLastMessage(MessageKind kind, std::u16string_view text, std::u16string_view caption);
// The kind a message box of this type and caption stands for.
MessageKind MessageBoxKind(UINT type, std::u16string_view caption);
LastMessage ReadLastMessage();
void ClearLastMessage();

}  // namespace tarvel::ui
