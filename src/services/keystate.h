#pragma once

// Whether a modifier key is held right now.
namespace zelvar::services {

bool AltKeyDown();
bool ShiftKeyDown();
bool CtrlKeyDown();

} // namespace zelvar::services
