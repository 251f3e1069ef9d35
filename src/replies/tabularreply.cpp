#include "tabularreply.h"

#include "component/conversions.h"
#include "component/references.h"
#include "component/runtimeerror.h"
#include "component/strings.h"
#include "platform/messagebox.h"

#include <exception>

namespace zelvar::replies {

using component::settings;
using component::utils;
using namespace zelvar::str;

namespace {

const QString kColumnMismatch = QStringLiteral("Number of columns mismatch in record ");
const QString kDisplayErrorTitle = QStringLiteral("Patient Lookup display error");

// Positions 7-11 of the header: this reply's row count.
QString countField(const QString& header)
{
    return Mid(header, 7, 5);
}

// A short reply: reported with the whole reply, and the user is shown the server's own
// error text when there is one, else the start of the reply.
QString shortReply(const QStringList& lines, qint32 expected, SearchResults& results)
{
    results.AllLoaded = true;
    const QString joined = lines.join(tab);
    utils().ReportError(QStringLiteral("Expecting ") + conv::str(expected) + crlf + joined);
    const qsizetype at = joined.indexOf(QStringLiteral("ERROR:"));
    const QString shown = at >= 0 ? joined.mid(at) : joined.left(1000);
    return QStringLiteral("Invalid format ") + crlf + shown;
}

bool splitLine(const QString& line, QStringList& pieces)
{
    bool success = false;
    pieces.clear();
    utils().StrToArr(line, tab, pieces, success);
    return success;
}

// Where each piece lies in the line, when the pieces are the line's own text between tabs
// (as a plain split gives them); false when the host's splitting made something else of it.
bool locatePieces(const QString& line, const QStringList& pieces, qsizetype count,
                  QVarLengthArray<ResultTable::Span, 12>& spans)
{
    const QStringView text(line);
    qsizetype at = 0;
    spans.clear();
    for (qsizetype i = 0; i < count; ++i) {
        const QString& piece = pieces.at(i);
        if (at + piece.size() > text.size() || text.mid(at, piece.size()) != piece)
            return false;
        spans.append({quint32(at), quint32(piece.size())});
        at += piece.size();
        if (i + 1 < count) {
            if (at >= text.size() || text[at] != u'\t')
                return false;
            ++at;
        }
    }
    return true;
}

// Takes one row line's pieces into table row `row`: piece 1 less its five-character prefix is
// the key, pieces 2.. are the values. A line with more pieces than the header is reported and
// its extra pieces dropped.
void fillRow(SearchResults& results, qint32 row, const QString& line, QStringList& pieces)
{
    qsizetype count = pieces.size();
    if (count > results.ColumnBound) {
        const QString message = kColumnMismatch + line;
        utils().ReportError(message);
        platform::messageBox(message, platform::OkOnly, kDisplayErrorTitle);
        count = results.ColumnBound;
    }
    QVarLengthArray<ResultTable::Span, 12> spans;
    if (count > 0 && locatePieces(line, pieces, count, spans)) {
        ResultTable::Span& key = spans[0];
        const quint32 cut = qMin<quint32>(key.length, 5);
        key.start += cut;
        key.length -= cut;
        results.table.setRow(row, line, spans);
        return;
    }
    pieces.resize(count);
    if (pieces.isEmpty())
        pieces.append(QString());
    pieces[0] = Mid(pieces[0], 6);
    results.table.setRow(row, std::move(pieces));
}

void takeTrailer(const QString& trailer, SearchResults& results)
{
    const QString key = Mid(trailer, 6);
    results.table.setCell(0, 0, key);
    results.MoreAvailable = key.size() >= 3;
    if (!results.MoreAvailable)
        results.AllLoaded = true;
}

bool firstRowIsAHit(const SearchResults& results)
{
    return results.RowsLoaded == 1 && conv::Val(results.table.cell(0, 1)) != 0.0;
}

// The heading pieces: the heading text followed by a two-digit width.
void takeHeadings(const QStringList& pieces, SearchResults& results, ReplyGrid* widths)
{
    const qint32 factor = widths ? ColumnWidthFactor() : 0;
    for (qsizetype k = 2; k <= pieces.size(); ++k) {
        const QString& piece = pieces.at(k - 1);
        const qint32 column = qint32(k - 1);
        if (widths) {
            const qint32 width = conv::mulLong(conv::CLng(Right(piece, 2)), factor);
            widths->SetColWidths(column, column, width);
        }
        results.table.setCell(column, 0, Left(piece, piece.size() - 2));
    }
}

bool parseFirstPage(const QStringList& lines, QString& errorText, SearchResults& results, ReplyGrid& grid)
{
    grid.LockUpdates(true);

    const QString& header = element(lines, 0);
    results.ColumnBound = conv::addLong(utils().CountPieces(header, tab), 1);

    if (!header.isEmpty() && !conv::IsNumeric(countField(header))) {
        errorText = QStringLiteral("Error in Patient Lookup ") + crlf + header;
        grid.SetRowCount(1);
        grid.SetColCount(1);
        results.table.redim(results.ColumnBound, results.RowsLoaded);
        results.AllLoaded = true;
        return false;
    }
    results.RowsLoaded = conv::CLng(conv::Val(Mid(header, 7)));
    grid.SetColCount(results.ColumnBound - 1);
    grid.SetRowCount(results.RowsLoaded);
    results.table.redim(results.ColumnBound, conv::mulLong(2, results.RowsLoaded));

    QStringList pieces;
    if (!splitLine(header, pieces)) {
        errorText = QStringLiteral("Error in Patient Lookup") + crlf + QStringLiteral("StrToArr error");
        results.AllLoaded = true;
        return false;
    }
    takeHeadings(pieces, results, &grid);
    grid.InitRange(1, 0, results.ColumnBound, 0);

    if (lines.size() - 1 < qsizetype(results.RowsLoaded) + 1) {
        errorText = shortReply(lines, results.RowsLoaded, results);
        return false;
    }

    results.table.reserveRows(results.RowsLoaded);

    // Where the grid could not take the whole count, the rows it can show are the last ones.
    const qint64 firstLine = qint64(results.RowsLoaded) + 1 - grid.RowCount();
    for (qint32 row = 1; row <= results.RowsLoaded; ++row) {
        const QString& line = element(lines, firstLine + row - 1);
        if (!splitLine(line, pieces)) {
            platform::messageBox(QStringLiteral("error 1"), platform::OkOnly, QString());
            errorText.clear();
            return false;
        }
        fillRow(results, row, line, pieces);
    }

    takeTrailer(element(lines, qsizetype(results.RowsLoaded) + 1), results);
    results.SingleHit = firstRowIsAHit(results);
    return true;
}

bool parseFurtherPage(const QStringList& lines, SearchResults& results, ReplyGrid& grid)
{
    grid.LockUpdates(true);

    const QString& header = element(lines, 0);
    const qint32 count = conv::CLng(countField(header));
    // A page cannot take rows away from the ones already loaded.
    if (count < 0)
        throw RuntimeError(RuntimeError::SubscriptOutOfRange);
    const qint32 columnBound = conv::addLong(utils().CountPieces(header, tab), 1);
    const qint32 old = results.RowsLoaded;
    const qint32 rowsLoaded = conv::addLong(old, count);

    // The columns are fixed by the first page; a page with other columns is refused before
    // the counts change, so the loaded rows stay consistent with the table.
    results.table.redimPreserve(columnBound, rowsLoaded);
    results.ColumnBound = columnBound;
    results.RowsLoaded = rowsLoaded;

    QStringList pieces;
    if (!splitLine(header, pieces)) {
        results.MoreAvailable = false;
        results.AllLoaded = true;
        platform::messageBox(QStringLiteral("Invalid format ") + crlf + header, platform::Critical,
                             utils().GetMessageTitle());
        return false;
    }
    takeHeadings(pieces, results, nullptr);
    grid.InitRange(1, 0, results.ColumnBound, 0);

    if (lines.size() - 1 < qsizetype(count) + 1) {
        const QString message = shortReply(lines, count, results);
        platform::messageBox(message, platform::Critical, utils().GetMessageTitle());
        return false;
    }

    results.table.reserveRows(rowsLoaded);
    for (qint32 row = old + 1; row <= rowsLoaded; ++row) {
        const QString& line = element(lines, row - old);
        if (!splitLine(line, pieces))
            return false;
        fillRow(results, row, line, pieces);
    }

    takeTrailer(element(lines, qsizetype(count) + 1), results);
    if (firstRowIsAHit(results))
        results.SingleHit = true;
    return true;
}

// Runs a parse with its error handler; painting is resumed on every way out, even when the
// handler's own calls into the host fail.
template<typename Parse, typename Handler>
bool runParse(ReplyGrid& grid, Parse parse, Handler onError)
{
    bool success = false;
    std::exception_ptr pending;
    ErrorInfo error;
    if (!trapErrors([&] { success = parse(); }, error)) {
        success = false;
        try {
            onError(error);
        } catch (...) {
            pending = std::current_exception();
        }
    }
    grid.LockUpdates(false);
    if (pending)
        std::rethrow_exception(pending);
    return success;
}

} // namespace

qint32 ColumnWidthFactor()
{
    return conv::CLng(settings().GetColumnWidthFactor());
}

bool BuildGrid(const QStringList& lines, QString& errorText, SearchResults& results, ReplyGrid& grid)
{
    errorText.clear();
    return runParse(
        grid, [&] { return parseFirstPage(lines, errorText, results, grid); },
        [&](const ErrorInfo& error) {
            errorText = QStringLiteral("Error in Patient Lookup. Err: ") + error.description;
            // An unreadable first page must not lead to further-rows requests.
            results.AllLoaded = true;
            platform::messageBox(error.description + crlf + conv::str(error.number), platform::OkOnly,
                                 utils().GetMessageTitle());
        });
}

bool BuildGridMoreRows(const QStringList& lines, SearchResults& results, ReplyGrid& grid)
{
    return runParse(
        grid, [&] { return parseFurtherPage(lines, results, grid); },
        [&](const ErrorInfo& error) {
            results.MoreAvailable = false;
            results.AllLoaded = true;
            utils().ReportError(QStringLiteral("Error in BuildGridMoreRows - Patient Lookup ") + error.description);
            platform::messageBox(QStringLiteral("Error in BuildGridMoreRows ") + error.description + crlf
                                     + conv::str(error.number),
                                 platform::Critical, utils().GetMessageTitle());
        });
}

} // namespace zelvar::replies
