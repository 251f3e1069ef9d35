#pragma once

#include <zelvar/platform.h>

#include <QString>

// The message box and the system beep, routed through the handlers a host may install.
namespace zelvar::platform {

enum MessageStyle : int {
    OkOnly = 0,
    Critical = 16,
    Information = 64,
};

// Shows a modal message box with an OK button; returns the button pressed (1 = OK).
int messageBox(const QString& prompt, int style = OkOnly, const QString& title = {});

// Sounds the system beep once.
void beep();

} // namespace zelvar::platform
