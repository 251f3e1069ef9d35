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

} // namespace

GridDelegate::GridDelegate(GridModel* model, QObject* parent)
    : QStyledItemDelegate(parent)
    , m_model(model)
{
}

const QStaticText& TextCache::text(const QString& text, const QFont& font, quint32 fontKey)
{
    if (text.size() > kMaxCachedTextLength) {
        m_uncached = QStaticText(text);
        m_uncached.setTextFormat(Qt::PlainText);
        m_uncached.prepare(QTransform(), font);
        return m_uncached;
    }
    Key key{text, fontKey};
    auto it = m_texts.find(key);
    if (it != m_texts.end())
        return it.value();
    if (m_texts.size() >= kMaxCachedTexts)
        m_texts.clear();
    QStaticText laidOut(text);
    laidOut.setTextFormat(Qt::PlainText);
    laidOut.setPerformanceHint(QStaticText::AggressiveCaching);
    laidOut.prepare(QTransform(), font);
    return m_texts.insert(std::move(key), laidOut).value();
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
    const QStaticText& laidOut = cache.text(shown, font, model.fontKey(look));
    const QSizeF size = laidOut.size();
    const Qt::Alignment alignment = look.alignment.value_or(Qt::AlignLeft);
    qreal x = textRect.left();
    if (alignment & Qt::AlignRight)
        x = textRect.right() + 1 - size.width();
    else if (alignment & Qt::AlignHCenter)
        x = textRect.left() + (textRect.width() - size.width()) / 2;
    const qreal y = look.kind == CellKind::List ? textRect.top() + 1 : textRect.top() + (textRect.height() - size.height()) / 2;

    painter->setFont(font);
    painter->setPen(look.text.value_or(text));
    // Only a text wider than its cell needs the (costly) clip.
    const bool overflows = size.width() > textRect.width() || size.height() > rect.height();
    if (overflows) {
        painter->save();
        painter->setClipRect(textRect, Qt::IntersectClip);
        painter->drawStaticText(QPointF(qMax<qreal>(x, textRect.left()), y), laidOut);
        painter->restore();
    } else {
        painter->drawStaticText(QPointF(x, y), laidOut);
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
