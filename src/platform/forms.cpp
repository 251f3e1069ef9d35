#include "forms.h"

#include <QPointer>
#include <QWidget>

namespace zelvar::platform {
namespace {

struct Form
{
    QPointer<QWidget> window;
    // The control that had the focus when the window was disabled.
    QPointer<QWidget> focus;
};

thread_local bool t_givingFocusBack = false;

QList<Form>& forms()
{
    thread_local QList<Form> list;
    return list;
}

void giveFocusBack(Form& form)
{
    QWidget* control = form.focus;
    form.focus = nullptr;
    if (!control || form.window->focusWidget())
        return;
    if (control->isVisible() && control->isEnabled() && control->window() == form.window) {
        t_givingFocusBack = true;
        control->setFocus(Qt::OtherFocusReason);
        t_givingFocusBack = false;
    }
}

} // namespace

void registerForm(QWidget* form)
{
    forms().append({form, nullptr});
}

void unregisterForm(QWidget* form)
{
    forms().removeIf([form](const Form& f) { return f.window.isNull() || f.window == form; });
}

QList<QWidget*> loadedForms()
{
    QList<QWidget*> out;
    for (const Form& f : std::as_const(forms())) {
        if (f.window)
            out.append(f.window);
    }
    return out;
}

bool givingFocusBack()
{
    return t_givingFocusBack;
}

void setFormsEnabled(bool enabled)
{
    for (Form& form : forms()) {
        if (!form.window)
            continue;
        if (!enabled && form.window->isEnabled())
            form.focus = form.window->focusWidget();
        form.window->setEnabled(enabled);
        if (enabled)
            giveFocusBack(form);
    }
}

} // namespace zelvar::platform
