#include "twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace zelvar::platform {
namespace {

const QScreen* screenOf(const QWidget* widget)
{
    if (widget && widget->screen())
        return widget->screen();
    return QGuiApplication::primaryScreen();
}

double dpiX(const QWidget* widget)
{
    const QScreen* screen = screenOf(widget);
    const double dpi = screen ? screen->logicalDotsPerInchX() : 96.0;
    return dpi > 0 ? dpi : 96.0;
}

double dpiY(const QWidget* widget)
{
    const QScreen* screen = screenOf(widget);
    const double dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
    return dpi > 0 ? dpi : 96.0;
}

} // namespace

double twipsPerPixelX(const QWidget* widget) { return 1440.0 / dpiX(widget); }
double twipsPerPixelY(const QWidget* widget) { return 1440.0 / dpiY(widget); }

int twipsToPixelsX(double twips, const QWidget* widget) { return int(std::lround(twips / twipsPerPixelX(widget))); }
int twipsToPixelsY(double twips, const QWidget* widget) { return int(std::lround(twips / twipsPerPixelY(widget))); }
double pixelsToTwipsX(double pixels, const QWidget* widget) { return pixels * twipsPerPixelX(widget); }
double pixelsToTwipsY(double pixels, const QWidget* widget) { return pixels * twipsPerPixelY(widget); }

void placeTwips(QWidget* widget, double left, double top, double width, double height)
{
    widget->setGeometry(twipsToPixelsX(left, widget), twipsToPixelsY(top, widget), twipsToPixelsX(width, widget),
                        twipsToPixelsY(height, widget));
}

} // namespace zelvar::platform
