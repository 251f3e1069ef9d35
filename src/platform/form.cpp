#include "form.h"

#include "forms.h"

namespace zelvar::platform {

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
