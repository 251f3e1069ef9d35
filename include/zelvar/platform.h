#pragma once

// Routing of the two user-facing platform services. A host (or a test) may take them over;
// an empty handler restores the default.

#include <QString>

#include <functional>

namespace zelvar::platform {
// prompt, style (0 OK only, 16 critical, 64 information), title -> button pressed (1 = OK)
void setMessageBoxHandler(std::function<int(const QString&, int, const QString&)> handler); // {} = QMessageBox
void setBeepHandler(std::function<void()> handler);                                            // {} = QApplication::beep
}
