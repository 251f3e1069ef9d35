#include "messagebox.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <mutex>

namespace zelvar::platform {
namespace {

struct Handlers
{
    std::mutex mutex;
    std::function<int(const QString&, int, const QString&)> messageBox;
    std::function<void()> beep;
};

Handlers& handlers()
{
    static Handlers instance;
    return instance;
}

QMessageBox::Icon iconFor(int style)
{
    switch (style & 0x70) {
    case 16: return QMessageBox::Critical;
    case 32: return QMessageBox::Question;
    case 48: return QMessageBox::Warning;
    case 64: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
    }
}

bool haveWidgets()
{
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

int defaultMessageBox(const QString& prompt, int style, const QString& title)
{
    if (!haveWidgets()) {
        // A host without widgets still learns what the box would have said.
        std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(prompt));
        return 1;
    }
    QMessageBox box(iconFor(style), title, prompt, QMessageBox::Ok, QApplication::activeWindow());
    box.setObjectName(QStringLiteral("MsgBox"));
    box.exec();
    return 1;
}

} // namespace

void setMessageBoxHandler(std::function<int(const QString&, int, const QString&)> handler)
{
    std::lock_guard lock(handlers().mutex);
    handlers().messageBox = std::move(handler);
}

void setBeepHandler(std::function<void()> handler)
{
    std::lock_guard lock(handlers().mutex);
    handlers().beep = std::move(handler);
}

int messageBox(const QString& prompt, int style, const QString& title)
{
    std::function<int(const QString&, int, const QString&)> handler;
    {
        std::lock_guard lock(handlers().mutex);
        handler = handlers().messageBox;
    }
    return handler ? handler(prompt, style, title) : defaultMessageBox(prompt, style, title);
}

void beep()
{
    std::function<void()> handler;
    {
        std::lock_guard lock(handlers().mutex);
        handler = handlers().beep;
    }
    if (handler)
        handler();
    else if (haveWidgets())
        QApplication::beep();
}

} // namespace zelvar::platform
