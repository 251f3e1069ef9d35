#include "fonts.h"

#include <QStringList>

#include <mutex>

namespace zelvar::platform {

QFont designFont(double points)
{
    static std::once_flag substituted;
    std::call_once(substituted, [] {
        QFont::insertSubstitutions(QStringLiteral("Tahoma"),
                                   {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans Condensed"),
                                    QStringLiteral("Arial")});
    });
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSizeF(points);
    return font;
}

} // namespace zelvar::platform
