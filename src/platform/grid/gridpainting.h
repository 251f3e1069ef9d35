#pragma once

#include "gridstyle.h"

#include <QColor>
#include <QGlyphRun>
#include <QHash>
#include <QRawFont>
#include <QStaticText>
#include <QHeaderView>
#include <QProxyStyle>
#include <QStyledItemDelegate>
#include <QVarLengthArray>

#include <array>
#include <optional>
#include <vector>

namespace zelvar::platform {

class GridModel;

// A text ready to draw. A cell's text is usually a short run of Latin letters that the font
// has: it is placed straight from the font's glyphs and kerned advances (a table lookup per
// letter), which is what keeps a page of never-seen rows cheap. Any other text is laid out by
// Qt's full text engine.
struct LaidOutText
{
    QGlyphRun glyphs;       // when it has glyphs
    std::optional<QStaticText> text;   // otherwise
    QSizeF size;
    qreal ascent = 0;
};

// Laid-out texts kept between paints: a repaint draws mostly the texts it drew before. A text
// is kept from the second time it is drawn; the first time it is placed in scratch space, so a
// page of rows never seen costs no memory traffic for texts that may not come back. Bounded;
// emptied when full.
class TextCache
{
public:
    const LaidOutText& text(const QString& text, const QFont& font, quint32 fontKey);

private:
    struct Key
    {
        QString text;
        quint32 font;
        bool operator==(const Key& other) const { return font == other.font && text == other.text; }
    };
    friend size_t qHash(const Key& key, size_t seed) { return qHashMulti(seed, key.text, key.font); }

    // A font's glyphs for the letters U+0020 to U+00FF (0: the font has none), with each one's
    // advance and, as they are met, the kerning of pairs of them.
    struct FontGlyphs
    {
        QRawFont font;
        std::array<quint32, 256> glyph{};
        std::array<qreal, 256> advance{};
        QHash<quint16, qreal> kerning;      // letter << 8 | next letter
        qreal ascent = 0;
        qreal height = 0;
    };

    // Lays a text out to keep, or (once) into the scratch space, valid until the next call.
    LaidOutText layOut(const QString& text, const QFont& font, quint32 fontKey);
    const LaidOutText& layOutOnce(const QString& text, const QFont& font, quint32 fontKey);
    // Places a text's glyphs; false when the font lacks one of its letters.
    bool place(const QString& text, FontGlyphs& g, QVarLengthArray<quint32, 64>& glyphs,
               QVarLengthArray<QPointF, 64>& positions, qreal& width);
    static qreal kerning(FontGlyphs& g, char16_t letter, char16_t next);
    FontGlyphs& glyphsOf(const QFont& font, quint32 fontKey);

    QHash<Key, LaidOutText> m_texts;
    QHash<quint32, FontGlyphs> m_fonts;
    // The texts seen once (a hash per slot; a collision only keeps a text a little early).
    std::vector<size_t> m_seen = std::vector<size_t>(16384, 0);
    QVarLengthArray<quint32, 64> m_onceGlyphs;
    QVarLengthArray<QPointF, 64> m_oncePositions;
    LaidOutText m_once;
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
