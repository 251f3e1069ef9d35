#include "keystate.h"

#include <QGuiApplication>

namespace zelvar::services {

// The modifiers of the event being handled: what was held when the key or click happened.
bool AltKeyDown() { return QGuiApplication::keyboardModifiers() & Qt::AltModifier; }
bool ShiftKeyDown() { return QGuiApplication::keyboardModifiers() & Qt::ShiftModifier; }
bool CtrlKeyDown() { return QGuiApplication::keyboardModifiers() & Qt::ControlModifier; }

} // namespace zelvar::services
