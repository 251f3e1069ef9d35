#pragma once

#include "gridstyle.h"

#include <QColor>
#include <QHash>
#include <QStaticText>
#include <QHeaderView>
#include <QProxyStyle>
#include <QStyledItemDelegate>

namespace zelvar::platform {

class GridModel;

// Laid-out texts kept between paints: a repaint after scrolling draws mostly the same texts,
// and laying a text out costs more than drawing it. Bounded; emptied when full.
class TextCache
{
public:
    const QStaticText& text(const QString& text, const QFont& font, quint32 fontKey);

private:
    struct Key
    {
        QString text;
        quint32 font;
        bool operator==(const Key& other) const { return font == other.font && text == other.text; }
    };
    friend size_t qHash(const Key& key, size_t seed) { return qHashMulti(seed, key.text, key.font); }

    QHash<Key, QStaticText> m_texts;
    QStaticText m_uncached;
};

// Draws one cell from its look: background, text in its font, colour and alignment, the
// drop-down arrow or list lines of its kind, and the current-cell frame. It reads the look
// once and no roles, so a cell costs one style request.
class GridDelegate : public QStyledItemDelegate
{
public:
    GridDelegate(GridModel* model, QObject* parent);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // Paints a cell of this look into rect over the given default colours.
    static void paintLook(QPainter* painter, const QRect& rect, const CellLook& look, const GridModel& model,
                          TextCache& cache, const QColor& background, const QColor& text);

private:
    GridModel* m_model;
    mutable TextCache m_cache;
};

// The heading row: each section painted from the look of its row-0 cell.
class GridHeader : public QHeaderView
{
public:
    GridHeader(GridModel* model, QWidget* parent);

    void setLineColour(const QColor& colour) { m_line = colour; }
    // The heading row has the height the grid gives it; nothing is measured from contents.
    QSize sizeHint() const override { return {length(), height()}; }

protected:
    QSize sectionSizeFromContents(int logicalIndex) const override { return {sectionSize(logicalIndex), height()}; }
    void paintEvent(QPaintEvent* event) override;
    void paintSection(QPainter* painter, const QRect& rect, int section) const override;

private:
    GridModel* m_model;
    mutable TextCache m_cache;
    QColor m_line = QColor(192, 192, 192);
};

// Gives the grid lines the colour and pen style the window set.
class GridLineStyle : public QProxyStyle
{
public:
    QColor colour = QColor(192, 192, 192);
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override;
};

} // namespace zelvar::platform
