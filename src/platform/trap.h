#pragma once

#include "component/runtimeerror.h"
#include "messagebox.h"

#include <QString>

#include <utility>

namespace zelvar::platform {

enum class Beep : bool { No, Yes };

// Reports a text through the host's utilities. The report is trapped itself: a host that
// cannot take it (or was never given to the component) must not turn one error into two, and
// the text goes to the log instead.
void reportToHost(const QString& text);

// A critical box under the host's message title (its own failure goes to the log).
void showCritical(const QString& text);

// The error handler most procedures share: runs body, and when a run-time error escapes it,
// sounds the beep if asked and reports `where` followed by the error's description. Returns
// whether body ran through.
template<typename Fn>
bool trapAndReport(Fn&& body, const QString& where, Beep beep = Beep::No)
{
    const std::optional<component::ErrorInfo> error = component::trapped(std::forward<Fn>(body));
    if (!error)
        return true;
    if (beep == Beep::Yes)
        platform::beep();
    reportToHost(where + error->description);
    return false;
}

// As trapAndReport, and the user is told too: `shown` in a critical box under the host's title.
template<typename Fn>
bool trapReportAndShow(Fn&& body, const QString& where, const QString& shown)
{
    if (trapAndReport(std::forward<Fn>(body), where))
        return true;
    showCritical(shown);
    return false;
}

} // namespace zelvar::platform
