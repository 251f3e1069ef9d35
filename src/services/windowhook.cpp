#include "windowhook.h"

#include "component/references.h"
#include "component/runtimeerror.h"
#include "platform/messagebox.h"

#include <QDialog>
#include <QEvent>
#include <QWheelEvent>

namespace zelvar::services {
namespace {

// Sees the hooked dialog's events before the dialog does (PLKWndProc).
class WheelHook : public QObject
{
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Wheel || watched != window)
            return false;
        ErrorInfo error;
        if (!trapErrors([&] { PLKWndProc(static_cast<QWheelEvent*>(event)); }, error)) {
            platform::beep();
            if (component::hasUtils())
                trapErrors([&] { component::utils().ReportError(QStringLiteral("ERR in modPatLookup.PLKWndProc  ") + error.description); }, error);
            return true;
        }
        // The event still reaches the dialog's own handling.
        return false;
    }

    void PLKWndProc(QWheelEvent* wheel)
    {
        if (component::utils().IsDebugMode() || !target)
            return;
        const QPoint delta = wheel->angleDelta();
        const int distance = delta.y() != 0 ? delta.y() : delta.x();
        if (distance == 0)
            return;
        target->ScrollGrid(distance > 0);
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
    ErrorInfo error;
    trapErrors([&] {
        if (debugMode() || !window)
            return;
        WheelHook& h = hook();
        if (h.window)
            return;
        h.window = window;
        h.target = target;
        window->installEventFilter(&h);
    }, error);
}

void UnhookLookupWindow(QDialog* window)
{
    ErrorInfo error;
    trapErrors([&] {
        if (debugMode())
            return;
        WheelHook& h = hook();
        if (!window || window != h.window)
            return;
        window->removeEventFilter(&h);
        h.window = nullptr;
        h.target = nullptr;
    }, error);
}

QDialog* hookedLookupWindow()
{
    return hook().window;
}

} // namespace zelvar::services
