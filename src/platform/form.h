#pragma once

#include <QDialog>

#include <memory>

namespace zelvar::platform {

// Every label of the window lies beneath the other controls of its container, as a windowless
// label does on the desktop: where a label and a button overlap, the button is seen and
// clicked, and the label shows wherever nothing covers it.
void placeLabelsBeneath(QWidget* window);

// Whether a control can be seen: wholly inside its container, under no control stacked above
// it there, and its container likewise, up to the window.
bool inSight(const QWidget* control);

// A control out of sight takes no focus (Tab would land where nobody sees, and Space press
// it unseen); in sight it takes the focus as a button does.
void takeFocusOnlyInSight(QWidget* control);

// A window of the component, with the life cycle they all share: it is among the loaded
// windows (forms.h) for as long as it exists, Load builds it and runs its Form_Load, and its
// Form_Unload runs exactly once, whether the window unloads itself early or is destroyed.
class Form : public QDialog
{
    Q_OBJECT

public:
    ~Form() override;

    bool isUnloaded() const { return m_unloaded; }

protected:
    Form();

    // Builds a window (its constructor is its own) and runs its load-time set-up.
    template<typename Window>
    static std::unique_ptr<Window> load(Window* built)
    {
        std::unique_ptr<Window> window(built);
        placeLabelsBeneath(window.get());
        static_cast<Form*>(window.get())->Form_Load();
        return window;
    }

    // Runs Form_Unload the first time only. A window's destructor calls it while the window
    // is still whole.
    void unload();

    virtual void Form_Load() {}
    virtual void Form_Unload() {}

private:
    bool m_unloaded = false;
};

} // namespace zelvar::platform
