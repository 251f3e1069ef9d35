#pragma once

#include <QString>
#include <QStringList>

// The code lookup's reply records: "GH"/"GC" headers, "GR" rows and the "EN" end record.
namespace zelvar::test {

// Column 0's entry, then each visible column as title + 3-character suffix + 2-digit width;
// the header ends with a tab.
inline QString lookupHeader(int rows, const QStringList& columns, const QString& kind = QStringLiteral("GH"))
{
    return QStringLiteral("|%1|0|%2|Key00\t").arg(kind).arg(rows, 5, 10, QLatin1Char('0'))
        + columns.join(QLatin1Char('\t')) + QLatin1Char('\t');
}

// Column 0's plain value, then each cell as text + 7-character suffix.
inline QString lookupRow(const QString& key, const QStringList& cells)
{
    return QStringLiteral("|GR|0|") + key + QLatin1Char('\t') + cells.join(QLatin1Char('\t'));
}

// A plain cell: unmerged, font 0, control 0, white on black text, left.
inline QString cell(const QString& text, const QString& suffix = QStringLiteral("0000AB0"))
{
    return text + suffix;
}

// rows rows of code table: code, description.
inline QStringList codeTable(int rows)
{
    QStringList records{lookupHeader(rows, {QStringLiteral("CodeKB010"), QStringLiteral("DescriptionKB030")})};
    for (int r = 1; r <= rows; ++r)
        records.append(lookupRow(QString::number(r), {cell(QStringLiteral("C%1").arg(r)), cell(QStringLiteral("Description %1").arg(r))}));
    records.append(QStringLiteral("|EN|END|"));
    return records;
}

} // namespace zelvar::test
