#pragma once

#include <QList>

class QWidget;

// The component's loaded windows, for the procedures that act on all of them.
namespace zelvar::platform {

void registerForm(QWidget* form);
void unregisterForm(QWidget* form);
QList<QWidget*> loadedForms();

} // namespace zelvar::platform
