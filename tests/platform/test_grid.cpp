// The virtual grid: what the style notification answers is what the grid shows and reports,
// asked once per painted cell; its operations and notifications as the windows drive them.
#include "platform/grid/gridcontrol.h"
#include "platform/grid/gridpainting.h"
#include "qtprinters.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <set>

using namespace zelvar;
using namespace zelvar::platform;

namespace {

// A grid of rows x columns, shown, with a handler that answers "r,c" for every cell and
// writes down each request.
class GridTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        grid.resize(420, 300);
        grid.SetColCount(4);
        grid.SetRowCount(100);
        grid.setStyleSource([this](int row, int column, GridStyle& style, GridValue& result) {
            requests.push_back({row, column});
            if (answer)
                answer(row, column, style);
            else
                style.setValue(QStringLiteral("%1,%2").arg(row).arg(column));
            result.Value = 1;
        });
    }

    void showAndPaint()
    {
        grid.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
        repaintNow();
    }

    void repaintNow()
    {
        requests.clear();
        grid.viewport()->repaint();
        grid.horizontalHeader()->viewport()->repaint();
    }

    // The data cells and heading sections that lie in view.
    int visibleCells() const
    {
        const int firstRow = grid.rowAt(0);
        int lastRow = grid.rowAt(grid.viewport()->height() - 1);
        if (lastRow < 0)
            lastRow = grid.model()->rowCount() - 1;
        int columns = 0;
        for (int c = 0; c < grid.model()->columnCount(); ++c) {
            if (grid.columnViewportPosition(c) < grid.viewport()->width())
                ++columns;
        }
        return (lastRow - firstRow + 1) * columns + columns;
    }

    GridControl grid;
    std::vector<std::pair<int, int>> requests;
    std::function<void(int, int, GridStyle&)> answer;
};

long residentKiB()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * 4 : 0;
}

} // namespace

// Catches a model that breaks Qt's model contract (row and column counts, indexes, roles).
TEST_F(GridTest, shouldKeepTheModelContract)
{
    QAbstractItemModelTester tester(&grid.gridModel(), QAbstractItemModelTester::FailureReportingMode::Warning);
    grid.SetRowCount(20);
    grid.SetColCount(6);
    grid.SetRowCount(0);
    grid.SetColCount(2);
    grid.SetRowCount(5);
    EXPECT_EQ(grid.model()->rowCount(), 5);
    EXPECT_EQ(grid.model()->columnCount(), 3);
}

// Catches roles that do not come from the handler's answer: value, alignment, colours from
// values and from colour-table texts, font, cell kind and choice list; and the heading row
// answered through headerData.
TEST_F(GridTest, shouldReportWhatTheStyleNotificationAnswered)
{
    answer = [](int row, int column, GridStyle& style) {
        if (row == 2 && column == 3) {
            style.setValue(QStringLiteral("SMITH"));
            style.setHorizontalAlignment(QStringLiteral("2"));
            style.setInterior(QStringLiteral("255"));           // red, as colour-table text
            style.setTextColor(Colour(0xFF0000));               // blue
            GridFont font;
            font.setSize(10);
            font.setBold(true);
            style.setFont(font);
            style.setCellKind(platform::CellKind::DropDown);
            style.setChoiceList(QStringLiteral("M\nF"));
        } else if (row == 0) {
            style.setValue(QStringLiteral("Head%1").arg(column));
            style.setHorizontalAlignment(QStringLiteral("1"));
            style.setInterior(QString());                       // empty entry: left as it is
        }
    };
    QAbstractItemModel* model = grid.model();
    const QModelIndex cell = model->index(1, 3);
    EXPECT_EQ(model->data(cell).toString(), QStringLiteral("SMITH"));
    EXPECT_EQ(model->data(cell, Qt::TextAlignmentRole).toInt(), int(Qt::AlignRight | Qt::AlignVCenter));
    EXPECT_EQ(model->data(cell, Qt::BackgroundRole).value<QBrush>().color(), QColor(255, 0, 0));
    EXPECT_EQ(model->data(cell, Qt::ForegroundRole).value<QBrush>().color(), QColor(0, 0, 255));
    const QFont font = model->data(cell, Qt::FontRole).value<QFont>();
    EXPECT_DOUBLE_EQ(font.pointSizeF(), 10.0);
    EXPECT_TRUE(font.bold());
    EXPECT_EQ(model->data(cell, GridModel::CellKindRole).toInt(), int(CellKind::DropDown));
    EXPECT_EQ(model->data(cell, GridModel::ChoiceListRole).toString(), QStringLiteral("M\nF"));

    EXPECT_EQ(model->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Head2"));
    EXPECT_EQ(model->headerData(2, Qt::Horizontal, Qt::TextAlignmentRole).toInt(),
              int(Qt::AlignHCenter | Qt::AlignVCenter));
    EXPECT_FALSE(model->headerData(2, Qt::Horizontal, Qt::BackgroundRole).isValid());

    // A cell the handler leaves alone has the grid's own look.
    const QModelIndex plain = model->index(4, 1);
    EXPECT_EQ(model->data(plain).toString(), QString());
    EXPECT_FALSE(model->data(plain, Qt::BackgroundRole).isValid());
}

// Catches a base style not inherited, or one that overrides what the cell set itself.
TEST_F(GridTest, shouldResolveRegisteredBaseStyles)
{
    GridStyle base = grid.NewStyle();
    base.setInterior(Colour(0xC8C8C8));
    base.setTextColor(Colour(0));
    const qint32 header = grid.GetStylesMap().registerStyle(QStringLiteral("Header"), base, false);
    answer = [header](int, int column, GridStyle& style) {
        style.setBaseStyle(header);
        if (column == 2)
            style.setInterior(Colour(0x0000FF));
    };
    EXPECT_EQ(grid.model()->data(grid.model()->index(0, 1), Qt::BackgroundRole).value<QBrush>().color(),
              QColor(200, 200, 200));
    EXPECT_EQ(grid.model()->data(grid.model()->index(0, 2), Qt::BackgroundRole).value<QBrush>().color(),
              QColor(255, 0, 0));
}

// Catches the handler being asked more than once per painted cell, or for cells out of view.
TEST_F(GridTest, shouldAskOncePerPaintedCellAndOnlyInView)
{
    showAndPaint();
    grid.SetTopRow(40);
    QCoreApplication::processEvents();
    repaintNow();

    std::set<std::pair<int, int>> distinct(requests.begin(), requests.end());
    EXPECT_EQ(distinct.size(), requests.size());
    EXPECT_EQ(int(requests.size()), visibleCells());
    const int firstRow = grid.rowAt(0) + 1;
    const int lastRow = grid.rowAt(grid.viewport()->height() - 1) + 1;
    for (const auto& [row, column] : requests)
        EXPECT_TRUE(row == 0 || (row >= firstRow && row <= lastRow)) << row;
}

// Catches a heading row that scrolls away with the rows.
TEST_F(GridTest, shouldKeepTheHeadingRowInView)
{
    showAndPaint();
    grid.SetTopRow(60);
    QCoreApplication::processEvents();
    repaintNow();
    EXPECT_EQ(grid.TopRow(), 60);
    EXPECT_TRUE(grid.horizontalHeader()->isVisible());
    EXPECT_LT(grid.horizontalHeader()->geometry().bottom(), grid.viewport()->geometry().top() + 1);
    EXPECT_TRUE(std::any_of(requests.begin(), requests.end(), [](auto r) { return r.first == 0; }));
}

// Catches per-row storage: a million rows must scroll and repaint without the process growing.
TEST_F(GridTest, shouldScrollAMillionRowsWithoutGrowing)
{
    grid.SetRowCount(1'000'000);
    showAndPaint();
    grid.SetTopRow(2);
    repaintNow();
    const long before = residentKiB();
    for (int top : {1000, 250'000, 500'000, 999'950, 10, 750'000}) {
        grid.SetTopRow(top);
        QCoreApplication::processEvents();
        repaintNow();
        EXPECT_EQ(grid.TopRow(), grid.rowAt(0) + 1);
    }
#ifndef ZELVAR_SANITIZED   // the sanitizers keep freed memory in quarantine
    EXPECT_LT(residentKiB() - before, 4096);
#else
    Q_UNUSED(before);
#endif
    EXPECT_EQ(int(requests.size()), visibleCells());
}

// Catches a row count from the server exhausting memory (a fuzzed header claimed 800 million).
TEST_F(GridTest, shouldCapTheRowCount)
{
    grid.SetRowCount(800'000'000);
    EXPECT_EQ(grid.RowCount(), GridControl::kMaxRows);
}

// Catches key notifications in the wrong order, with the wrong codes or flags, an auto-repeat
// that looks like a fresh press, and a refused Tab that still moves the current cell.
TEST_F(GridTest, shouldRaiseKeyNotificationsInOrder)
{
    showAndPaint();
    grid.setFocus();
    grid.SetCurrentCell(3, 1);
    QStringList events;
    bool refuseTab = true;
    QObject::connect(&grid, &GridControl::ProcessKeys, [&](int message, double key, int, double flags) {
        events.append(QStringLiteral("process %1 %2 %3").arg(message).arg(key).arg(int(flags), 0, 16));
    });
    QObject::connect(&grid, &GridControl::KeyDown, [&](double key, int, int, GridValue& result) {
        events.append(QStringLiteral("down %1").arg(key));
        if (key == 9 && refuseTab)
            result.Value = false;
    });
    QObject::connect(&grid, &GridControl::KeyUp, [&](double key, int, int, GridValue&) {
        events.append(QStringLiteral("up %1").arg(key));
    });

    QTest::keyPress(&grid, Qt::Key_Return);
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(&grid, &repeat);
    QKeyEvent repeatRelease(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(&grid, &repeatRelease);
    QTest::keyRelease(&grid, Qt::Key_Return);
    QTest::keyClick(&grid, Qt::Key_K);

    const QStringList expected{
        QStringLiteral("process 256 13 0"), QStringLiteral("down 13"),
        QStringLiteral("process 256 13 4000"), QStringLiteral("down 13"),
        QStringLiteral("process 257 13 c000"), QStringLiteral("up 13"),
        QStringLiteral("process 256 75 0"), QStringLiteral("down 75"),
        QStringLiteral("process 257 75 c000"), QStringLiteral("up 75"),
    };
    EXPECT_EQ(events, expected);

    QTest::keyClick(&grid, Qt::Key_Tab);
    EXPECT_EQ(grid.currentIndex().column(), 1);
    refuseTab = false;
    QTest::keyClick(&grid, Qt::Key_Tab);
    EXPECT_EQ(grid.currentIndex().column(), 2);
}

// Catches double clicks reported without their row and column, or the heading row not as 0.
TEST_F(GridTest, shouldReportDoubleClicksWithRowAndColumn)
{
    showAndPaint();
    QList<std::pair<int, int>> clicks;
    QObject::connect(&grid, &GridControl::OnLButtonDblClkRowCol,
                     [&](double row, double column, int) { clicks.append({int(row), int(column)}); });
    const QRect cell = grid.visualRect(grid.model()->index(4, 2));
    QTest::mouseDClick(grid.viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    QHeaderView* header = grid.horizontalHeader();
    const QPoint heading(header->sectionViewportPosition(3) + header->sectionSize(3) / 2, header->height() / 2);
    QTest::mouseDClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, heading);
    EXPECT_EQ(clicks, (QList<std::pair<int, int>>{{5, 2}, {0, 3}}));
}

// Catches the current cell read or notified in model numbering instead of grid numbering, and
// a left-cell notification missing or after the new cell's.
TEST_F(GridTest, shouldTrackTheCurrentCell)
{
    showAndPaint();
    grid.setFocus();
    QStringList events;
    QObject::connect(&grid, &GridControl::OnLeftCell, [&](double r, double c, double nr, double nc) {
        events.append(QStringLiteral("left %1,%2 -> %3,%4").arg(r).arg(c).arg(nr).arg(nc));
    });
    QObject::connect(&grid, &GridControl::OnInitCurrentCell,
                     [&](double r, double c) { events.append(QStringLiteral("init %1,%2").arg(r).arg(c)); });

    GridValue row = grid.NewHolder();
    GridValue column = grid.NewHolder();
    EXPECT_FALSE(grid.GetCurrentCell(row, column));
    grid.SetCurrentCell(3, 2);
    QTest::keyClick(&grid, Qt::Key_Down);
    ASSERT_TRUE(grid.GetCurrentCell(row, column));
    EXPECT_EQ(row.Value.toInt(), 4);
    EXPECT_EQ(column.Value.toInt(), 2);
    EXPECT_EQ(events, QStringList({QStringLiteral("init 3,2"), QStringLiteral("left 3,2 -> 4,2"),
                                   QStringLiteral("init 4,2")}));
}

// Catches the top-row notification raised after the move (the window could not tell the
// direction), or the changed notification before TopRow answers the new row.
TEST_F(GridTest, shouldNotifyTopRowChangesBeforeAndAfter)
{
    showAndPaint();
    QStringList events;
    QObject::connect(&grid, &GridControl::OnTopRowChange, [&](double top) {
        events.append(QStringLiteral("change to %1 from %2").arg(top).arg(grid.TopRow()));
    });
    QObject::connect(&grid, &GridControl::OnTopRowChanged,
                     [&] { events.append(QStringLiteral("changed %1").arg(grid.TopRow())); });
    grid.ScrollRows(3, 1);
    grid.ScrollRows(3, 2);
    grid.ScrollRows(1, 1);
    grid.ScrollRows(1, 10);   // cannot go above row 1: one change only
    EXPECT_EQ(events, QStringList({QStringLiteral("change to 2 from 1"), QStringLiteral("changed 2"),
                                   QStringLiteral("change to 4 from 2"), QStringLiteral("changed 4"),
                                   QStringLiteral("change to 3 from 4"), QStringLiteral("changed 3"),
                                   QStringLiteral("change to 1 from 3"), QStringLiteral("changed 1")}));
}

// Catches a zoom that leaves fonts, rows or widths alone, or that cannot be undone exactly.
TEST_F(GridTest, shouldZoomAndUnzoomExactly)
{
    grid.SetColWidths(1, 2, 100);
    const int row = grid.RowHeight(1);
    const double points = grid.model()->data(grid.model()->index(0, 1), Qt::FontRole).value<QFont>().pointSizeF();

    qint32 percent = 150;
    grid.SetZoom(percent);
    EXPECT_EQ(grid.ColWidth(1), 150);
    EXPECT_EQ(grid.RowHeight(1), int(std::lround(row * 1.5)));
    EXPECT_DOUBLE_EQ(grid.model()->data(grid.model()->index(0, 1), Qt::FontRole).value<QFont>().pointSizeF(),
                     points * 1.5);

    for (qint32 step : {141, 132, 19, 505, 100}) {
        percent = step;
        grid.SetZoom(percent);
    }
    EXPECT_EQ(grid.ColWidth(1), 100);
    EXPECT_EQ(grid.ColWidth(2), 100);
    EXPECT_EQ(grid.RowHeight(1), row);
}

// Catches merged cells applied during the paint (which would upset it) or not at all, and
// covered cells still asked for.
TEST_F(GridTest, shouldPaintMergedCellsAsOne)
{
    answer = [this](int row, int column, GridStyle& style) {
        if (row == 2 && column == 1)
            grid.SetCoveredCells(2, 1, 3, 2);
        style.setValue(QStringLiteral("x"));
    };
    showAndPaint();
    QCoreApplication::processEvents();
    EXPECT_EQ(grid.rowSpan(1, 1), 2);
    EXPECT_EQ(grid.columnSpan(1, 1), 2);
    repaintNow();
    for (const auto& cell : requests) {
        EXPECT_FALSE(cell == std::make_pair(3, 1) || cell == std::make_pair(2, 2) || cell == std::make_pair(3, 2));
    }
    EXPECT_EQ(std::count(requests.begin(), requests.end(), std::make_pair(2, 1)), 1);
}

// Catches a text that the font cannot place letter by letter (another script, a line break, a
// long text) or one it can (accented Latin) drawn as nothing, and a cell drawn differently the
// first time from the times after.
TEST_F(GridTest, shouldDrawTextsOfEveryKind)
{
    showAndPaint();
    const QStringList texts{QStringLiteral("M\u00DCLLER"), QStringLiteral("\u03A9\u03BC\u03AD\u03B3\u03B1"),
                            QStringLiteral("Fred\nAnn"), QString(300, QLatin1Char('W'))};
    answer = [&](int row, int column, GridStyle& style) {
        style.setValue(row >= 1 && row <= texts.size() && column == 1 ? texts[row - 1] : QString());
    };
    // The texts are new to the grid the first time, and kept after the second.
    const QImage first = grid.viewport()->grab().toImage();
    grid.viewport()->grab();
    const QImage kept = grid.viewport()->grab().toImage();
    for (int row = 1; row <= int(texts.size()); ++row) {
        const QRect cell = grid.visualRect(grid.model()->index(row - 1, 1));
        int dark = 0;
        for (int y = cell.top(); y <= cell.bottom(); ++y) {
            for (int x = cell.left(); x <= cell.right(); ++x)
                dark += qGray(first.pixel(x, y)) < 128 ? 1 : 0;
        }
        EXPECT_GT(dark, 5) << row;
        EXPECT_EQ(first.copy(cell), kept.copy(cell)) << row;
    }
}

// Catches letters placed apart from where the font places them (a kerned pair such as AV or
// To), the first time a text is drawn or once it is kept.
TEST(TextCacheTest, shouldPlaceLettersWhereTheFontPlacesThem)
{
    const QFont font = QApplication::font();
    const QRawFont raw = QRawFont::fromFont(font);
    TextCache cache;
    for (const QString& text : {QStringLiteral("AVATAR WAVY To"), QStringLiteral("Yo, LTA"), QStringLiteral("M\u00DCLLER, J\u00F6rg")}) {
        const QList<quint32> glyphs = raw.glyphIndexesForString(text);
        QList<QPointF> advances(glyphs.size());
        ASSERT_TRUE(raw.advancesForGlyphIndexes(glyphs.constData(), advances.data(), int(glyphs.size()), QRawFont::KernedAdvances));
        QList<QPointF> expected;
        qreal x = 0;
        for (const QPointF& advance : std::as_const(advances)) {
            expected.append(QPointF(x, 0));
            x += advance.x();
        }
        for (int time = 0; time < 3; ++time) {
            const LaidOutText& laidOut = cache.text(text, font, 1);
            ASSERT_FALSE(laidOut.text.has_value()) << text.toStdString();
            EXPECT_EQ(laidOut.glyphs.glyphIndexes(), glyphs) << text.toStdString();
            EXPECT_EQ(laidOut.glyphs.positions(), expected) << text.toStdString() << " time " << time;
            EXPECT_EQ(laidOut.size.width(), x);
        }
    }
}

// Catches tool tips that do not come from the window's answer for that very cell.
TEST_F(GridTest, shouldAskTheWindowForToolTips)
{
    grid.setTipSource([](int row, int column) { return QStringLiteral("tip %1,%2").arg(row).arg(column); });
    EXPECT_EQ(grid.model()->data(grid.model()->index(6, 2), Qt::ToolTipRole).toString(), QStringLiteral("tip 7,2"));
    EXPECT_EQ(grid.model()->headerData(3, Qt::Horizontal, Qt::ToolTipRole).toString(), QStringLiteral("tip 0,3"));
}

// Catches sums that ignore the heading row, the limit, or the column range, and painting
// locks that do not answer their previous state.
TEST_F(GridTest, shouldSumSizesAndLockPainting)
{
    grid.SetColWidths(0, 4, 50);
    EXPECT_EQ(grid.SumColWidths(0, 3), 200);
    EXPECT_EQ(grid.SumColWidths(1, 4, 120), 150);    // stops once past the limit
    EXPECT_EQ(grid.SumColWidths(1, 99), 200);        // only the columns there are
    EXPECT_EQ(grid.SumRowHeights(0, 3), grid.RowHeight(0) + 3 * grid.RowHeight(1));
    EXPECT_EQ(grid.SumRowHeights(0, 0), grid.RowHeight(0));

    EXPECT_FALSE(grid.LockUpdates(true));
    EXPECT_TRUE(grid.LockUpdates(true));
    EXPECT_TRUE(grid.LockUpdates(false));
    EXPECT_TRUE(grid.viewport()->updatesEnabled());

    grid.SetScrollBarMode(1, 1);
    EXPECT_EQ(grid.VerticalBarTakesRoom(1), 1);
    grid.SetScrollBarMode(1, 0);
    EXPECT_EQ(grid.VerticalBarTakesRoom(1), 0);
}

// Catches the start-up notification raised more than once.
TEST_F(GridTest, shouldRaiseInitialUpdateOnce)
{
    QSignalSpy spy(&grid, &GridControl::OnGridInitialUpdate);
    showAndPaint();
    grid.hide();
    grid.show();
    EXPECT_EQ(spy.count(), 1);
}
