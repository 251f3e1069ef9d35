#include "forms.h"

#include <QPointer>
#include <QWidget>

namespace zelvar::platform {
namespace {

QList<QPointer<QWidget>>& forms()
{
    thread_local QList<QPointer<QWidget>> list;
    return list;
}

} // namespace

void registerForm(QWidget* form)
{
    forms().append(form);
}

void unregisterForm(QWidget* form)
{
    forms().removeIf([form](const QPointer<QWidget>& f) { return f.isNull() || f == form; });
}

QList<QWidget*> loadedForms()
{
    QList<QWidget*> out;
    for (const QPointer<QWidget>& f : std::as_const(forms())) {
        if (f)
            out.append(f);
    }
    return out;
}

} // namespace zelvar::platform
