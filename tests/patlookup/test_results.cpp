// Loading, paging and presenting the results: the grid's rows and the status line as pages
// arrive, every failure's message, and each cell's look as the grid reports it.
#include "accessibility.h"
#include "focuskeys.h"
#include "lookupfixture.h"

#include <QAbstractItemModelTester>
#include <QAccessible>
#include <QBrush>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>

using namespace zelvar;
using namespace zelvar::test;

namespace {

QColor background(patlookup::frmPatLookup& d, int gridRow, int column)
{
    QAbstractItemModel* model = d.grdPatient->model();
    const QVariant v = gridRow == 0 ? model->headerData(column, Qt::Horizontal, Qt::BackgroundRole)
                                    : model->data(model->index(gridRow - 1, column), Qt::BackgroundRole);
    return v.value<QBrush>().color();
}

QColor foreground(patlookup::frmPatLookup& d, int gridRow, int column)
{
    QAbstractItemModel* model = d.grdPatient->model();
    const QVariant v = gridRow == 0 ? model->headerData(column, Qt::Horizontal, Qt::ForegroundRole)
                                    : model->data(model->index(gridRow - 1, column), Qt::ForegroundRole);
    return v.value<QBrush>().color();
}

QString text(patlookup::frmPatLookup& d, int gridRow, int column)
{
    QAbstractItemModel* model = d.grdPatient->model();
    return gridRow == 0 ? model->headerData(column, Qt::Horizontal).toString()
                        : model->data(model->index(gridRow - 1, column)).toString();
}

} // namespace

class ResultsTest : public LookupFixture
{
protected:
    // A search of three pages, 120 rows in all (the first page says so); its first request.
    QString answerThreePages()
    {
        const QString first = QStringLiteral("|GET|KEY|PATIENT|&PAT NAME|");
        QStringList firstPage = patientPage(1, 50, QStringLiteral("P02"));
        firstPage[0].insert(11, QStringLiteral("/120"));
        server->answer(first, firstPage);
        server->answer(first + QStringLiteral("P02"), patientPage(51, 50, QStringLiteral("P03")));
        server->answer(first + QStringLiteral("P03"), patientPage(101, 20, QStringLiteral("--")));
        return first;
    }
};

// Catches further-rows requests that are not the last request plus the continuation key,
// the 200 virtual rows missing, the row count not becoming exactly RowsLoaded at the end,
// and the status line forms, with the whole list's count when the server gives it.
TEST_F(ResultsTest, shouldPageThroughTheResults)
{
    const QString first = answerThreePages();
    lookupWith(QStringLiteral("patient"), [&](Dialog& d) {
        QAbstractItemModelTester tester(d.grdPatient->model(), QAbstractItemModelTester::FailureReportingMode::Warning);
        EXPECT_EQ(d.grdPatient->RowCount(), 200);
        EXPECT_TRUE(d.lblStatus->text().startsWith(QStringLiteral("Showing: ")));
        EXPECT_EQ(d.lblStatus->text(), QStringLiteral("Showing: %1 of 120").arg(d.LastShownRow()));
        d.cmdMore_Click();
        EXPECT_EQ(d.results().RowsLoaded, 100);
        EXPECT_EQ(d.grdPatient->RowCount(), 200);
        d.cmdMore_Click();
        EXPECT_EQ(d.results().RowsLoaded, 120);
        EXPECT_EQ(d.grdPatient->RowCount(), 120);
        EXPECT_EQ(d.lblStatus->text(), QStringLiteral("Total: 120"));
        d.cmdMore_Click();   // everything is loaded: nothing is asked
        EXPECT_EQ(d.lastRequest(), first);
        EXPECT_EQ(text(d, 120, 1), QStringLiteral("PATIENT,120"));
        d.cmdCancel_Click();
    });
    EXPECT_EQ(server->requests(), QStringList({first, first + QStringLiteral("P02"), first + QStringLiteral("P03")}));
}

// Catches a model that reports rows it has not loaded (the grid's offered rows), appends a page
// without announcing it (a view would never show the rows), asks again after the last page or
// after an unanswered search, or gives a screen reader the server's style suffixes as text.
TEST_F(ResultsTest, shouldHoldTheLoadedRowsAndPageItselfAsAModel)
{
    answerThreePages();
    patlookup::ResultsModel model([this](const QString& request, QStringList& reply) {
        QString fourth;
        return server->GetServerStringData(request, reply, QString(), fourth);
    });
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);

    QString error;
    ASSERT_EQ(model.load({QStringLiteral("PATIENT"), QStringLiteral("&PAT NAME"), false, false, {}}, error),
              patlookup::ResultsModel::Page::Read);
    EXPECT_EQ(model.rowCount(), 50);
    EXPECT_EQ(model.columnCount(), 2);
    EXPECT_EQ(model.property("knownTotal").toString(), QStringLiteral("120"));
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Patient Name"));
    EXPECT_EQ(model.index(49, 0).data().toString(), QStringLiteral("PATIENT,50"));
    EXPECT_EQ(model.index(49, 1).data(patlookup::ResultsModel::KeyRole).toInt(), 1050);
    ASSERT_TRUE(model.canFetchMore({}));

    model.fetchMore({});
    model.fetchMore({});
    EXPECT_EQ(model.rowCount(), 120);
    ASSERT_EQ(inserted.size(), 2);
    EXPECT_EQ(inserted[1][1].toInt(), 100);
    EXPECT_EQ(inserted[1][2].toInt(), 119);
    EXPECT_EQ(model.index(119, 1).data().toString(), QStringLiteral("01/02/1990"));
    EXPECT_FALSE(model.canFetchMore({}));
    model.fetchMore({});
    EXPECT_EQ(server->requests().size(), 3);

    server->fail(QStringLiteral("|GET|KEY|"), host::ScriptedHostLink::Failure::NotAnswered);
    EXPECT_EQ(model.load({QStringLiteral("OTHER"), QStringLiteral("&PAT NAME"), false, false, {}}, error),
              patlookup::ResultsModel::Page::Unanswered);
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_FALSE(model.canFetchMore({}));
}

// Catches a screen reader told of the grid's 200 offered rows instead of the rows loaded, or
// given the grid's own columns (the keys first) where the window shows its model's.
TEST_F(ResultsTest, shouldGiveAScreenReaderTheRowsLoaded)
{
    answerThreePages();
    lookupWith(QStringLiteral("patient"), [&](Dialog& d) {
        QAccessibleInterface* grid = QAccessible::queryAccessibleInterface(d.grdPatient);
        QAccessibleTableInterface* table = grid->tableInterface();
        ASSERT_NE(table, nullptr);
        EXPECT_EQ(d.grdPatient->RowCount(), 200);
        EXPECT_EQ(table->rowCount(), 50);
        EXPECT_EQ(table->columnCount(), 2);
        EXPECT_EQ(grid->childCount(), 51 * 2);
        EXPECT_EQ(table->columnDescription(0), QStringLiteral("Patient Name"));
        EXPECT_EQ(table->cellAt(49, 0)->text(QAccessible::Name), QStringLiteral("PATIENT,50"));
        EXPECT_EQ(grid->indexOfChild(table->cellAt(49, 1)), 50 * 2 + 1);
        EXPECT_EQ(table->cellAt(50, 0), nullptr);
        d.cmdMore_Click();
        EXPECT_EQ(table->rowCount(), 100);
        d.cmdCancel_Click();
    });
}

// What a screen reader hears while the clerk works the grid. These tests run with the desktop's
// accessibility bus (tools/with-screen-reader.sh): Qt tells nobody of a change without it.
class ScreenReaderTest : public ResultsTest
{
protected:
    void SetUp() override
    {
        ResultsTest::SetUp();
        if (qEnvironmentVariableIsEmpty("ZELVAR_SCREEN_READER"))
            GTEST_SKIP() << "needs the accessibility bus: run it under tools/with-screen-reader.sh";
        ASSERT_TRUE(QTest::qWaitFor([] { return QAccessible::isActive(); }, 10000))
            << "the accessibility bus never answered";
    }
};

// Catches a further page a screen reader never hears of; an arrow key's focus event that names
// another cell than the one made current (the view numbers the cells of its own model, with
// the key column and the rows not loaded); and a focused cell gone before the screen reader
// asks for it (the grid adds an empty row at its end at every step it scrolls).
TEST_F(ScreenReaderTest, shouldHearOfTheNextPageAndOfTheCellTheArrowsReach)
{
    answerThreePages();
    const AccessibilityEvents events;
    lookupWith(QStringLiteral("patient"), [&](Dialog& d) {
        d.cmdMore_Click();
        const auto changes = events.of(d.grdPatient, QAccessible::TableModelChanged);
        ASSERT_FALSE(changes.isEmpty());
        EXPECT_EQ(changes.last().firstRow, 50);
        EXPECT_EQ(changes.last().lastRow, 99);

        activate(d);
        d.grdPatient->setFocus();
        for (int step = 0; step < 40; ++step)
            ASSERT_TRUE(keys::click(Qt::Key_Down));
        ASSERT_GT(d.grdPatient->TopRow(), 1);
        const auto moves = events.of(d.grdPatient, QAccessible::Focus);
        ASSERT_FALSE(moves.isEmpty());
        const QString current = d.resultsModel().index(d.currentRow() - 1, 0).data().toString();
        EXPECT_EQ(moves.last().role, QAccessible::Cell);
        EXPECT_TRUE(moves.last().focused);
        EXPECT_EQ(moves.last().text, current);
        QAccessibleInterface* asked = QAccessible::accessibleInterface(moves.last().id);
        ASSERT_NE(asked, nullptr);
        EXPECT_EQ(asked->text(QAccessible::Name), current);
        const QAccessibleTableInterface* table = QAccessible::queryAccessibleInterface(d.grdPatient)->tableInterface();
        EXPECT_EQ(table->selectedRows(), QList<int>{d.currentRow() - 1});
        d.cmdCancel_Click();
    });
}

// Catches a complete first page shown with virtual rows or without its total (on screen and
// to a screen reader), and a zero-key row given a total.
TEST_F(ResultsTest, shouldShowTheTotalOfACompleteFirstPage)
{
    server->answerPrefix(QStringLiteral("|GET|KEY|"), patientPage(1, 7, QStringLiteral("  ")));
    lookupWith(QStringLiteral("patient"), [](Dialog& d) {
        EXPECT_EQ(d.grdPatient->RowCount(), 7);
        EXPECT_EQ(d.lblStatus->text(), QStringLiteral("Total: 7"));
        // What a screen reader says of the line is the count, not a fixed word.
        EXPECT_EQ(QAccessible::queryAccessibleInterface(d.lblStatus)->text(QAccessible::Name), QStringLiteral("Total: 7"));
        d.cmdCancel_Click();
    });
    server->answerPrefix(QStringLiteral("|GET|KEY|"),
                         {patientHeader(1), patientRow(QStringLiteral("0"), {QStringLiteral("No patients foundAB0")}),
                          patientTrailer({})});
    lookupWith(QStringLiteral("patient"), [](Dialog& d) {
        EXPECT_EQ(d.lblStatus->text(), QString());
        d.cmdCancel_Click();
    });
}

// Catches a failed request that beeps more than once, leaves the windows disabled, or the
// dialog unusable.
TEST_F(ResultsTest, shouldBeepOnceWhenTheServerDoesNotAnswer)
{
    server->fail(QStringLiteral("|GET|KEY|"), host::ScriptedHostLink::Failure::NotAnswered);
    const QString result = lookupWith(QStringLiteral("patient"), [this](Dialog& d) {
        EXPECT_EQ(platform.beeps, 1);
        EXPECT_TRUE(d.isEnabled());
        EXPECT_TRUE(d.cmdCancel->isEnabled());
        server->clearFailures();
        server->answerPrefix(QStringLiteral("|GET|KEY|"), patientPage(1, 2, {}));
        d.cmdSearch_Click();
        EXPECT_EQ(d.results().RowsLoaded, 2);
        d.cmdOK_Click();
    });
    EXPECT_EQ(result, QStringLiteral("1001\u00E7\u00E7PATIENT,1"));
}

// Catches a search the server did not answer that leaves the rows of the search before behind
// it (the grid is emptied, yet Enter or OK would still choose one of them).
TEST_F(ResultsTest, shouldKeepNoRowsOfTheSearchBeforeAnUnansweredOne)
{
    server->answerPrefix(QStringLiteral("|GET|KEY|"), patientPage(1, 2, {}));
    const QString result = lookupWith(QStringLiteral("patient"), [this](Dialog& d) {
        ASSERT_EQ(d.results().RowsLoaded, 2);
        server->fail(QStringLiteral("|GET|KEY|"), host::ScriptedHostLink::Failure::NotAnswered);
        d.txtSearch->setText(QStringLiteral("other"));
        d.cmdSearch_Click();
        EXPECT_EQ(d.results().RowsLoaded, 0);
        EXPECT_EQ(d.resultsModel().rowCount(), 0);
        EXPECT_FALSE(d.cmdOK->isEnabled());
        d.cmdOK_Click();
    });
    EXPECT_EQ(result, QStringLiteral("CANCEL"));
}

// Catches an unreadable first page without its message, or one that still lets further pages
// be asked for.
TEST_F(ResultsTest, shouldStopAtAnUnreadableFirstPage)
{
    const QString bad = patientHeader(0).replace(QStringLiteral("00000"), QStringLiteral("12ABC"));
    server->answerPrefix(QStringLiteral("|GET|KEY|"), {bad, patientTrailer(QStringLiteral("P02"))});
    lookupWith(QStringLiteral("patient"), [](Dialog& d) {
        d.cmdMore_Click();
        d.GetGridDataMoreRows();
        d.grdPatient->ScrollRows(3, 5);
        d.cmdCancel_Click();
    });
    ASSERT_EQ(platform.boxes.size(), 1);
    EXPECT_EQ(platform.boxes[0].prompt, QStringLiteral("Error in Patient Lookup \r\n") + bad);
    EXPECT_EQ(platform.boxes[0].style, 16);
    EXPECT_EQ(server->requests().size(), 1);
}

// Catches suffixes decoded from the wrong end or letter, the heading rule, U+0002 values, a
// current row not on the current-row colour with its own text colour, and a colour table
// asked for per cell or kept from one paint to the next.
TEST_F(ResultsTest, shouldColourCellsFromTheirSuffixes)
{
    server->answerPrefix(QStringLiteral("|GET|KEY|"),
                         {patientHeader(3, {QStringLiteral("NameKB025"), QStringLiteral("DOBAA110"),
                                            QStringLiteral("PhoneKB110")}),
                          patientRow(QStringLiteral("1001"), {QStringLiteral("FIRSTCE2"), QStringLiteral("X\u0002"),
                                                              QStringLiteral("QAC1")}),
                          patientRow(QStringLiteral("1002"), {QStringLiteral("SECONDCE2"), QStringLiteral("Y\u0002"),
                                                              QStringLiteral("ZZAB0")}),
                          patientRow(QStringLiteral("1003"), {QStringLiteral("AB"), QString(), QStringLiteral("KAB0")}),
                          patientTrailer({})});
    utils->setColorTable([] {
        QStringList table = host::StandardUtils::defaultColorTable();
        table[1] = QString();   // A: no colour
        return table;
    }());
    lookupWith(QStringLiteral("patient"), [this](Dialog& d) {
        // Heading: K light grey background, B black text, left.
        EXPECT_EQ(text(d, 0, 1), QStringLiteral("Name"));
        EXPECT_EQ(background(d, 0, 1), QColor(224, 224, 224));
        EXPECT_EQ(foreground(d, 0, 1), QColor(0, 0, 0));
        // Both colour entries empty: the registered "Header" style.
        EXPECT_EQ(background(d, 0, 2), QColor(200, 200, 200));

        // Row 2 is not current: C red background, E blue text, right aligned.
        EXPECT_EQ(text(d, 2, 1), QStringLiteral("SECOND"));
        EXPECT_EQ(background(d, 2, 1), QColor(192, 0, 0));
        EXPECT_EQ(foreground(d, 2, 1), QColor(0, 0, 192));
        EXPECT_EQ(d.grdPatient->model()->data(d.grdPatient->model()->index(1, 1), Qt::TextAlignmentRole).toInt(),
                  int(Qt::AlignRight | Qt::AlignVCenter));
        // Row 1 is current: the current-row colour, the value's own text colour.
        EXPECT_EQ(background(d, 1, 1), QColor(144, 180, 180));
        EXPECT_EQ(foreground(d, 1, 1), QColor(0, 0, 192));
        // U+0002: the Base style, also in the current row.
        EXPECT_EQ(text(d, 1, 2), QStringLiteral("X"));
        EXPECT_EQ(background(d, 1, 2), QColor(255, 255, 255));

        // A two-character value: reported and shown blank on light grey.
        utils->reports.clear();
        EXPECT_EQ(text(d, 3, 1), QString());
        EXPECT_EQ(background(d, 3, 1), QColor(210, 210, 210));
        EXPECT_FALSE(utils->reports.isEmpty());
        EXPECT_TRUE(utils->reports.first().startsWith(QStringLiteral("Err in frmPatLookup.grdPatient_GetStyleRowCol ")));

        // A paint reads the host's colour table once, and the next paint reads it again.
        utils->colorTableReads = 0;
        d.grdPatient->viewport()->grab();
        EXPECT_EQ(utils->colorTableReads, 1);
        utils->setColorTable(host::StandardUtils::defaultColorTable());
        d.grdPatient->viewport()->grab();
        EXPECT_EQ(utils->colorTableReads, 2);
        EXPECT_EQ(background(d, 0, 2), QColor(255, 255, 255));
        d.cmdCancel_Click();
    });
}

// Catches the current-row colour left on a row the user has left, or missing from the row the
// grid is on: after keys, a call, and a new search with fewer rows than the row that was current.
TEST_F(ResultsTest, shouldColourTheRowTheGridIsOn)
{
    server->answer(QStringLiteral("|GET|KEY|PATIENT|&PAT NAME|"), patientPage(1, 6, {}));
    server->answer(QStringLiteral("|GET|KEY|FEW|&PAT NAME|"), patientPage(1, 2, {}));
    lookupWith(QStringLiteral("patient"), [](Dialog& d) {
        const QColor current(144, 180, 180);
        const auto colouredRows = [&d, &current] {
            QList<int> rows;
            for (int r = 1; r <= d.grdPatient->RowCount(); ++r) {
                if (background(d, r, 1) == current)
                    rows.append(r);
            }
            return rows;
        };
        const auto gridRow = [&d] {
            platform::GridValue row;
            platform::GridValue column;
            return d.grdPatient->GetCurrentCell(row, column) ? QList<int>{row.Value.toInt()} : QList<int>{};
        };
        activate(d);
        d.grdPatient->setFocus();
        ASSERT_TRUE(keys::click(Qt::Key_Down));
        ASSERT_TRUE(keys::click(Qt::Key_Down));
        EXPECT_EQ(gridRow(), QList<int>{3});
        EXPECT_EQ(colouredRows(), gridRow());
        d.grdPatient->SetCurrentCell(5, 1);
        EXPECT_EQ(colouredRows(), QList<int>{5});
        d.txtSearch->setText(QStringLiteral("few"));
        d.cmdSearch_Click();
        ASSERT_EQ(d.grdPatient->RowCount(), 2);
        EXPECT_EQ(colouredRows(), gridRow());
        d.cmdCancel_Click();
    });
}

// Catches zoom steps other than 9, and limits that let it pass 505 or go below 19.
TEST_F(ResultsTest, shouldZoomInStepsOfNineWithinTheLimits)
{
    server->answerPrefix(QStringLiteral("|GET|KEY|"), patientPage(1, 3, {}));
    lookupWith(QStringLiteral("patient"), [](Dialog& d) {
        const int width = d.grdPatient->ColWidth(1);
        d.cmdZoomIn_Click();
        EXPECT_EQ(d.zoomPercent(), 109);
        EXPECT_EQ(d.grdPatient->zoom(), 109);
        for (int i = 0; i < 60; ++i)
            d.cmdZoomIn->click();
        EXPECT_EQ(d.zoomPercent(), 505);
        for (int i = 0; i < 60; ++i)
            d.cmdZoomOut_Click();
        EXPECT_EQ(d.zoomPercent(), 19);
        for (int i = 0; i < 9; ++i)
            d.cmdZoomIn_Click();
        EXPECT_EQ(d.zoomPercent(), 100);
        EXPECT_EQ(d.grdPatient->ColWidth(1), width);
        d.cmdCancel_Click();
    });
}

// Catches the fitted widths: columns stretched to the grid's width from their current widths.
TEST_F(ResultsTest, shouldFitTheColumnsToTheGrid)
{
    server->answerPrefix(QStringLiteral("|GET|KEY|"), patientPage(1, 3, {}));
    lookupWith(QStringLiteral("patient"), [](Dialog& d) {
        const int sum = d.grdPatient->SumColWidths(1, d.grdPatient->ColCount());
        const int available = d.grdPatient->width() - 2 - (d.grdPatient->VerticalBarTakesRoom(1) ? 17 : 0);
        EXPECT_NEAR(sum, available, 6);
        d.cmdCancel_Click();
    });
}
