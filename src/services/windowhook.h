#pragma once

#include <QObject>
#include <QPointer>

class QDialog;

// The mouse-wheel hook of the patient lookup dialog: while a dialog is hooked, every vertical
// wheel event over it, whichever control is under the pointer, scrolls its grid by exactly one
// row, whatever the wheel's distance; a horizontal one is left to that control. One dialog is
// hooked at a time, none in debug mode.
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
