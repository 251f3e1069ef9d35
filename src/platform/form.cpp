#include "form.h"

#include "forms.h"

#include <QLabel>

namespace zelvar::platform {

void placeLabelsBeneath(QWidget* window)
{
    const QList<QLabel*> labels = window->findChildren<QLabel*>();
    for (QLabel* label : labels)
        label->lower();
}

bool inSight(const QWidget* control)
{
    // Everything in the window's coordinates: a container may itself reach past the window's
    // edge while the part that holds the control is seen.
    const QWidget* window = control->window();
    const auto area = [window](const QWidget* w) { return QRect(w->mapTo(window, QPoint(0, 0)), w->size()); };
    const QRect seen = area(control);
    for (const QWidget* w = control; w != window; w = w->parentWidget()) {
        const QWidget* container = w->parentWidget();
        if (!w->isVisibleTo(container) || !area(container).contains(seen))
            return false;
        // Children are stacked in the order of the list: the later ones lie above.
        const QObjectList& siblings = container->children();
        for (qsizetype i = siblings.indexOf(const_cast<QWidget*>(w)) + 1; i < siblings.size(); ++i) {
            const auto* above = qobject_cast<const QWidget*>(siblings.at(i));
            if (above && !above->isWindow() && above->isVisibleTo(container) && area(above).intersects(seen))
                return false;
        }
    }
    return true;
}

void takeFocusOnlyInSight(QWidget* control)
{
    control->setFocusPolicy(inSight(control) ? Qt::StrongFocus : Qt::NoFocus);
}

Form::Form()
{
    registerForm(this);
}

Form::~Form()
{
    unregisterForm(this);
}

void Form::unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    Form_Unload();
}

} // namespace zelvar::platform
