// The code lookup and duplicate list window: requests, captions, reception of the records,
// each cell's look, the return strings, and the window's size.
#include "accessibility.h"
#include "componentfixture.h"
#include "focuskeys.h"
#include "lookuprecords.h"
#include "modaldriver.h"

#include "lookupsch/frmlookupsch.h"
#include "platform/twips.h"

#include <QAbstractItemModelTester>
#include <QBrush>
#include <QFrame>
#include <QPushButton>
#include <QTest>

using namespace zelvar;
using namespace zelvar::test;
using lookupsch::frmLookupSch;

namespace {

class LookupSchTest : public ComponentFixture
{
protected:
    QString misc(const QString& code, std::function<void(frmLookupSch&)> script, bool allColumns = false)
    {
        ModalDriver driver(QStringLiteral("frmLookupSch"),
                           {[script](QWidget* w) { script(*static_cast<frmLookupSch*>(w)); }});
        const QString result = lookup.MiscLookup(code, QStringLiteral("1001"), allColumns);
        shows = driver.shows;
        EXPECT_FALSE(driver.timedOut);
        return result;
    }

    // A window that has received these records, not shown.
    std::unique_ptr<frmLookupSch> received(const QStringList& records)
    {
        auto window = frmLookupSch::Load();
        for (const QString& record : records)
            window->AsyncReceive(record);
        return window;
    }

    static QVariant data(frmLookupSch& w, int row, int column, int role)
    {
        QAbstractItemModel* model = w.grdLookupSch->model();
        return row == 0 ? model->headerData(column, Qt::Horizontal, role)
                        : model->data(model->index(row - 1, column), role);
    }

    int shows = 0;
};

} // namespace

// Catches the duplicate request not being the six values with five tabs, the code request's
// separators, and the captions.
TEST_F(LookupSchTest, shouldSendTheRequestsAndCaptionTheWindow)
{
    EXPECT_EQ(lookup.CheckForDuplicatePatient({}, {}, {}, {}, {}, {}), QString());
    EXPECT_EQ(server->requests().value(0), QStringLiteral("|GET|DUPPAT|\t\t\t\t\t"));

    server->answerPrefix(QStringLiteral("|GET|ASCODE|"), codeTable(3));
    QString caption;
    misc(QStringLiteral("GENDER"), [&](frmLookupSch& w) { caption = w.windowTitle(); w.arrCmd[1]->click(); });
    EXPECT_EQ(server->requests().last(), QStringLiteral("|GET|ASCODE|GENDER|1001|"));
    EXPECT_EQ(caption, QStringLiteral("Gender Lookup"));
    misc(QStringLiteral("payor"), [&](frmLookupSch& w) { caption = w.windowTitle(); w.reject(); });
    EXPECT_EQ(caption, QStringLiteral("Payor Lookup"));
    misc(QStringLiteral("x"), [&](frmLookupSch& w) { caption = w.windowTitle(); w.reject(); });
    EXPECT_EQ(caption, QStringLiteral("X Lookup"));

    server->answerPrefix(QStringLiteral("|GET|DUPPAT|"), codeTable(2));
    ModalDriver driver(QStringLiteral("frmLookupSch"), {[&](QWidget* w) { caption = w->windowTitle(); w->hide(); }});
    lookup.CheckForDuplicatePatient(QStringLiteral("123456789"), {}, QStringLiteral("SMITH,JOHN"), {}, {}, {});
    EXPECT_EQ(caption, QStringLiteral("Duplicates Found"));
    EXPECT_EQ(server->requests().last(), QStringLiteral("|GET|DUPPAT|123456789\t\tSMITH,JOHN\t\t\t"));
}

// Catches a window shown for no rows, for a reply without a header, or after a failure.
TEST_F(LookupSchTest, shouldNotShowAWindowWithoutRows)
{
    server->answer(QStringLiteral("|GET|ASCODE|EMPTY|1001|"), codeTable(0));
    server->answer(QStringLiteral("|GET|ASCODE|NOHEAD|1001|"), {QStringLiteral("|EN|END|")});
    EXPECT_EQ(misc(QStringLiteral("EMPTY"), [](frmLookupSch& w) { w.reject(); }), QString());
    EXPECT_EQ(misc(QStringLiteral("NOHEAD"), [](frmLookupSch& w) { w.reject(); }), QString());
    EXPECT_EQ(misc(QString(), [](frmLookupSch& w) { w.reject(); }), QString());
    EXPECT_EQ(shows, 0);
    EXPECT_EQ(utils->reports,
              QStringList({QStringLiteral("Error raised in frmLookupSch.MiscGridLookup: Invalid procedure call or argument")}));
}

// Catches wrong return strings in both forms, including blank columns, and Cancel or Escape
// returning a row.
TEST_F(LookupSchTest, shouldReturnTheChosenRowInBothForms)
{
    const QString blank = cell(QString());
    server->answerPrefix(QStringLiteral("|GET|ASCODE|"),
                         {lookupHeader(4, {QStringLiteral("CodeKB010"), QStringLiteral("DescKB030"), QStringLiteral("MoreKB010")}),
                          lookupRow(QStringLiteral("K1"), {cell(QStringLiteral("M")), cell(QStringLiteral("Male")), cell(QStringLiteral("x"))}),
                          lookupRow(QStringLiteral("K2"), {cell(QStringLiteral("F")), blank, cell(QStringLiteral("y"))}),
                          lookupRow(QStringLiteral("K3"), {cell(QStringLiteral("U")), QString(), cell(QStringLiteral("z"))}),
                          lookupRow(QStringLiteral("K4"), {QStringLiteral("ab"), cell(QStringLiteral("Desc"))})});
    const auto choose = [this](int row, bool all) {
        return misc(QStringLiteral("SEX"), [row](frmLookupSch& w) { w.OnLButtonDblClkRowCol(row, 1); }, all);
    };
    const QString d = QStringLiteral("\u00E7\u00E7");
    EXPECT_EQ(choose(1, false), QStringLiteral("M") + d + QStringLiteral("Male"));
    EXPECT_EQ(choose(2, false), QStringLiteral("F") + d + d + QStringLiteral("K2"));
    EXPECT_EQ(choose(3, false), QStringLiteral("U") + d + QStringLiteral("K3"));
    EXPECT_EQ(choose(1, true), QStringLiteral("M") + d + QStringLiteral("Male") + d + QStringLiteral("x"));
    EXPECT_EQ(choose(3, true), QStringLiteral("U") + d + d + QStringLiteral("z"));
    EXPECT_EQ(choose(4, true), QString());

    EXPECT_EQ(misc(QStringLiteral("SEX"), [](frmLookupSch& w) { w.arrCmd[1]->click(); }), QString());
    EXPECT_EQ(misc(QStringLiteral("SEX"), [](frmLookupSch& w) { QTest::keyClick(&w, Qt::Key_Escape); }), QString());
    EXPECT_EQ(misc(QStringLiteral("SEX"), [](frmLookupSch& w) { w.arrCmd[0]->click(); }),
              QStringLiteral("M") + d + QStringLiteral("Male"));
}

// Catches Enter choosing a row that cannot be chosen, and double clicks on the headings or
// column 0 choosing anything.
TEST_F(LookupSchTest, shouldBeepOnEnterOverARowThatCannotBeChosen)
{
    server->answerPrefix(QStringLiteral("|GET|ASCODE|"),
                         {lookupHeader(2, {QStringLiteral("CodeKB010"), QStringLiteral("DescKB030")}),
                          lookupRow(QStringLiteral("K1"), {QStringLiteral("abc"), cell(QStringLiteral("Short"))}),
                          lookupRow(QStringLiteral("K2"), {cell(QStringLiteral("LONG")), cell(QStringLiteral("Fine"))})});
    const QString result = misc(QStringLiteral("SEX"), [this](frmLookupSch& w) {
        w.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
        w.grdLookupSch->setFocus();
        w.OnLButtonDblClkRowCol(0, 1);
        w.OnLButtonDblClkRowCol(2, 0);
        EXPECT_TRUE(w.isVisible());
        ASSERT_TRUE(keys::click(Qt::Key_Return));
        EXPECT_TRUE(w.isVisible());
        EXPECT_EQ(platform.beeps, 1);
        ASSERT_TRUE(keys::click(Qt::Key_Down));
        ASSERT_TRUE(keys::click(Qt::Key_Return));
        EXPECT_FALSE(w.isVisible());
    });
    EXPECT_EQ(result, QStringLiteral("LONG\u00E7\u00E7Fine"));
}

// Catches a code lookup that cannot be done from the keyboard alone, Enter on a focused
// Cancel choosing the row (the default button took it), and controls a screen reader cannot
// name.
TEST_F(LookupSchTest, shouldBeDrivenByKeysWhereTheFocusIs)
{
    server->answerPrefix(QStringLiteral("|GET|ASCODE|"), codeTable(5));
    int highlighted = 0;
    const QString chosen = misc(QStringLiteral("SEX"), [&](frmLookupSch& w) {
        w.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
        EXPECT_EQ(controlsWithoutAccessibleName(&w), QStringList());
        EXPECT_EQ(accessibleCellText(w.grdLookupSch, 1, 1), data(w, 1, 1, Qt::DisplayRole).toString());
        ASSERT_TRUE(keys::click(Qt::Key_Down));
        ASSERT_TRUE(keys::click(Qt::Key_Down));
        highlighted = w.currentRow();
        ASSERT_TRUE(keys::enter());
    });
    ASSERT_GT(highlighted, 1);
    EXPECT_EQ(chosen, misc(QStringLiteral("SEX"), [&](frmLookupSch& w) { w.OnLButtonDblClkRowCol(highlighted, 1); }));

    const QString cancelled = misc(QStringLiteral("SEX"), [&](frmLookupSch& w) {
        w.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
        w.arrCmd[1]->setFocus();
        ASSERT_TRUE(keys::enter());
    });
    EXPECT_EQ(cancelled, QString());
    const QString okay = misc(QStringLiteral("SEX"), [&](frmLookupSch& w) {
        w.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
        w.arrCmd[0]->setFocus();
        ASSERT_TRUE(keys::enter());
    });
    EXPECT_FALSE(okay.isEmpty());
}

// Catches the early paint, the final range and the current cell for 3, 40, 45 and 50,000
// rows, and a row count limited to 16 bits.
TEST_F(LookupSchTest, shouldReceiveEveryAnnouncedRow)
{
    const struct { int rows; int firstRangeRow; } cases[] = {{3, 0}, {40, 0}, {45, 41}, {50'000, 41}};
    for (const auto& c : cases) {
        auto w = received(codeTable(c.rows));
        EXPECT_EQ(w->loadRow(), c.rows);
        EXPECT_EQ(w->currentRow(), 1);
        EXPECT_EQ(w->grdLookupSch->RowCount(), c.rows);
        EXPECT_EQ(w->grdLookupSch->currentIndex().row(), 0);
        EXPECT_EQ(w->lastRange().firstRow, c.firstRangeRow);
        EXPECT_EQ(w->lastRange().lastRow, c.rows);
        EXPECT_FALSE(w->grdLookupSch->updatesLocked());
        EXPECT_EQ(w->Grids[0].Cells.cell(2, c.rows), cell(QStringLiteral("Description %1").arg(c.rows)));
    }
    EXPECT_TRUE(utils->reports.isEmpty());
}

// Catches a short row filled from the record's first fields, an extra field taken in, an
// extra row not overwriting the last one, and a "GH" header that clears like "GC".
TEST_F(LookupSchTest, shouldReceiveShortExtraAndRepeatedRecordsSoundly)
{
    const QStringList records{
        lookupHeader(2, {QStringLiteral("CodeKB010"), QStringLiteral("DescriptionKB030")}),
        lookupRow(QStringLiteral("E"), {cell(QStringLiteral("a")), cell(QStringLiteral("b")), cell(QStringLiteral("extra"))}),
        lookupRow(QStringLiteral("S"), {cell(QStringLiteral("only"))}),
        lookupRow(QStringLiteral("L"), {cell(QStringLiteral("last")), cell(QStringLiteral("again"))}),
    };
    auto w = received(records);
    EXPECT_EQ(w->Grids[0].Cells.cell(1, 1), cell(QStringLiteral("a")));
    EXPECT_EQ(w->Grids[0].Cells.cell(2, 1), cell(QStringLiteral("b")));
    EXPECT_EQ(w->Grids[0].Cells.cell(3, 1), QString());   // the column past the last is never filled
    EXPECT_EQ(w->Grids[0].Cells.cell(0, 2), QStringLiteral("L"));   // the extra row overwrote row 2
    EXPECT_EQ(utils->reports.size(), 1);   // the short row's missing field
    EXPECT_TRUE(utils->reports.value(0).startsWith(QStringLiteral("Error raised in frmLookupSch.winRecvGridAsync: ")));

    auto short_ = received({lookupHeader(1, {QStringLiteral("AKB010"), QStringLiteral("BKB010"), QStringLiteral("CKB010")}),
                            lookupRow(QStringLiteral("S"), {cell(QStringLiteral("one"))})});
    EXPECT_EQ(short_->Grids[0].Cells.cell(1, 1), cell(QStringLiteral("one")));
    EXPECT_EQ(short_->Grids[0].Cells.cell(2, 1), QString());
    EXPECT_EQ(short_->Grids[0].Cells.cell(3, 1), QString());

    auto merged = received({lookupHeader(3, {QStringLiteral("AKB010"), QStringLiteral("BKB010")}),
                            lookupRow(QStringLiteral("1"), {cell(QStringLiteral("m"), QStringLiteral("2000AB0")), cell(QStringLiteral("x"))}),
                            lookupRow(QStringLiteral("2"), {cell(QStringLiteral("y")), cell(QStringLiteral("x"))}),
                            lookupRow(QStringLiteral("3"), {cell(QStringLiteral("z")), cell(QStringLiteral("x"))})});
    data(*merged, 1, 1, Qt::DisplayRole);   // styling the cell merges it
    EXPECT_EQ(merged->grdLookupSch->rowSpan(0, 1), 2);
    merged->AsyncReceive(lookupHeader(3, {QStringLiteral("AKB010"), QStringLiteral("BKB010")}));
    EXPECT_EQ(merged->grdLookupSch->rowSpan(0, 1), 2);      // "GH" keeps the grid
    merged->AsyncReceive(lookupHeader(3, {QStringLiteral("AKB010"), QStringLiteral("BKB010")}, QStringLiteral("GC")));
    EXPECT_EQ(merged->grdLookupSch->rowSpan(0, 1), 1);      // "GC" clears it first
}

// Catches a row count that is not five digits taken in (a fuzzed "8E08" asked for 800 million
// rows): reported, and the count stays as it was.
TEST_F(LookupSchTest, shouldRefuseARowCountThatIsNotFiveDigits)
{
    auto w = received({QStringLiteral("|\t\t"), QStringLiteral("|GC"), QStringLiteral("|GC|0|8E08")});
    EXPECT_EQ(w->Grids[0].RowCount, 0);
    EXPECT_EQ(w->grdLookupSch->RowCount(), 0);
    EXPECT_TRUE(utils->reports.contains(QStringLiteral("Error raised in frmLookupSch.winRecvGridAsync: Type mismatch ___ 13")));
}

// Catches suffix positions read wrongly: fonts, control kinds, choice lists, colours,
// alignment, merging and the white-on-dark-blue current row, read through the grid's model.
TEST_F(LookupSchTest, shouldPaintCellsFromTheirSuffixes)
{
    auto w = received({lookupHeader(5, {QStringLiteral("NameCE110"), QStringLiteral("ListAA510")}),
                       lookupRow(QStringLiteral("1"), {cell(QStringLiteral("plain")), cell(QStringLiteral("Fred\nAnn"), QStringLiteral("0007AB0"))}),
                       lookupRow(QStringLiteral("2"), {cell(QStringLiteral("Big"), QStringLiteral("0040CD2")), cell(QStringLiteral("AFemale"), QStringLiteral("0004AB0"))}),
                       lookupRow(QStringLiteral("3"), {cell(QStringLiteral("Ital"), QStringLiteral("0080AB1")), cell(QString(), QStringLiteral("0004AB0"))}),
                       lookupRow(QStringLiteral("4"), {cell(QStringLiteral("Bad"), QStringLiteral("0000[B0")), cell(QStringLiteral("x"))}),
                       lookupRow(QStringLiteral("5"), {cell(QStringLiteral("Tall"), QStringLiteral("3000AB0")), cell(QStringLiteral("x"))})});
    QAbstractItemModelTester tester(w->grdLookupSch->model(), QAbstractItemModelTester::FailureReportingMode::Warning);

    // Heading: C red on E blue, alignment 5 -> 5 mod 3 = right.
    EXPECT_EQ(data(*w, 0, 1, Qt::DisplayRole).toString(), QStringLiteral("Name"));
    EXPECT_EQ(data(*w, 0, 1, Qt::BackgroundRole).value<QBrush>().color(), QColor(192, 0, 0));
    EXPECT_EQ(data(*w, 0, 2, Qt::TextAlignmentRole).toInt(), int(Qt::AlignRight | Qt::AlignVCenter));

    // Row 1 is current: white on dark blue.
    EXPECT_EQ(data(*w, 1, 1, Qt::BackgroundRole).value<QBrush>().color(), QColor(10, 36, 106));
    EXPECT_EQ(data(*w, 1, 1, Qt::ForegroundRole).value<QBrush>().color(), QColor(255, 255, 255));
    EXPECT_EQ(data(*w, 1, 2, platform::GridModel::CellKindRole).toInt(), int(platform::CellKind::List));
    EXPECT_EQ(data(*w, 1, 2, platform::GridModel::ChoiceListRole).toString(), QStringLiteral("Fred\nAnn"));

    // Row 2: 10-point bold, C on D, right; a drop-down showing "A" with the rest as its list.
    const QFont big = data(*w, 2, 1, Qt::FontRole).value<QFont>();
    EXPECT_DOUBLE_EQ(big.pointSizeF(), 10.0);
    EXPECT_TRUE(big.bold());
    EXPECT_EQ(data(*w, 2, 1, Qt::BackgroundRole).value<QBrush>().color(), QColor(192, 0, 0));
    EXPECT_EQ(data(*w, 2, 1, Qt::ForegroundRole).value<QBrush>().color(), QColor(0, 128, 0));
    EXPECT_EQ(data(*w, 2, 2, Qt::DisplayRole).toString(), QStringLiteral("A"));
    EXPECT_EQ(data(*w, 2, 2, platform::GridModel::ChoiceListRole).toString(), QStringLiteral("Female"));
    EXPECT_EQ(data(*w, 2, 2, platform::GridModel::CellKindRole).toInt(), int(platform::CellKind::DropDown));
    // An empty drop-down offers "no data".
    EXPECT_EQ(data(*w, 3, 2, platform::GridModel::ChoiceListRole).toString(), QStringLiteral("no data"));
    // Font code 8: 12-point italic.
    EXPECT_TRUE(data(*w, 3, 1, Qt::FontRole).value<QFont>().italic());
    // A colour letter outside the table: no value, white, but the text colour still applies.
    EXPECT_EQ(data(*w, 4, 1, Qt::DisplayRole).toString(), QString());
    EXPECT_EQ(data(*w, 4, 1, Qt::BackgroundRole).value<QBrush>().color(), QColor(255, 255, 255));
    // Tips are the texts without their suffixes; a cell without one has none (not the last
    // cell's tip).
    EXPECT_EQ(data(*w, 2, 1, Qt::ToolTipRole).toString(), QStringLiteral("Big"));
    EXPECT_EQ(data(*w, 0, 1, Qt::ToolTipRole).toString(), QStringLiteral("Name"));
    EXPECT_EQ(data(*w, 1, 0, Qt::ToolTipRole).toString(), QString());
    // A row span of 3 in row 5 merges rows 5 to 7 of that column (as far as there are rows).
    data(*w, 5, 1, Qt::DisplayRole);
    EXPECT_EQ(w->grdLookupSch->rowSpan(4, 1), 1);   // only row 5 exists: nothing to merge into
    // Column 0 is never styled.
    EXPECT_EQ(data(*w, 1, 0, Qt::DisplayRole).toString(), QString());

    // Moving the current row moves the highlight.
    w->grdLookupSch->SetCurrentCell(2, 1);
    EXPECT_EQ(w->currentRow(), 2);
    EXPECT_EQ(data(*w, 2, 1, Qt::BackgroundRole).value<QBrush>().color(), QColor(10, 36, 106));
    EXPECT_EQ(data(*w, 1, 1, Qt::BackgroundRole).value<QBrush>().color(), QColor(255, 255, 255));
}

// Catches window sizes: the 5000-twip minimum grid and 5300-twip window, the scroll bar only
// past 2550 twips of rows, the fixed 3535-twip height and the buttons' corner.
TEST_F(LookupSchTest, shouldSizeTheWindowToItsData)
{
    using namespace platform;
    auto small = received({lookupHeader(2, {QStringLiteral("CodeKB005"), QStringLiteral("DescKB010")}),
                           lookupRow(QStringLiteral("1"), {cell(QStringLiteral("a")), cell(QStringLiteral("b"))}),
                           lookupRow(QStringLiteral("2"), {cell(QStringLiteral("c")), cell(QStringLiteral("d"))})});
    EXPECT_EQ(small->grdLookupSch->width(), twipsToPixelsX(5000, small.get()));
    EXPECT_EQ(small->width(), twipsToPixelsX(5300, small.get()));
    EXPECT_EQ(small->height(), twipsToPixelsY(3535, small.get()));
    EXPECT_EQ(small->grdLookupSch->VerticalBarTakesRoom(), 0);
    const QRect buttons = small->frButtons->geometry();
    EXPECT_NEAR(small->width() - (buttons.x() + buttons.width()), twipsToPixelsX(180, small.get()), 1);
    EXPECT_NEAR(small->height() - (buttons.y() + buttons.height()), twipsToPixelsY(400, small.get()), 1);

    auto tall = received(codeTable(200));
    EXPECT_EQ(tall->grdLookupSch->VerticalBarTakesRoom(), 1);
    EXPECT_EQ(tall->height(), twipsToPixelsY(3535, tall.get()));
}
