#pragma once

#include <QPushButton>
#include <QRadioButton>

// Buttons that answer the keyboard as the desktop's buttons do.
namespace zelvar::platform {

// A command button: Enter (or Return) on the focused button presses it, as Space does. Qt
// leaves Enter to a dialog's default button unless the button is an auto-default one, and
// the windows keep their buttons out of that scheme so that the search box and the grids own
// Enter everywhere else.
class CommandButton : public QPushButton
{
public:
    explicit CommandButton(const QString& caption, QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

// An option button of a group (its parent's option buttons):
// - its access key selects it at once, so that a key typed right after it already sees the
//   new choice (Qt presses a button by shortcut through a 100 ms delayed click);
// - only the checked option of the group is a Tab stop, so that Tab lands on the checked
//   option and the next Tab leaves the group, as a radio group does on the desktop.
class OptionButton : public QRadioButton
{
public:
    explicit OptionButton(const QString& caption, QWidget* parent = nullptr);

protected:
    bool event(QEvent* event) override;

private:
    void updateTabStops();
};

} // namespace zelvar::platform
