#pragma once

#include <QFont>

namespace zelvar::platform {

// The windows' design font (Tahoma) at the given size. Where Tahoma is not installed, a font
// of similar width stands in (Liberation Sans, then DejaVu Sans Condensed), so that captions
// fit the design's sizes.
QFont designFont(double points = 8.25);

} // namespace zelvar::platform
