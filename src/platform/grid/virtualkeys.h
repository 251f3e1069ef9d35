#pragma once

class QKeyEvent;

namespace zelvar::platform {

// The key code the windows' key rules are written in (the classic virtual-key numbers:
// 9 Tab, 13 Enter, 33/34 Page Up/Down, 38/40 Up/Down, 48-57 digits, 65-90 letters, ...);
// 0 for a key without one.
int virtualKey(const QKeyEvent* event);

} // namespace zelvar::platform
