#pragma once

class QKeyEvent;

namespace zelvar::platform {

// The key code the windows' key rules are written in (the classic virtual-key numbers:
// 9 Tab, 13 Enter, 33/34 Page Up/Down, 38/40 Up/Down, 48-57 digits, 65-90 letters, ...);
// 0 for a key without one.
int virtualKey(const QKeyEvent* event);

// The codes the key rules name.
namespace vk {
constexpr int Tab = 9;
constexpr int Enter = 13;
constexpr int PageUp = 33;
constexpr int PageDown = 34;
constexpr int Up = 38;
constexpr int Down = 40;
constexpr int Digit0 = 48;      // digits and letters run from here ...
constexpr int LetterZ = 90;     // ... to here
// The grid's key-message notification: the message of a key going down, and the flags of a
// key being released and of an auto-repeat.
constexpr int KeyDownMessage = 256;
constexpr int ReleasedFlag = 0x8000;
constexpr int RepeatFlag = 0x4000;
} // namespace vk

} // namespace zelvar::platform
