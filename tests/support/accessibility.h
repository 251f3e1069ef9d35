#pragma once

#include <QAccessible>
#include <QStringList>
#include <QWidget>

namespace zelvar::test {

// The window's own controls (those with a name of ours; Qt's inner parts start with "qt_")
// for which a screen reader would find no accessible name.
inline QStringList controlsWithoutAccessibleName(QWidget* window)
{
    QStringList missing;
    QList<QWidget*> controls = window->findChildren<QWidget*>();
    controls.prepend(window);
    for (QWidget* control : std::as_const(controls)) {
        const QString name = control->objectName();
        if (name.isEmpty() || name.startsWith(QLatin1String("qt_")))
            continue;
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(control);
        if (!face || face->text(QAccessible::Name).trimmed().isEmpty())
            missing.append(name);
    }
    return missing;
}

// What a screen reader reads in a grid's cell (row 0 the headings).
inline QString accessibleCellText(QWidget* grid, int row, int column)
{
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(grid);
    QAccessibleTableInterface* table = face ? face->tableInterface() : nullptr;
    if (!table)
        return QStringLiteral("<no table>");
    if (row == 0)
        return table->columnDescription(column);
    QAccessibleInterface* cell = table->cellAt(row - 1, column);
    return cell ? cell->text(QAccessible::Name) : QStringLiteral("<no cell>");
}

} // namespace zelvar::test
