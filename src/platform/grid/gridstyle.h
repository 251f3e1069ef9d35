#pragma once

#include <zelvar/patlookup.h>

#include <QColor>
#include <QHash>
#include <QString>
#include <QVariant>

#include <optional>

namespace zelvar::platform {

// The kinds of cell the windows ask for, all read-only here.
enum class CellKind {
    Text,       // plain text
    Static,     // static text, drawn without the current-cell frame
    DropDown,   // a value with a drop-down arrow that shows the choice list
    List,       // the choice list's lines shown in the cell
};

// A font shape for cells: size in points and the two weights.
class GridFont
{
public:
    void setSize(qint16 points) { m_size = points; }
    void setBold(bool bold) { m_bold = bold; }
    void setItalic(bool italic) { m_italic = italic; }

    qint16 size() const { return m_size; }
    bool bold() const { return m_bold; }
    bool italic() const { return m_italic; }

private:
    qint16 m_size = 8;
    bool m_bold = false;
    bool m_italic = false;
};

// What a cell looks like once its style is resolved; unset parts take the grid's defaults.
struct CellLook
{
    QString value;
    std::optional<Qt::Alignment> alignment;
    std::optional<QColor> interior;
    std::optional<QColor> text;
    std::optional<GridFont> font;
    CellKind kind = CellKind::Text;
    QString choiceList;
};

class StylesMap;

// The style object handed to the grid's style request: the handler sets the parts it wants.
// Colours are a colour value, or the decimal text of one as the colour table holds them; an
// empty text leaves the part as it was. Parts set here win over the base style's.
class GridStyle
{
public:
    void setValue(const QString& text) { m_value = text; }
    // "0" left, "1" centre, "2" right (the letters L, C and R too); anything else is left.
    void setHorizontalAlignment(const QString& code);
    void setInterior(Colour colour) { m_interior = colourFromValue(colour); }
    void setInterior(const QString& colourText);
    void setTextColor(Colour colour) { m_text = colourFromValue(colour); }
    void setTextColor(const QString& colourText);
    void setBaseStyle(qint32 styleId) { m_baseStyle = styleId; }
    void setFont(const GridFont& font) { m_font = font; }
    void setCellKind(CellKind kind) { m_kind = kind; }
    void setChoiceList(const QString& list) { m_choiceList = list; }

    // Whether the handler set anything at all.
    bool isEmpty() const;
    // The look of this style over its base style (looked up in styles) and the defaults.
    CellLook resolve(const StylesMap& styles) const;

    static QColor colourFromValue(Colour colour);
    // The decimal text of a colour; Type mismatch when it is not one.
    static std::optional<QColor> colourFromText(const QString& text);

private:
    std::optional<QString> m_value;
    std::optional<Qt::Alignment> m_alignment;
    std::optional<QColor> m_interior;
    std::optional<QColor> m_text;
    std::optional<GridFont> m_font;
    std::optional<CellKind> m_kind;
    std::optional<QString> m_choiceList;
    std::optional<qint32> m_baseStyle;
};

// Named styles a style can inherit from; registering copies the style as it is then.
class StylesMap
{
public:
    qint32 registerStyle(const QString& name, const GridStyle& style, bool systemStyle = false);
    const GridStyle* style(qint32 id) const;
    qint32 idOf(const QString& name) const { return m_ids.value(name, 0); }

private:
    QHash<qint32, GridStyle> m_styles;
    QHash<QString, qint32> m_ids;
    qint32 m_nextId = 1;
};

// The holder objects the grid fills (current cell) and the result object of a notification.
struct GridValue
{
    QVariant Value;
};

} // namespace zelvar::platform
