#include "buttons.h"

#include <QKeyEvent>
#include <QShortcutEvent>

namespace zelvar::platform {

CommandButton::CommandButton(const QString& caption, QWidget* parent)
    : QPushButton(caption, parent)
{
    setAutoDefault(false);
    setDefault(false);
}

void CommandButton::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const Qt::KeyboardModifiers held = event->modifiers() & ~Qt::KeypadModifier;
    if (enter && held == Qt::NoModifier) {
        if (!event->isAutoRepeat())
            click();
        event->accept();
        return;
    }
    QPushButton::keyPressEvent(event);
}

OptionButton::OptionButton(const QString& caption, QWidget* parent)
    : QRadioButton(caption, parent)
{
    connect(this, &QAbstractButton::toggled, this, [this] { updateTabStops(); });
}

bool OptionButton::event(QEvent* event)
{
    if (event->type() == QEvent::Shortcut && !static_cast<QShortcutEvent*>(event)->isAmbiguous()) {
        if (!isEnabled())
            return true;
        setFocus(Qt::ShortcutFocusReason);
        click();
        return true;
    }
    return QRadioButton::event(event);
}

void OptionButton::updateTabStops()
{
    const QList<OptionButton*> group = parentWidget()
        ? parentWidget()->findChildren<OptionButton*>(Qt::FindDirectChildrenOnly)
        : QList<OptionButton*>{this};
    bool anyChecked = false;
    for (const OptionButton* option : group)
        anyChecked = anyChecked || option->isChecked();
    // With nothing checked every option stays reachable.
    for (OptionButton* option : group)
        option->setFocusPolicy(!anyChecked || option->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
}

} // namespace zelvar::platform
