#pragma once

#include <QAccessible>
#include <QList>
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

// Turns accessibility on, as a screen reader does by being there, and keeps what the widgets
// tell it until it goes. Each event is kept as the screen reader would have read it then: the
// cell a focus event names may be gone by the time the test looks.
class AccessibilityEvents
{
public:
    struct Event
    {
        QAccessible::Event type;
        QObject* object;
        QString text;            // the name of what the event names
        QAccessible::Id id;      // and how a screen reader asks for it later
        QAccessible::Role role;
        bool focused;
        int firstRow;            // a table's change
        int lastRow;
    };

    AccessibilityEvents()
    {
        s_current = this;
        m_previous = QAccessible::installUpdateHandler(&record);
        QAccessible::setActive(true);
    }
    ~AccessibilityEvents()
    {
        QAccessible::setActive(false);
        QAccessible::installUpdateHandler(m_previous);
        s_current = nullptr;
    }
    AccessibilityEvents(const AccessibilityEvents&) = delete;
    AccessibilityEvents& operator=(const AccessibilityEvents&) = delete;

    QList<Event> of(const QObject* object, QAccessible::Event type) const
    {
        QList<Event> found;
        for (const Event& e : m_events) {
            if (e.object == object && e.type == type)
                found.append(e);
        }
        return found;
    }

private:
    static void record(QAccessibleEvent* event)
    {
        QAccessibleInterface* face = event->accessibleInterface();
        Event kept{event->type(), event->object(), face ? face->text(QAccessible::Name) : QString(),
                   face ? QAccessible::uniqueId(face) : 0, face ? face->role() : QAccessible::NoRole,
                   face && face->state().focused, -1, -1};
        if (event->type() == QAccessible::TableModelChanged) {
            const auto* change = static_cast<QAccessibleTableModelChangeEvent*>(event);
            kept.firstRow = change->firstRow();
            kept.lastRow = change->lastRow();
        }
        s_current->m_events.append(kept);
    }

    inline static AccessibilityEvents* s_current = nullptr;
    QAccessible::UpdateHandler m_previous = nullptr;
    QList<Event> m_events;
};

} // namespace zelvar::test
