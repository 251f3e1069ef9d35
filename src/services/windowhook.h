#pragma once

#include <QObject>
#include <QPointer>

class QDialog;

// The mouse-wheel hook of the patient lookup dialog: while a dialog is hooked, every wheel
// event that reaches it scrolls its grid by exactly one row, whatever the wheel's distance,
// and still goes on to the dialog itself. One dialog is hooked at a time, none in debug mode.
namespace zelvar::services {

// What a hooked dialog does with one wheel event.
class WheelTarget
{
public:
    virtual ~WheelTarget() = default;
    virtual void ScrollGrid(bool ScrollUp) = 0;
};

void HookLookupWindow(QDialog* window, WheelTarget* target);
void UnhookLookupWindow(QDialog* window);
// The dialog hooked now, if any.
QDialog* hookedLookupWindow();

} // namespace zelvar::services
