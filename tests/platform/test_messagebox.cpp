// The message box and beep stand-ins.
#include "platform/messagebox.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

using namespace zelvar;

namespace {

struct Shown { QMessageBox::Icon icon = QMessageBox::NoIcon; QString title; QString text; bool seen = false; };

// Shows a box with the default handler and reads it from inside its own modal loop.
Shown showAndRead(const QString& prompt, int style, const QString& title)
{
    Shown shown;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        shown = {box->icon(), box->windowTitle(), box->text(), true};
        box->accept();
    });
    EXPECT_EQ(platform::messageBox(prompt, style, title), 1);
    return shown;
}

} // namespace

// Catches the wrong icon for a style, a lost title, or a box that never closes.
TEST(MessageBox, shouldShowTheIconTheStyleAsksFor)
{
    const struct { int style; QMessageBox::Icon icon; } cases[] = {
        {0, QMessageBox::NoIcon}, {16, QMessageBox::Critical}, {64, QMessageBox::Information},
    };
    for (const auto& c : cases) {
        const Shown shown = showAndRead(QStringLiteral("Invalid format "), c.style, QStringLiteral("Title %1").arg(c.style));
        ASSERT_TRUE(shown.seen);
        EXPECT_EQ(shown.icon, c.icon);
        EXPECT_EQ(shown.title, QStringLiteral("Title %1").arg(c.style));
        EXPECT_EQ(shown.text, QStringLiteral("Invalid format "));
    }
}

// Catches handlers that are not used, or not given back when cleared.
TEST(MessageBox, shouldRouteThroughTheInstalledHandlers)
{
    QString prompt;
    int beeps = 0;
    platform::setMessageBoxHandler([&](const QString& p, int, const QString&) {
        prompt = p;
        return 1;
    });
    platform::setBeepHandler([&] { ++beeps; });
    platform::messageBox(QStringLiteral("hello"), 64, QStringLiteral("t"));
    platform::beep();
    platform::setMessageBoxHandler({});
    platform::setBeepHandler({});

    EXPECT_EQ(prompt, QStringLiteral("hello"));
    EXPECT_EQ(beeps, 1);
    EXPECT_TRUE(showAndRead(QStringLiteral("default again"), 0, {}).seen);
}
