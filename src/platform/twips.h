#pragma once

#include <QtGlobal>

class QWidget;

// Lengths on the windows are designed in twips (1/1440 inch); the screen works in pixels.
namespace zelvar::platform {

// Twips per pixel across and down: 1440 / the screen's logical DPI (15 at 96 DPI).
double twipsPerPixelX(const QWidget* widget = nullptr);
double twipsPerPixelY(const QWidget* widget = nullptr);

int twipsToPixelsX(double twips, const QWidget* widget = nullptr);
int twipsToPixelsY(double twips, const QWidget* widget = nullptr);
double pixelsToTwipsX(double pixels, const QWidget* widget = nullptr);
double pixelsToTwipsY(double pixels, const QWidget* widget = nullptr);

// Places a control at its design position and size, given in twips.
void placeTwips(QWidget* widget, double left, double top, double width, double height);

} // namespace zelvar::platform
