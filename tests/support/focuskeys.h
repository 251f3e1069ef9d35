#pragma once

#include <QApplication>
#include <QKeySequence>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

// Keys as a user types them: each goes to the widget that has the keyboard focus, never to a
// widget the test picked. A key with no widget to go to fails with the key's name, so a
// scenario that loses the focus stops there instead of passing by sending keys elsewhere.
namespace zelvar::test {

// Makes the window the active one, as a click on it would: keys then have a widget to go to.
inline void activate(QWidget& window)
{
    window.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
}

} // namespace zelvar::test

namespace zelvar::test::keys {

inline ::testing::AssertionResult focused(const char* what)
{
    QWidget* widget = QApplication::focusWidget();
    if (!widget)
        return ::testing::AssertionFailure() << "no widget has the keyboard focus for " << what;
    return ::testing::AssertionSuccess() << widget->objectName().toStdString();
}

inline ::testing::AssertionResult click(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    const std::string name = QKeySequence(modifiers | key).toString().toStdString();
    auto result = focused(name.c_str());
    if (result)
        QTest::keyClick(QApplication::focusWidget(), key, modifiers);
    return result;
}

inline ::testing::AssertionResult press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    auto result = focused("a key press");
    if (result)
        QTest::keyPress(QApplication::focusWidget(), key, modifiers);
    return result;
}

inline ::testing::AssertionResult release(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    auto result = focused("a key release");
    if (result)
        QTest::keyRelease(QApplication::focusWidget(), key, modifiers);
    return result;
}

// Types text one character at a time, each to whichever widget has the focus then.
inline ::testing::AssertionResult type(const QString& text)
{
    for (QChar c : text) {
        auto result = focused(qPrintable(QStringLiteral("'%1'").arg(c)));
        if (!result)
            return result;
        QTest::keyClicks(QApplication::focusWidget(), QString(c));
    }
    return ::testing::AssertionSuccess();
}

// Enter pressed and released where the focus is (the grid chooses on the release).
inline ::testing::AssertionResult enter()
{
    auto result = press(Qt::Key_Return);
    if (result && QApplication::focusWidget())
        QTest::keyRelease(QApplication::focusWidget(), Qt::Key_Return);
    return result;
}

} // namespace zelvar::test::keys
