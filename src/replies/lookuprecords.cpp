#include "lookuprecords.h"

#include "component/conversions.h"
#include "component/strings.h"

#include <algorithm>

using namespace zelvar::component;

namespace zelvar::replies {

namespace {

// The row count of a header: exactly five decimal digits. Anything else ("8E08" would be
// 800 million rows) is a type mismatch.
qint32 announcedRows(const QString& header)
{
    const QString count = Mid(header, 7, 5);
    if (count.size() != 5 || !std::all_of(count.begin(), count.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        throw RuntimeError(RuntimeError::TypeMismatch);
    return count.toInt();
}

QString lessWidthDigits(const QString& field)
{
    return Left(field, field.size() - 2);
}

} // namespace

LookupRecord lookupRecordKind(const QString& record)
{
    const QString kind = Mid(record, 2, 2);
    if (kind == QLatin1String("GH"))
        return LookupRecord::Header;
    if (kind == QLatin1String("GC"))
        return LookupRecord::ClearingHeader;
    if (kind == QLatin1String("GR"))
        return LookupRecord::Row;
    return LookupRecord::Other;
}

qint32 lookupGridIndex(const QString& record)
{
    return CInt(Mid(record, 5, 1));
}

LookupHeader readLookupHeader(const QString& record, ZelvarUtils& utils, std::optional<qint32> widthFactor,
                              qint32 knownColumns)
{
    LookupHeader h;
    const auto step = [&h](const auto& body) {
        if (const std::optional<ErrorInfo> error = trapped(body))
            h.failures.append(*error);
    };
    step([&] { h.columnCount = utils.CountPieces(record, tab); });
    step([&] { h.rowCount = announcedRows(record); });
    const qint32 columns = h.columnCount.value_or(knownColumns);
    QString first;
    step([&] { first = utils.GetPiece(record, tab, 1); });
    h.headings.append(lessWidthDigits(first));
    for (qint32 i = 2; i <= columns; ++i) {
        QString field;
        step([&] { field = utils.GetPiece(record, tab, CInt(double(i))); });
        std::optional<qint32> width;
        if (widthFactor)
            step([&] { width = mulLong(CLng(Right(field, 2)), *widthFactor); });
        h.widths.append(width);
        h.headings.append(lessWidthDigits(field));
    }
    return h;
}

LookupRow readLookupRow(const QString& record, qint32 columns)
{
    LookupRow row;
    row.text = record + tab;
    const QString& text = row.text;
    const qsizetype firstTab = text.indexOf(QLatin1Char('\t'));
    const qsizetype keyStart = qMin<qsizetype>(6, firstTab);
    row.cells.append({quint32(keyStart), quint32(firstTab - keyStart)});
    qsizetype p1 = firstTab;
    for (qint32 i = 2; i <= columns; ++i) {
        const qsizetype p2 = p1 >= 0 ? text.indexOf(QLatin1Char('\t'), p1 + 1) : -1;
        if (p2 < 0) {
            row.complete = false;
            row.cells.append({0, 0});
            p1 = -1;
            continue;
        }
        row.cells.append({quint32(p1 + 1), quint32(p2 - p1 - 1)});
        p1 = p2;
    }
    return row;
}

} // namespace zelvar::replies
