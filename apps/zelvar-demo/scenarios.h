#pragma once

#include <QString>
#include <QStringList>

namespace zelvar::demo {

class FrontDesk;

// The scripted pictures: each scenario opens the real windows as a clerk would and saves a
// picture of the window on top, then ends the program.
QStringList scenarioNames();
// Starts the scenario on the front desk once the event loop runs; false for an unknown name.
bool runScenario(const QString& name, FrontDesk& desk, const QString& screenshot);

} // namespace zelvar::demo
