#pragma once

#include <QApplication>

namespace zelvar::platform {

// The hourglass pointer for the life of this object: set and restored in pairs, always.
class HourglassPointer
{
public:
    HourglassPointer() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~HourglassPointer() { QApplication::restoreOverrideCursor(); }
    HourglassPointer(const HourglassPointer&) = delete;
    HourglassPointer& operator=(const HourglassPointer&) = delete;
};

} // namespace zelvar::platform
