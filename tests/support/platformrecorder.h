#pragma once

#include <zelvar/platform.h>

#include <QList>
#include <QString>
#include <QStringList>

namespace zelvar::test {

// Takes over the message box and the beep for the life of a test, keeping what they were
// asked to show. Every event also goes into `events`, in order.
class PlatformRecorder
{
public:
    struct Box { QString prompt; int style = 0; QString title; };

    PlatformRecorder()
    {
        platform::setMessageBoxHandler([this](const QString& prompt, int style, const QString& title) {
            boxes.append({prompt, style, title});
            events.append(QStringLiteral("box: ") + prompt);
            return 1;
        });
        platform::setBeepHandler([this] {
            ++beeps;
            events.append(QStringLiteral("beep"));
        });
    }
    ~PlatformRecorder()
    {
        platform::setMessageBoxHandler({});
        platform::setBeepHandler({});
    }
    PlatformRecorder(const PlatformRecorder&) = delete;
    PlatformRecorder& operator=(const PlatformRecorder&) = delete;

    QList<Box> boxes;
    int beeps = 0;
    QStringList events;
};

} // namespace zelvar::test
