#pragma once

#include <QList>

class QWidget;

// The component's loaded windows, for the procedures that act on all of them.
namespace zelvar::platform {

void registerForm(QWidget* form);
void unregisterForm(QWidget* form);
QList<QWidget*> loadedForms();

// Disables or enables every loaded window. Qt takes the focus away from a window's control
// when the window is disabled and never gives it back; the desktop keeps it. So disabling
// remembers each window's focused control, and enabling gives it back where nothing else
// has taken the focus since. Disabling twice keeps what the first time remembered.
void setFormsEnabled(bool enabled);
// True while enabling gives a control its focus back: the control never lost the focus as
// far as the user is concerned, so its "got focus" handling does not run.
bool givingFocusBack();

} // namespace zelvar::platform
