#pragma once

#include <QString>
#include <QStringList>
#include <QVarLengthArray>
#include <QtGlobal>

#include <vector>

namespace zelvar::replies {

// The patient search's table of strings, addressed (column, row) with both bounds inclusive:
// row 0 holds the headings and, in column 0, the continuation key; column 0 holds each row's
// key. Reading or writing outside the bounds is "Subscript out of range", as it is before the
// first search has sized the table.
//
// A row taken from a reply keeps the reply line itself (shared, not copied) and where each
// cell lies in it, so a page of rows costs one small record per row and no string per cell;
// a cell's text is cut out when the grid asks for it. Rows the server has not sent cost
// nothing: the table grows to its bound only as rows are written.
class ResultTable
{
public:
    // Where a cell lies in its row's line.
    struct Span
    {
        quint32 start = 0;
        quint32 length = 0;
    };

    // A fresh table with columns 0..columnBound and rows 0..rowBound, every cell empty.
    void redim(qint32 columnBound, qint32 rowBound);
    // Changes the row bound and keeps the contents. The columns cannot change this way.
    void redimPreserve(qint32 columnBound, qint32 rowBound);

    // Room for rows up to `row` without regrowing; a hint only.
    void reserveRows(qint32 row);

    qint32 columnBound() const { return m_columnBound; }
    qint32 rowBound() const { return m_rowBound; }
    bool isDimensioned() const { return m_rowBound >= 0; }

    QString cell(qint32 column, qint32 row) const;
    void setCell(qint32 column, qint32 row, const QString& text);
    // Sets a whole row from its line: spans[c] is where column c lies in line; columns past
    // the spans are empty.
    void setRow(qint32 row, const QString& line, const QVarLengthArray<Span, 12>& spans);
    // Sets a whole row from separate texts: cells[c] is column c.
    void setRow(qint32 row, QStringList cells);

private:
    // A row is small: its spans lie in one array shared by the whole table, so growing the
    // table moves a few words per row.
    struct Row
    {
        QString line;                       // the reply line, when the row came from one
        QStringList cells;                  // otherwise the texts themselves
        quint32 firstSpan = 0;              // where its spans start in m_spans
        quint32 spanCount = 0;
        bool fromLine = false;
    };

    void check(qint32 column, qint32 row) const;
    Row& rowForWriting(qint32 row);

    qint32 m_columnBound = -1;
    qint32 m_rowBound = -1;
    std::vector<Row> m_rows;
    std::vector<Span> m_spans;
};

} // namespace zelvar::replies
