#include "gridstyle.h"

#include "component/runtimeerror.h"

namespace zelvar::platform {

void GridStyle::setHorizontalAlignment(const QString& code)
{
    const QChar c = code.isEmpty() ? QChar(u'0') : code.front().toUpper();
    if (c == u'1' || c == u'C')
        m_alignment = Qt::AlignHCenter;
    else if (c == u'2' || c == u'R')
        m_alignment = Qt::AlignRight;
    else
        m_alignment = Qt::AlignLeft;
}

QColor GridStyle::colourFromValue(Colour colour)
{
    return QColor(int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF));
}

std::optional<QColor> GridStyle::colourFromText(const QString& text)
{
    if (text.isEmpty())
        return std::nullopt;
    bool ok = false;
    const qlonglong value = text.trimmed().toLongLong(&ok);
    if (!ok || value < 0 || value > 0xFFFFFF)
        throw component::RuntimeError(component::RuntimeError::TypeMismatch);
    return colourFromValue(Colour(value));
}

void GridStyle::setInterior(const QString& colourText)
{
    if (std::optional<QColor> c = colourFromText(colourText))
        m_interior = *c;
}

void GridStyle::setTextColor(const QString& colourText)
{
    if (std::optional<QColor> c = colourFromText(colourText))
        m_text = *c;
}

bool GridStyle::isEmpty() const
{
    return !m_value && !m_alignment && !m_interior && !m_text && !m_font && !m_kind && !m_choiceList && !m_baseStyle;
}

CellLook GridStyle::resolve(const StylesMap& styles) const
{
    CellLook look;
    if (m_baseStyle) {
        if (const GridStyle* base = styles.style(*m_baseStyle)) {
            // A base style's own base is not followed further: the windows register flat styles.
            GridStyle flat = *base;
            flat.m_baseStyle.reset();
            look = flat.resolve(styles);
        }
    }
    if (m_value)
        look.value = *m_value;
    if (m_alignment)
        look.alignment = m_alignment;
    if (m_interior)
        look.interior = m_interior;
    if (m_text)
        look.text = m_text;
    if (m_font)
        look.font = m_font;
    if (m_kind)
        look.kind = *m_kind;
    if (m_choiceList)
        look.choiceList = *m_choiceList;
    return look;
}

qint32 StylesMap::registerStyle(const QString& name, const GridStyle& style, bool)
{
    qint32 id = m_ids.value(name, 0);
    if (id == 0) {
        id = m_nextId++;
        m_ids.insert(name, id);
    }
    m_styles.insert(id, style);
    return id;
}

const GridStyle* StylesMap::style(qint32 id) const
{
    auto it = m_styles.constFind(id);
    return it == m_styles.cend() ? nullptr : &it.value();
}

} // namespace zelvar::platform
