#include "gridpainting.h"

#include "gridmodel.h"

#include <QPainter>
#include <QPaintEvent>

namespace zelvar::platform {
namespace {

const QColor kCellBackground(255, 255, 255);
const QColor kCellText(0, 0, 0);
const QColor kHeadingBackground(224, 224, 224);
constexpr int kTextMargin = 3;
constexpr qsizetype kMaxCachedTexts = 8192;
// Only short texts are kept, so that a server sending long cell texts cannot make the cache
// grow large; a long text is laid out each time it is drawn.
constexpr qsizetype kMaxCachedTextLength = 256;

void paintArrow(QPainter* painter, const QRect& cell)
{
    const int size = qMin(cell.height() - 4, 14);
    if (size < 6)
        return;
    const QRect box(cell.right() - size - 1, cell.top() + (cell.height() - size) / 2, size, size);
    painter->fillRect(box, QColor(232, 232, 232));
    painter->setPen(QColor(160, 160, 160));
    painter->drawRect(box.adjusted(0, 0, -1, -1));
    const QPoint c = box.center();
    const QPolygon arrow({QPoint(c.x() - 3, c.y() - 1), QPoint(c.x() + 3, c.y() - 1), QPoint(c.x(), c.y() + 2)});
    painter->setBrush(QColor(64, 64, 64));
    painter->setPen(Qt::NoPen);
    painter->drawPolygon(arrow);
    painter->setBrush(Qt::NoBrush);
}

// Draws a laid-out text with its top left corner at `at`.
void drawText(QPainter* painter, const QPointF& at, const LaidOutText& laidOut)
{
    if (laidOut.text)
        painter->drawStaticText(at, *laidOut.text);
    else
        painter->drawGlyphRun(QPointF(at.x(), at.y() + laidOut.ascent), laidOut.glyphs);
}

} // namespace

GridDelegate::GridDelegate(GridModel* model, QObject* parent)
    : QStyledItemDelegate(parent)
    , m_model(model)
{
}

TextCache::FontGlyphs& TextCache::glyphsOf(const QFont& font, quint32 fontKey)
{
    auto it = m_fonts.find(fontKey);
    if (it != m_fonts.end())
        return it.value();
    FontGlyphs g;
    g.font = QRawFont::fromFont(font);
    // A face that is not the one asked for (bold or italic made up by the engine) is left to
    // the full text engine, which draws it as asked.
    const bool faceAsAsked = g.font.isValid() && (g.font.weight() >= QFont::DemiBold) == font.bold()
        && (g.font.style() != QFont::StyleNormal) == font.italic();
    if (faceAsAsked) {
        for (char16_t c = 0x20; c <= 0xFF; ++c) {
            quint32 glyph = 0;
            int count = 1;
            const QChar letter(c);
            QPointF advance;
            if (g.font.glyphIndexesForChars(&letter, 1, &glyph, &count) && count == 1 && glyph != 0
                && g.font.advancesForGlyphIndexes(&glyph, &advance, 1, QRawFont::SeparateAdvances)) {
                g.glyph[c] = glyph;
                g.advance[c] = advance.x();
            }
        }
        // The line's height and baseline as the full text engine gives them, so that both
        // kinds of text stand the same in a cell.
        QStaticText probe(QStringLiteral("X"));
        probe.setTextFormat(Qt::PlainText);
        probe.prepare(QTransform(), font);
        g.ascent = QFontMetricsF(font).ascent();
        g.height = probe.size().height();
    } else {
        g.font = QRawFont();
    }
    return m_fonts.insert(fontKey, g).value();
}

qreal TextCache::kerning(FontGlyphs& g, char16_t letter, char16_t next)
{
    // The font's kerned advance of the pair less the letter's own: a pair's kerning depends on
    // the pair alone, so each is asked of the font once. Advances are in 64ths of a pixel, so
    // the sums are exact and a text is placed as the font would place it whole.
    const quint16 pair = quint16(letter << 8 | next);
    auto it = g.kerning.constFind(pair);
    if (it != g.kerning.constEnd())
        return it.value();
    const quint32 glyphs[2] = {g.glyph[letter], g.glyph[next]};
    QPointF advances[2];
    qreal adjust = 0;
    if (g.font.advancesForGlyphIndexes(glyphs, advances, 2, QRawFont::KernedAdvances))
        adjust = advances[0].x() - g.advance[letter];
    g.kerning.insert(pair, adjust);
    return adjust;
}

bool TextCache::place(const QString& text, FontGlyphs& g, QVarLengthArray<quint32, 64>& glyphs,
                      QVarLengthArray<QPointF, 64>& positions, qreal& width)
{
    if (!g.font.isValid())
        return false;
    glyphs.resize(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        glyphs[i] = c < 256 ? g.glyph[c] : 0;
        if (glyphs[i] == 0)
            return false;
    }
    positions.resize(text.size());
    qreal x = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        positions[i] = QPointF(x, 0);
        const char16_t c = text.at(i).unicode();
        x += g.advance[c];
        if (i + 1 < text.size())
            x += kerning(g, c, text.at(i + 1).unicode());
    }
    width = x;
    return true;
}

LaidOutText TextCache::layOut(const QString& text, const QFont& font, quint32 fontKey)
{
    LaidOutText out;
    FontGlyphs& g = glyphsOf(font, fontKey);
    QVarLengthArray<quint32, 64> glyphs;
    QVarLengthArray<QPointF, 64> positions;
    qreal width = 0;
    if (place(text, g, glyphs, positions, width)) {
        out.glyphs.setRawFont(g.font);
        out.glyphs.setGlyphIndexes(QList<quint32>(glyphs.begin(), glyphs.end()));
        out.glyphs.setPositions(QList<QPointF>(positions.begin(), positions.end()));
        out.size = QSizeF(width, g.height);
        out.ascent = g.ascent;
        return out;
    }
    out.text.emplace(text);
    out.text->setTextFormat(Qt::PlainText);
    out.text->setPerformanceHint(QStaticText::AggressiveCaching);
    out.text->prepare(QTransform(), font);
    out.size = out.text->size();
    return out;
}

const LaidOutText& TextCache::layOutOnce(const QString& text, const QFont& font, quint32 fontKey)
{
    FontGlyphs& g = glyphsOf(font, fontKey);
    qreal width = 0;
    if (place(text, g, m_onceGlyphs, m_oncePositions, width)) {
        m_once.text.reset();
        m_once.glyphs.setRawFont(g.font);
        m_once.glyphs.setRawData(m_onceGlyphs.constData(), m_oncePositions.constData(), int(m_onceGlyphs.size()));
        m_once.size = QSizeF(width, g.height);
        m_once.ascent = g.ascent;
        return m_once;
    }
    m_once = layOut(text, font, fontKey);
    return m_once;
}

const LaidOutText& TextCache::text(const QString& text, const QFont& font, quint32 fontKey)
{
    if (text.size() > kMaxCachedTextLength)
        return layOutOnce(text, font, fontKey);
    Key key{text, fontKey};
    auto it = m_texts.find(key);
    if (it != m_texts.end())
        return it.value();
    const size_t hash = qHash(key, 0);
    size_t& seen = m_seen[hash % m_seen.size()];
    if (seen != (hash | 1)) {   // 0 marks an empty slot
        seen = hash | 1;
        return layOutOnce(text, font, fontKey);
    }
    if (m_texts.size() >= kMaxCachedTexts)
        m_texts.clear();
    return m_texts.insert(std::move(key), layOut(text, font, fontKey)).value();
}

void GridDelegate::paintLook(QPainter* painter, const QRect& rect, const CellLook& look, const GridModel& model,
                             TextCache& cache, const QColor& background, const QColor& text)
{
    painter->fillRect(rect, look.interior.value_or(background));
    QRect textRect = rect.adjusted(kTextMargin, 0, -kTextMargin, 0);
    if (look.kind == CellKind::DropDown) {
        paintArrow(painter, rect);
        textRect.setRight(textRect.right() - qMin(rect.height(), 16));
    }
    const QString& shown = look.kind == CellKind::List ? look.choiceList : look.value;
    if (shown.isEmpty() || textRect.width() <= 0)
        return;

    const QFont& font = model.fontFor(look);
    const LaidOutText& laidOut = cache.text(shown, font, model.fontKey(look));
    const QSizeF size = laidOut.size;
    const Qt::Alignment alignment = look.alignment.value_or(Qt::AlignLeft);
    qreal x = textRect.left();
    if (alignment & Qt::AlignRight)
        x = textRect.right() + 1 - size.width();
    else if (alignment & Qt::AlignHCenter)
        x = textRect.left() + (textRect.width() - size.width()) / 2;
    const qreal y = look.kind == CellKind::List ? textRect.top() + 1 : textRect.top() + (textRect.height() - size.height()) / 2;

    if (laidOut.text)
        painter->setFont(font);
    painter->setPen(look.text.value_or(text));
    // Only a text wider than its cell needs the (costly) clip.
    const bool overflows = size.width() > textRect.width() || size.height() > rect.height();
    if (overflows) {
        painter->save();
        painter->setClipRect(textRect, Qt::IntersectClip);
        drawText(painter, QPointF(qMax<qreal>(x, textRect.left()), y), laidOut);
        painter->restore();
    } else {
        drawText(painter, QPointF(x, y), laidOut);
    }
}

void GridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const CellLook& look = m_model->look(index.row() + 1, index.column());
    paintLook(painter, option.rect, look, *m_model, m_cache, kCellBackground, kCellText);
    if ((option.state & QStyle::State_HasFocus) && look.kind != CellKind::Static) {
        painter->setPen(QPen(QColor(0, 0, 0), 1, Qt::DotLine));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
    }
}

QSize GridDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    // Never sized from contents.
    return option.rect.size();
}

GridHeader::GridHeader(GridModel* model, QWidget* parent)
    : QHeaderView(Qt::Horizontal, parent)
    , m_model(model)
{
}

void GridHeader::paintEvent(QPaintEvent* event)
{
    m_model->beginPaint();
    QHeaderView::paintEvent(event);
    m_model->endPaint();
}

void GridHeader::paintSection(QPainter* painter, const QRect& rect, int section) const
{
    const CellLook& look = m_model->look(0, section);
    GridDelegate::paintLook(painter, rect, look, *m_model, m_cache, kHeadingBackground, kCellText);
    painter->setPen(m_line);
    painter->drawLine(rect.topRight(), rect.bottomRight());
    painter->drawLine(rect.bottomLeft(), rect.bottomRight());
}

int GridLineStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                             QStyleHintReturn* returnData) const
{
    if (hint == SH_Table_GridLineColor)
        return int(colour.rgba());
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

} // namespace zelvar::platform
