#pragma once

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace zelvar::test {

// Drives a modal window from inside its own loop: each time a top-level window with the given
// name is shown, the next script runs on it (after the show has finished). A window still open
// after the watchdog's time is closed with Esc, so that a broken test fails instead of hanging.
class ModalDriver : public QObject
{
public:
    using Script = std::function<void(QWidget*)>;

    ModalDriver(const QString& windowName, QList<Script> scripts, int watchdogMs = 10000)
        : m_name(windowName)
        , m_scripts(std::move(scripts))
        , m_watchdogMs(watchdogMs)
    {
        qApp->installEventFilter(this);
    }
    ~ModalDriver() override { qApp->removeEventFilter(this); }

    int shows = 0;
    bool timedOut = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched->objectName() == m_name && watched->isWidgetType()
            && static_cast<QWidget*>(watched)->isWindow()) {
            QPointer<QWidget> window = static_cast<QWidget*>(watched);
            const int index = shows++;
            QTimer::singleShot(0, this, [this, window, index] {
                if (window && index < m_scripts.size())
                    m_scripts[index](window);
            });
            QTimer::singleShot(m_watchdogMs, this, [this, window, index] {
                if (window && window->isVisible() && shows == index + 1) {
                    timedOut = true;
                    window->hide();
                }
            });
        }
        return false;
    }

private:
    QString m_name;
    QList<Script> m_scripts;
    int m_watchdogMs;
};

} // namespace zelvar::test
