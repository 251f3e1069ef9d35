// The patient search's tabular reply: headings and widths, rows, trailer, and every failure
// with its words.
#include "componentfixture.h"

#include "patlookup/buildgrid.h"

using namespace zelvar;
using namespace zelvar::patlookup;
using namespace zelvar::replies;
using namespace zelvar::test;

namespace {

// A grid that writes down every call the parser makes.
class RecordingGrid : public ReplyGrid
{
public:
    bool LockUpdates(bool lock) override
    {
        calls.append(lock ? QStringLiteral("lock") : QStringLiteral("unlock"));
        const bool previous = locked;
        locked = lock;
        return previous;
    }
    void SetRowCount(qint32 rows) override { calls.append(QStringLiteral("rows=%1").arg(rows)); }
    void SetColCount(qint32 columns) override { calls.append(QStringLiteral("cols=%1").arg(columns)); }
    void SetColWidths(qint32 from, qint32 to, qint32 width) override
    {
        calls.append(QStringLiteral("width(%1,%2)=%3").arg(from).arg(to).arg(width));
    }

    QStringList calls;
    bool locked = false;
};

QString header(const QString& count, const QStringList& headings)
{
    return QStringLiteral("|OK||H") + count + QLatin1Char('\t') + headings.join(QLatin1Char('\t'));
}

QString row(const QString& key, const QStringList& values)
{
    return QStringLiteral("|OK||") + key + QLatin1Char('\t') + values.join(QLatin1Char('\t'));
}

QString trailer(const QString& key)
{
    return QStringLiteral("|OK||") + key;
}

const QStringList kHeadings{QStringLiteral("NameABC25"), QStringLiteral("DOBAAC10"), QStringLiteral("PhoneAAL12")};

QStringList page(int first, int count, const QString& next)
{
    QStringList lines{header(QStringLiteral("%1").arg(count, 5, 10, QLatin1Char('0')), kHeadings)};
    for (int k = first; k < first + count; ++k)
        lines.append(row(QString::number(1000 + k), {QStringLiteral("PATIENT,%1ABC").arg(k),
                                                     QStringLiteral("01/02/1990AAC"),
                                                     QStringLiteral("555-%1AAL").arg(k)}));
    lines.append(trailer(next));
    return lines;
}

class TabularReplyTest : public ComponentFixture
{
protected:
    bool first(const QStringList& lines)
    {
        return BuildGrid(lines, errorText, results, grid);
    }
    bool further(const QStringList& lines)
    {
        grid.calls.clear();
        return BuildGridMoreRows(lines, results, grid);
    }

    SearchResults results;
    RecordingGrid grid;
    QString errorText;
};

} // namespace

// Catches headings that keep their width digits, widths not scaled by the factor, keys that
// keep the line prefix, values in the wrong column, or a repaint left suspended.
TEST_F(TabularReplyTest, shouldTakeAWholeFirstPage)
{
    ASSERT_TRUE(first(page(1, 3, QStringLiteral("  "))));

    EXPECT_EQ(results.RowsLoaded, 3);
    EXPECT_EQ(results.ColumnBound, 4);
    EXPECT_TRUE(results.AllLoaded);
    EXPECT_FALSE(results.MoreAvailable);
    EXPECT_FALSE(results.SingleHit);
    EXPECT_EQ(results.table.cell(1, 0), QStringLiteral("NameABC"));
    EXPECT_EQ(results.table.cell(3, 0), QStringLiteral("PhoneAAL"));
    EXPECT_EQ(results.table.cell(0, 2), QStringLiteral("1002"));
    EXPECT_EQ(results.table.cell(1, 2), QStringLiteral("PATIENT,2ABC"));
    EXPECT_EQ(results.table.cell(3, 3), QStringLiteral("555-3AAL"));
    EXPECT_EQ(results.table.cell(4, 3), QString());
    EXPECT_EQ(results.table.cell(0, 0), QStringLiteral("  "));
    EXPECT_EQ(results.table.rowBound(), 6);

    const QStringList expected{
        QStringLiteral("lock"), QStringLiteral("cols=3"), QStringLiteral("rows=3"),
        QStringLiteral("width(1,1)=200"), QStringLiteral("width(2,2)=80"), QStringLiteral("width(3,3)=96"),
        QStringLiteral("unlock"),
    };
    EXPECT_EQ(grid.calls, expected);
    EXPECT_TRUE(platform.boxes.isEmpty());
    EXPECT_TRUE(utils->reports.isEmpty());
}

// Catches a factor truncated instead of rounded half to even.
TEST_F(TabularReplyTest, shouldRoundTheWidthFactorHalfToEven)
{
    utils->settings().columnWidthFactor = 8.5;
    ASSERT_TRUE(first(page(1, 1, {})));
    EXPECT_TRUE(grid.calls.contains(QStringLiteral("width(1,1)=200")));
    utils->settings().columnWidthFactor = 9.5;
    ASSERT_TRUE(first(page(1, 1, {})));
    EXPECT_TRUE(grid.calls.contains(QStringLiteral("width(1,1)=250")));
}

// Catches a continuation key read from the wrong position or a two-character key taken as more.
TEST_F(TabularReplyTest, shouldReadTheContinuationKey)
{
    ASSERT_TRUE(first(page(1, 2, QStringLiteral("K42"))));
    EXPECT_TRUE(results.MoreAvailable);
    EXPECT_FALSE(results.AllLoaded);
    EXPECT_EQ(results.table.cell(0, 0), QStringLiteral("K42"));

    ASSERT_TRUE(first(page(1, 2, QStringLiteral("K4"))));
    EXPECT_FALSE(results.MoreAvailable);
    EXPECT_TRUE(results.AllLoaded);
}

// Catches the whole list's count after the page's taken as the page's own, and anything but
// a plain count there shown to the clerk as one.
TEST_F(TabularReplyTest, shouldReadTheWholeListsCountOnlyWhereItIsPlain)
{
    const struct { const char* field; const char* total; } cases[] = {
        {"00002/942", "942"}, {"00002/1000+", "1000+"}, {"00002", ""}, {"00002/", ""}, {"00002/0", ""},
        {"00002/-5", ""}, {"00002/9x", ""}, {"00002/1234567890", ""}, {"00002/12 3", ""}, {"00002 /12", ""},
    };
    for (const auto& c : cases) {
        QStringList lines = page(1, 2, QStringLiteral("K42"));
        lines[0] = header(QString::fromLatin1(c.field), kHeadings);
        ASSERT_TRUE(first(lines)) << c.field;
        EXPECT_EQ(results.RowsLoaded, 2) << c.field;
        EXPECT_EQ(results.KnownTotal, QString::fromLatin1(c.total)) << c.field;
    }
}

// Catches a count read leniently enough to accept "12ABC", and the bad-header clean-up.
TEST_F(TabularReplyTest, shouldRejectAHeaderWhoseCountIsNotANumber)
{
    const QString bad = header(QStringLiteral("12ABC"), kHeadings);
    EXPECT_FALSE(first({bad, trailer({})}));
    EXPECT_EQ(errorText, QStringLiteral("Error in Patient Lookup \r\n") + bad);
    EXPECT_TRUE(results.AllLoaded);
    EXPECT_EQ(results.RowsLoaded, 0);
    EXPECT_EQ(grid.calls, QStringList({QStringLiteral("lock"), QStringLiteral("rows=1"),
                                       QStringLiteral("cols=1"), QStringLiteral("unlock")}));
    EXPECT_TRUE(platform.boxes.isEmpty());
}

// Catches an empty header treated as bad, or an empty reply treated as complete.
TEST_F(TabularReplyTest, shouldTakeAnEmptyHeaderAsNoRows)
{
    EXPECT_TRUE(first({QString(), trailer({})}));
    EXPECT_EQ(results.RowsLoaded, 0);
    EXPECT_EQ(results.ColumnBound, 1);

    EXPECT_FALSE(first({QString()}));
    EXPECT_EQ(utils->reports.value(0), QStringLiteral("Expecting 0\r\n"));
}

// Catches the short-reply texts: the report with the whole reply, the server's own error from
// "ERROR:" on, and the 1000-character cut.
TEST_F(TabularReplyTest, shouldReportShortRepliesInTheProgramsWords)
{
    const QString longValue(1500, QLatin1Char('x'));
    const struct { QStringList lines; QString shown; } cases[] = {
        {{header(QStringLiteral("00002"), kHeadings), row(QStringLiteral("1"), {QStringLiteral("AAAA")}),
          QStringLiteral("ERROR: search timed out")},
         QStringLiteral("ERROR: search timed out")},
        {{header(QStringLiteral("00002"), kHeadings), row(QStringLiteral("1"), {longValue})}, {}},
        // all rows but no trailer
        {{header(QStringLiteral("00001"), kHeadings), row(QStringLiteral("1"), {QStringLiteral("AAAA")})}, {}},
    };
    for (const auto& c : cases) {
        utils->reports.clear();
        const QString joined = c.lines.join(QLatin1Char('\t'));
        const QString shown = c.shown.isEmpty() ? joined.left(1000) : c.shown;
        EXPECT_FALSE(first(c.lines));
        EXPECT_EQ(errorText, QStringLiteral("Invalid format \r\n") + shown);
        const QString count = QString::number(results.RowsLoaded);
        EXPECT_EQ(utils->reports, QStringList({QStringLiteral("Expecting ") + count + QStringLiteral("\r\n") + joined}));
        EXPECT_TRUE(results.AllLoaded);
        EXPECT_EQ(grid.calls.last(), QStringLiteral("unlock"));
    }
}

// Catches a column mismatch reported more than once per line, the extra piece kept, or the
// other rows lost.
TEST_F(TabularReplyTest, shouldReportAnExtraColumnOnceAndDropIt)
{
    QStringList lines = page(1, 3, {});
    lines[2] = row(QStringLiteral("1002"), {QStringLiteral("AABC"), QStringLiteral("BAAC"), QStringLiteral("CAAL"),
                                            QStringLiteral("EXTRAAAL")});
    ASSERT_TRUE(first(lines));

    const QString message = QStringLiteral("Number of columns mismatch in record ") + lines[2];
    EXPECT_EQ(utils->reports, QStringList({message}));
    ASSERT_EQ(platform.boxes.size(), 1);
    EXPECT_EQ(platform.boxes[0].prompt, message);
    EXPECT_EQ(platform.boxes[0].style, 0);
    EXPECT_EQ(platform.boxes[0].title, QStringLiteral("Patient Lookup display error"));
    EXPECT_EQ(results.table.cell(3, 2), QStringLiteral("CAAL"));
    EXPECT_EQ(results.table.cell(4, 2), QString());
    EXPECT_EQ(results.table.cell(1, 3), QStringLiteral("PATIENT,3ABC"));
}

// Catches a short row filling its missing columns from somewhere else.
TEST_F(TabularReplyTest, shouldLeaveTheMissingColumnsOfAShortRowEmpty)
{
    QStringList lines = page(1, 2, {});
    lines[1] = row(QStringLiteral("1001"), {QStringLiteral("ONLYABC")});
    ASSERT_TRUE(first(lines));
    EXPECT_EQ(results.table.cell(1, 1), QStringLiteral("ONLYABC"));
    EXPECT_EQ(results.table.cell(2, 1), QString());
    EXPECT_EQ(results.table.cell(3, 1), QString());
}

// Catches SingleHit set for a zero or non-numeric key, or for more than one row.
TEST_F(TabularReplyTest, shouldSetSingleHitOnlyForOneNonZeroKey)
{
    const struct { const char* key; int rows; bool hit; } cases[] = {
        {"123", 1, true}, {"0", 1, false}, {"ABC", 1, false}, {"00", 1, false}, {"7", 2, false},
    };
    for (const auto& c : cases) {
        QStringList lines = page(1, c.rows, {});
        lines[1] = row(QString::fromLatin1(c.key), {QStringLiteral("XABC")});
        ASSERT_TRUE(first(lines));
        EXPECT_EQ(results.SingleHit, c.hit) << c.key;
    }
}

// Catches split failures: the header's text, and "error 1" with no text for a row.
TEST_F(TabularReplyTest, shouldReportSplitFailures)
{
    utils->splitFails = [](const QString& line) { return line.startsWith(QLatin1String("|OK||H")); };
    EXPECT_FALSE(first(page(1, 2, {})));
    EXPECT_EQ(errorText, QStringLiteral("Error in Patient Lookup\r\nStrToArr error"));
    EXPECT_TRUE(results.AllLoaded);

    utils->splitFails = [](const QString& line) { return line.contains(QLatin1String("PATIENT,2")); };
    EXPECT_FALSE(first(page(1, 2, {})));
    EXPECT_EQ(errorText, QString());
    ASSERT_EQ(platform.boxes.size(), 1);
    EXPECT_EQ(platform.boxes[0].prompt, QStringLiteral("error 1"));
    EXPECT_EQ(platform.boxes[0].title, QString());
}

// Catches run-time errors escaping the parser, a wrong text or number in the box, a report
// where none belongs, and an unreadable first page that still lets further pages be asked for.
TEST_F(TabularReplyTest, shouldTrapRunTimeErrorsOfTheFirstPage)
{
    const QStringList lines{header(QStringLiteral("00001"), {QStringLiteral("Name")}), row(QStringLiteral("1"), {}),
                            trailer(QStringLiteral("ABC"))};
    EXPECT_FALSE(first(lines));
    EXPECT_EQ(errorText, QStringLiteral("Error in Patient Lookup. Err: Type mismatch"));
    ASSERT_EQ(platform.boxes.size(), 1);
    EXPECT_EQ(platform.boxes[0].prompt, QStringLiteral("Type mismatch\r\n13"));
    EXPECT_EQ(platform.boxes[0].style, 0);
    EXPECT_EQ(platform.boxes[0].title, utils->messageTitle);
    EXPECT_TRUE(utils->reports.isEmpty());
    EXPECT_TRUE(results.AllLoaded);
    EXPECT_EQ(grid.calls.last(), QStringLiteral("unlock"));

    // A one-character heading cannot lose two width digits.
    EXPECT_FALSE(first({header(QStringLiteral("00000"), {QStringLiteral("5")}), trailer({})}));
    EXPECT_EQ(errorText, QStringLiteral("Error in Patient Lookup. Err: Invalid procedure call or argument"));

    // A width factor past any whole number fails the page like any other step of it.
    utils->settings().columnWidthFactor = 1e12;
    EXPECT_FALSE(first(page(1, 3, QStringLiteral("  "))));
    EXPECT_EQ(errorText, QStringLiteral("Error in Patient Lookup. Err: Overflow"));
}

// Catches a further page that overwrites loaded rows, touches the widths, changes the
// continuation key wrongly or clears SingleHit.
TEST_F(TabularReplyTest, shouldAppendFurtherPages)
{
    ASSERT_TRUE(first(page(1, 50, QStringLiteral("P02"))));
    ASSERT_TRUE(further(page(51, 50, QStringLiteral("P03"))));
    EXPECT_EQ(results.RowsLoaded, 100);
    EXPECT_EQ(results.table.cell(0, 50), QStringLiteral("1050"));
    EXPECT_EQ(results.table.cell(0, 51), QStringLiteral("1051"));
    EXPECT_EQ(results.table.cell(1, 100), QStringLiteral("PATIENT,100ABC"));
    EXPECT_EQ(results.table.cell(0, 0), QStringLiteral("P03"));
    EXPECT_TRUE(results.MoreAvailable);
    EXPECT_EQ(grid.calls, QStringList({QStringLiteral("lock"), QStringLiteral("unlock")}));

    ASSERT_TRUE(further(page(101, 7, QStringLiteral("--"))));
    EXPECT_EQ(results.RowsLoaded, 107);
    EXPECT_TRUE(results.AllLoaded);
    EXPECT_FALSE(results.MoreAvailable);

    SearchResults single;
    single.SingleHit = true;
    single.table.redim(4, 2);
    single.RowsLoaded = 1;
    single.table.setCell(0, 1, QStringLiteral("0"));
    ASSERT_TRUE(BuildGridMoreRows(page(1, 0, {}), single, grid));
    EXPECT_TRUE(single.SingleHit);
}

// Catches a further page with other columns being taken in (or changing the counts), and the
// texts of the run-time error path.
TEST_F(TabularReplyTest, shouldRefuseAFurtherPageWithOtherColumns)
{
    ASSERT_TRUE(first(page(1, 5, QStringLiteral("P02"))));
    QStringList other = page(6, 2, QStringLiteral("P03"));
    other[0] = header(QStringLiteral("00002"), {QStringLiteral("NameABC25")});

    EXPECT_FALSE(further(other));
    EXPECT_EQ(results.RowsLoaded, 5);
    EXPECT_EQ(results.ColumnBound, 4);
    EXPECT_TRUE(results.AllLoaded);
    EXPECT_FALSE(results.MoreAvailable);
    EXPECT_EQ(utils->reports,
              QStringList({QStringLiteral("Error in BuildGridMoreRows - Patient Lookup Subscript out of range")}));
    ASSERT_EQ(platform.boxes.size(), 1);
    EXPECT_EQ(platform.boxes[0].prompt, QStringLiteral("Error in BuildGridMoreRows Subscript out of range\r\n9"));
    EXPECT_EQ(platform.boxes[0].style, 16);
    EXPECT_EQ(grid.calls.last(), QStringLiteral("unlock"));
}

// Catches a further page's count read leniently, and a short further page not shown at once.
TEST_F(TabularReplyTest, shouldConvertTheFurtherCountStrictlyAndShowShortPages)
{
    ASSERT_TRUE(first(page(1, 5, QStringLiteral("P02"))));
    QStringList lenient = page(6, 2, QStringLiteral("P03"));
    lenient[0] = header(QStringLiteral("2ABCD"), kHeadings);
    EXPECT_FALSE(further(lenient));
    EXPECT_EQ(platform.boxes.value(0).prompt, QStringLiteral("Error in BuildGridMoreRows Type mismatch\r\n13"));

    ASSERT_TRUE(first(page(1, 5, QStringLiteral("P02"))));
    platform.boxes.clear();
    utils->reports.clear();
    QStringList cut = page(6, 3, QStringLiteral("P03"));
    cut.removeLast();
    EXPECT_FALSE(further(cut));
    EXPECT_TRUE(results.AllLoaded);
    EXPECT_EQ(utils->reports.value(0).left(12), QStringLiteral("Expecting 3\r"));
    ASSERT_EQ(platform.boxes.size(), 1);
    EXPECT_EQ(platform.boxes[0].prompt, QStringLiteral("Invalid format \r\n") + cut.join(QLatin1Char('\t')).left(1000));
    EXPECT_EQ(platform.boxes[0].style, 16);
}

// Catches a negative count being allowed to shrink the loaded rows.
TEST_F(TabularReplyTest, shouldNotLetAFurtherPageRemoveRows)
{
    ASSERT_TRUE(first(page(1, 5, QStringLiteral("P02"))));
    QStringList negative = page(6, 0, QStringLiteral("P03"));
    negative[0] = header(QStringLiteral("-0003"), kHeadings);
    EXPECT_FALSE(further(negative));
    EXPECT_EQ(results.RowsLoaded, 5);
    EXPECT_EQ(results.table.cell(1, 5), QStringLiteral("PATIENT,5ABC"));
}
