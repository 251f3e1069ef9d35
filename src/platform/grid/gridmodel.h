#pragma once

#include "gridstyle.h"

#include <QAbstractTableModel>
#include <QFont>
#include <QHash>

#include <functional>

namespace zelvar::platform {

// The grid's model keeps no cell texts: every cell is asked for, as it is painted, through the
// style request, and the answer is what every role reports. Grid row 0 (the headings) is the
// horizontal header; grid row r >= 1 is model row r - 1; grid column c is model column c.
//
// While the grid paints, one cell's answer is kept until the next cell is asked for, so a cell
// costs one request however many roles are read for it; outside painting every read asks anew.
class GridModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Role {
        CellKindRole = Qt::UserRole + 1,   // CellKind as int
        ChoiceListRole,
    };

    // (grid row, column, style to fill, result object)
    using StyleRequest = std::function<void(int, int, GridStyle&, GridValue&)>;
    // (grid row, column) -> the tool tip the grid carries once the pointer is over that cell
    using TipRequest = std::function<QString(int, int)>;

    explicit GridModel(QObject* parent = nullptr);

    void setStyleRequest(StyleRequest request) { m_request = std::move(request); }
    void setTipRequest(TipRequest request) { m_tipRequest = std::move(request); }
    QString tip(int gridRow, int column) const { return m_tipRequest ? m_tipRequest(gridRow, column) : QString(); }
    StylesMap& styles() { return m_styles; }

    // Rows after the heading row, and columns after column 0.
    void setGridRowCount(int rows);
    int gridRowCount() const { return m_rows; }
    void setGridColCount(int columns);
    int gridColCount() const { return m_columns; }

    void setBaseFont(const QFont& font);
    const QFont& baseFont() const { return m_baseFont; }
    void setZoom(int percent);
    int zoom() const { return m_zoom; }
    // The font a cell of this look is drawn in, at the present zoom.
    const QFont& fontFor(const CellLook& look) const;
    // A number that tells fonts apart for caching drawn texts (changes with the zoom).
    quint32 fontKey(const CellLook& look) const;

    // The look of one cell, asked of the style request (kept while painting).
    const CellLook& look(int gridRow, int column) const;
    // Bracket a paint: answers are kept only inside one.
    void beginPaint();
    void endPaint();
    bool isPainting() const { return m_painting; }
    // Tells paints apart: changes with every paint, 0 outside one. What is read once per
    // paint is kept against it.
    quint64 paintSerial() const { return m_painting ? m_paintSerial : 0; }

    // How many times the style request has been made; for tests and measurements.
    quint64 styleRequests() const { return m_requests; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    QVariant roleOf(const CellLook& look, int gridRow, int column, int role) const;

    StyleRequest m_request;
    TipRequest m_tipRequest;
    StylesMap m_styles;
    int m_rows = 0;
    int m_columns = 0;
    QFont m_baseFont;
    int m_zoom = 100;
    mutable QHash<quint32, QFont> m_fonts;

    bool m_painting = false;
    quint64 m_paintSerial = 0;
    mutable bool m_cached = false;
    mutable int m_cachedRow = -1;
    mutable int m_cachedColumn = -1;
    mutable CellLook m_cachedLook;
    mutable quint64 m_requests = 0;
};

} // namespace zelvar::platform
