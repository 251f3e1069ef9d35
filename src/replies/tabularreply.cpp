#include "tabularreply.h"

#include "component/conversions.h"
#include "component/runtimeerror.h"
#include "component/strings.h"

#include <QRegularExpression>

#include <optional>

using namespace zelvar::component;

namespace zelvar::replies {

namespace {

const QString kColumnMismatch = QStringLiteral("Number of columns mismatch in record ");
const QString kDisplayErrorTitle = QStringLiteral("Patient Lookup display error");

// One page's reading in progress: the page, the search it belongs to, and what it hands back.
struct Reader
{
    const QStringList& lines;
    SearchResults& results;
    ZelvarUtils& u;
    PageReading reading;
    QStringList pieces;

    void report(const QString& text) { reading.messages.append({ReplyMessage::Report, text, {}, false}); }
    void box(ReplyMessage::Kind kind, const QString& text, const QString& title = {}, bool hostTitle = false)
    {
        reading.messages.append({kind, text, title, hostTitle});
    }

    // The same list is handed to every line's split, so that a splitter may reuse its strings.
    bool split(const QString& line)
    {
        bool success = false;
        u.StrToArr(line, tab, pieces, success);
        return success;
    }

    // A short reply: reported with the whole reply; the user is shown the server's own error
    // text when there is one, else the start of the reply.
    QString shortReply(qint32 expected)
    {
        results.AllLoaded = true;
        const QString joined = lines.join(tab);
        report(QStringLiteral("Expecting ") + str(expected) + crlf + joined);
        const qsizetype at = joined.indexOf(QStringLiteral("ERROR:"));
        const QString shown = at >= 0 ? joined.mid(at) : joined.left(1000);
        return QStringLiteral("Invalid format ") + crlf + shown;
    }

    void fillRow(qint32 row, const QString& line);
    void takeHeadings(std::optional<qint32> widthFactor);
    void takeTrailer(const QString& trailer);
    bool firstRowIsAHit() const
    {
        return results.RowsLoaded == 1 && Val(results.table.cell(0, 1)) != 0.0;
    }
};

// Positions 7-11 of the header: this reply's row count.
QString countField(const QString& header)
{
    return Mid(header, 7, 5);
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
void Reader::fillRow(qint32 row, const QString& line)
{
    qsizetype count = pieces.size();
    if (count > results.ColumnBound) {
        const QString message = kColumnMismatch + line;
        report(message);
        box(ReplyMessage::Box, message, kDisplayErrorTitle);
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
    QStringList cells = std::move(pieces);
    pieces = QStringList();
    cells.resize(count);
    if (cells.isEmpty())
        cells.append(QString());
    cells[0] = Mid(cells[0], 6);
    results.table.setRow(row, std::move(cells));
}

// The heading pieces: the heading text followed by a two-digit width. Only the first page
// sizes the columns.
void Reader::takeHeadings(std::optional<qint32> widthFactor)
{
    for (qsizetype k = 2; k <= pieces.size(); ++k) {
        const QString& piece = pieces.at(k - 1);
        const qint32 column = qint32(k - 1);
        if (widthFactor)
            reading.columnWidths.append(mulLong(CLng(Right(piece, 2)), *widthFactor));
        results.table.setCell(column, 0, Left(piece, piece.size() - 2));
    }
}

void Reader::takeTrailer(const QString& trailer)
{
    const QString key = Mid(trailer, 6);
    results.table.setCell(0, 0, key);
    results.MoreAvailable = key.size() >= 3;
    if (!results.MoreAvailable)
        results.AllLoaded = true;
}

// A server may follow the count with the whole list's: "H00050/942" or "H00050/1000+", which
// a reader of the count alone stops before. Anything else there is no total.
QString knownTotal(const QString& header)
{
    const QString field = header.section(QLatin1Char('\t'), 0, 0);
    if (field.size() < 13 || field.at(11) != u'/')
        return {};
    static const QRegularExpression total(QStringLiteral("^[1-9][0-9]{0,8}\\+?$"));
    const QString text = field.mid(12);
    return total.match(text).hasMatch() ? text : QString();
}

bool readFirst(Reader& r, ZelvarSettings& settings, qint32 gridRowLimit)
{
    SearchResults& results = r.results;
    PageReading& reading = r.reading;

    const QString& header = element(r.lines, 0);
    results.ColumnBound = addLong(r.u.CountPieces(header, tab), 1);

    if (!header.isEmpty() && !IsNumeric(countField(header))) {
        reading.errorText = QStringLiteral("Error in Patient Lookup ") + crlf + header;
        reading.shape = GridShape::SingleCell;
        results.table.redim(results.ColumnBound, results.RowsLoaded);
        results.AllLoaded = true;
        return false;
    }
    results.RowsLoaded = CLng(Val(Mid(header, 7)));
    results.KnownTotal = knownTotal(header);
    reading.shape = GridShape::Counted;
    reading.gridColumns = results.ColumnBound - 1;
    reading.gridRows = results.RowsLoaded;
    results.table.redim(results.ColumnBound, mulLong(2, results.RowsLoaded));

    if (!r.split(header)) {
        reading.errorText = QStringLiteral("Error in Patient Lookup") + crlf + QStringLiteral("StrToArr error");
        results.AllLoaded = true;
        return false;
    }
    r.takeHeadings(ColumnWidthFactor(settings));

    if (r.lines.size() - 1 < qsizetype(results.RowsLoaded) + 1) {
        reading.errorText = r.shortReply(results.RowsLoaded);
        return false;
    }

    results.table.reserveRows(results.RowsLoaded);

    // Where the grid cannot take the whole count, the rows it can show are the last ones.
    const qint64 shown = qBound(qint64(0), qint64(results.RowsLoaded), qint64(gridRowLimit));
    const qint64 firstLine = qint64(results.RowsLoaded) + 1 - shown;
    for (qint32 row = 1; row <= results.RowsLoaded; ++row) {
        const QString& line = element(r.lines, firstLine + row - 1);
        if (!r.split(line)) {
            r.box(ReplyMessage::Box, QStringLiteral("error 1"));
            reading.errorText.clear();
            return false;
        }
        r.fillRow(row, line);
    }

    r.takeTrailer(element(r.lines, qsizetype(results.RowsLoaded) + 1));
    results.SingleHit = r.firstRowIsAHit();
    return true;
}

bool readFurther(Reader& r)
{
    SearchResults& results = r.results;

    const QString& header = element(r.lines, 0);
    const qint32 count = CLng(countField(header));
    // A page cannot take rows away from the ones already loaded.
    if (count < 0)
        throw RuntimeError(RuntimeError::SubscriptOutOfRange);
    const qint32 columnBound = addLong(r.u.CountPieces(header, tab), 1);
    const qint32 old = results.RowsLoaded;
    const qint32 rowsLoaded = addLong(old, count);

    // The columns are fixed by the first page; a page with other columns is refused before
    // the counts change, so the loaded rows stay consistent with the table.
    results.table.redimPreserve(columnBound, rowsLoaded);
    results.ColumnBound = columnBound;
    results.RowsLoaded = rowsLoaded;

    if (!r.split(header)) {
        results.MoreAvailable = false;
        results.AllLoaded = true;
        r.box(ReplyMessage::CriticalBox, QStringLiteral("Invalid format ") + crlf + header, {}, true);
        return false;
    }
    r.takeHeadings(std::nullopt);

    if (r.lines.size() - 1 < qsizetype(count) + 1) {
        r.box(ReplyMessage::CriticalBox, r.shortReply(count), {}, true);
        return false;
    }

    results.table.reserveRows(rowsLoaded);
    for (qint32 row = old + 1; row <= rowsLoaded; ++row) {
        const QString& line = element(r.lines, row - old);
        if (!r.split(line))
            return false;
        r.fillRow(row, line);
    }

    r.takeTrailer(element(r.lines, qsizetype(count) + 1));
    if (r.firstRowIsAHit())
        results.SingleHit = true;
    return true;
}

} // namespace

qint32 ColumnWidthFactor(ZelvarSettings& settings)
{
    return CLng(settings.GetColumnWidthFactor());
}

PageReading readFirstPage(const QStringList& lines, SearchResults& results, ZelvarUtils& utils,
                          ZelvarSettings& settings, qint32 gridRowLimit)
{
    Reader r{lines, results, utils, {}, {}};
    if (const std::optional<ErrorInfo> error = trapped([&] { r.reading.success = readFirst(r, settings, gridRowLimit); })) {
        r.reading.success = false;
        r.reading.errorText = QStringLiteral("Error in Patient Lookup. Err: ") + error->description;
        // An unreadable first page must not lead to further-rows requests.
        results.AllLoaded = true;
        r.box(ReplyMessage::Box, error->description + crlf + str(error->number), {}, true);
    }
    return std::move(r.reading);
}

PageReading readFurtherPage(const QStringList& lines, SearchResults& results, ZelvarUtils& utils)
{
    Reader r{lines, results, utils, {}, {}};
    if (const std::optional<ErrorInfo> error = trapped([&] { r.reading.success = readFurther(r); })) {
        r.reading.success = false;
        results.MoreAvailable = false;
        results.AllLoaded = true;
        r.report(QStringLiteral("Error in BuildGridMoreRows - Patient Lookup ") + error->description);
        r.box(ReplyMessage::CriticalBox,
              QStringLiteral("Error in BuildGridMoreRows ") + error->description + crlf + str(error->number), {},
              true);
    }
    return std::move(r.reading);
}

} // namespace zelvar::replies
