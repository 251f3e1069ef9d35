#include "windowhook.h"

#include "component/references.h"
#include "component/runtimeerror.h"
#include "platform/trap.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QWheelEvent>

using namespace zelvar::component;

namespace zelvar::services {
namespace {

// Sees every wheel event over the hooked dialog, whichever of its controls is under the
// pointer, before that control does (PLKWndProc). Installed on the application: Qt hands a
// wheel event to the widget under the pointer first, and a scroll bar would take it there
// and scroll three rows.
class WheelHook : public QObject
{
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Wheel || !window || !watched->isWidgetType()
            || static_cast<QWidget*>(watched)->window() != window)
            return false;
        auto* wheel = static_cast<QWheelEvent*>(event);
        // A horizontal wheel (or tilt) is left to the control under the pointer.
        if (wheel->angleDelta().y() == 0)
            return false;
        platform::trapAndReport([&] { PLKWndProc(wheel); }, QStringLiteral("ERR in modPatLookup.PLKWndProc  "),
                                platform::Beep::Yes);
        // One notch, one row: no control scrolls by the same event as well.
        return true;
    }

    void PLKWndProc(QWheelEvent* wheel)
    {
        if (component::utils().IsDebugMode() || !target)
            return;
        target->ScrollGrid(wheel->angleDelta().y() > 0);
    }

    QPointer<QDialog> window;
    WheelTarget* target = nullptr;
};

WheelHook& hook()
{
    thread_local WheelHook instance;
    return instance;
}

bool debugMode()
{
    return component::utils().IsDebugMode();
}

} // namespace

void HookLookupWindow(QDialog* window, WheelTarget* target)
{
    // No hook while debugging; any failure here leaves the dialog unhooked.
    trapped([&] {
        if (debugMode() || !window)
            return;
        WheelHook& h = hook();
        if (h.window)
            return;
        h.window = window;
        h.target = target;
        qApp->installEventFilter(&h);
    });
}

void UnhookLookupWindow(QDialog* window)
{
    trapped([&] {
        if (debugMode())
            return;
        WheelHook& h = hook();
        if (!window || window != h.window)
            return;
        qApp->removeEventFilter(&h);
        h.window = nullptr;
        h.target = nullptr;
    });
}

QDialog* hookedLookupWindow()
{
    return hook().window;
}

} // namespace zelvar::services
