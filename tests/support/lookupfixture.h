#pragma once

#include "componentfixture.h"
#include "modaldriver.h"
#include "patientreplies.h"

#include "patlookup/frmpatlookup.h"

#include <QCloseEvent>
#include <QtTest/qtestspontaneevent.h>

namespace zelvar::test {

// A patient lookup run through the public operation, with a script that drives the dialog
// once it is shown.
class LookupFixture : public ComponentFixture
{
protected:
    using Dialog = patlookup::frmPatLookup;

    QString lookupWith(const QString& text, std::function<void(Dialog&)> script, const QString& searchBy = {},
                       bool alwaysShow = false, const QString& mode = {}, bool allowModeSwitch = false)
    {
        ModalDriver driver(QStringLiteral("frmPatLookup"),
                           {[script](QWidget* w) { script(*static_cast<Dialog*>(w)); }});
        const QString result = lookup.PatientLookupExtended(text, searchBy, alwaysShow, mode, allowModeSwitch);
        shows = driver.shows;
        EXPECT_FALSE(driver.timedOut) << "the dialog was left open";
        return result;
    }

    static void cancel(Dialog& dialog) { dialog.cmdCancel_Click(); }

    // What the window system sends when the user clicks the close box.
    static void closeBox(QWidget& window)
    {
        QCloseEvent event;
        QSpontaneKeyEvent::setSpontaneous(&event);
        qApp->notify(&window, &event);
    }

    int shows = 0;
};

} // namespace zelvar::test
