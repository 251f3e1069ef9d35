// The grid's full repaint of a 1600x900 view with a handler that decodes a 3-character style
// suffix per cell, the same repaint by a plain QTableView over a QStandardItemModel holding the
// same texts and colours, and the cost of showing 100,000 rows against that model.
#include "benchmain.h"

#include "platform/grid/gridcontrol.h"

#include <QHeaderView>
#include <QStandardItemModel>
#include <QTableView>

using namespace zelvar;
using namespace zelvar::platform;

namespace {

constexpr int kRows = 100'000;
constexpr int kColumns = 12;   // column 0 and 11 more

const QStringList& colourTable()
{
    static const QStringList table = [] {
        QStringList t{QString()};
        for (int i = 1; i <= 26; ++i)
            t.append(QString::number((i * 0x0A1B2C) & 0xFFFFFF));
        return t;
    }();
    return table;
}

// Cell texts as a patient search sends them: the value and a 3-character suffix.
const QStringList& sampleTexts()
{
    static const QStringList texts = [] {
        QStringList t;
        const char* names[] = {"WASHINGTON,ALEXANDRA", "SMITH,JOHN A", "GARCIA,LUIS", "04/17/1986", "(555) 201-3344",
                               "100234", "F", "ACTIVE"};
        for (int i = 0; i < 64; ++i)
            t.append(QString::fromLatin1(names[i % 8]) + QChar(u'A' + i % 5) + QChar(u'B' + i % 3) + QChar(u'0' + i % 3));
        return t;
    }();
    return texts;
}

void decode(const QString& text, GridStyle& style)
{
    const QStringList& colours = colourTable();
    style.setValue(text.left(text.size() - 3));
    style.setHorizontalAlignment(text.right(1));
    style.setInterior(colours.at(text.at(text.size() - 3).unicode() - 64));
    style.setTextColor(colours.at(text.at(text.size() - 2).unicode() - 64));
}

struct Fixture
{
    GridControl grid;
    quint64 calls = 0;
    bool uniqueTexts = false;

    explicit Fixture(bool unique = false)
        : uniqueTexts(unique)
    {
        grid.setStyleSource([this](int row, int column, GridStyle& style, GridValue& result) {
            ++calls;
            const QStringList& texts = sampleTexts();
            const QString& text = texts.at((row * 7 + column) % texts.size());
            // Every row's texts differ when asked, as a real result's do.
            decode(uniqueTexts ? QString::number(row) + QLatin1Char(' ') + text : text, style);
            result.Value = 1;
        });
        grid.SetColCount(kColumns - 1);
        grid.SetRowCount(kRows);
        grid.SetColWidths(0, kColumns - 1, 1600 / kColumns);
        grid.resize(1600 + 2, 900 + grid.RowHeight(0) + 2);
        grid.show();
        QCoreApplication::processEvents();
    }
};

void BM_GridFullRepaint(benchmark::State& state)
{
    Fixture f;
    const int visibleRows = f.grid.viewport()->height() / f.grid.RowHeight(1) + 1;
    quint64 callsBefore = f.calls;
    for (auto _ : state) {
        f.grid.viewport()->repaint();
        f.grid.horizontalHeader()->viewport()->repaint();
    }
    const double perRepaint = double(f.calls - callsBefore) / double(state.iterations());
    state.counters["handler_calls_per_repaint"] = perRepaint;
    state.counters["visible_cells"] = double((visibleRows + 1) * kColumns);
    state.counters["viewport_w"] = f.grid.viewport()->width();
    state.counters["viewport_h"] = f.grid.viewport()->height();
}

// Each repaint after a page scroll: every text in view is new to the grid.
void BM_GridRepaintAfterPageScroll(benchmark::State& state)
{
    Fixture f(true);
    const int page = f.grid.viewport()->height() / f.grid.RowHeight(1);
    int top = 1;
    for (auto _ : state) {
        top = top + page > kRows - page ? 1 : top + page;
        f.grid.SetTopRow(top);
        f.grid.viewport()->repaint();
    }
    state.counters["rows_per_page"] = page;
}

// The same cells as items holding their texts, colours and alignment.
void fillStandardModel(QStandardItemModel& model)
{
    const QStringList& texts = sampleTexts();
    const QStringList& colours = colourTable();
    for (int r = 0; r < kRows; ++r) {
        for (int c = 0; c < kColumns; ++c) {
            const QString& text = texts.at(((r + 1) * 7 + c) % texts.size());
            auto* item = new QStandardItem(text.left(text.size() - 3));
            item->setBackground(QColor::fromRgb(colours.at(text.at(text.size() - 3).unicode() - 64).toUInt()));
            item->setForeground(QColor::fromRgb(colours.at(text.at(text.size() - 2).unicode() - 64).toUInt()));
            item->setTextAlignment(text.endsWith(QLatin1Char('1')) ? Qt::AlignRight | Qt::AlignVCenter
                                                                    : Qt::AlignLeft | Qt::AlignVCenter);
            model.setItem(r, c, item);
        }
    }
}

// The yardstick: a plain QTableView over a QStandardItemModel that holds the texts and
// colours ready, repainting the same view.
void BM_PlainTableViewRepaint(benchmark::State& state)
{
    QStandardItemModel model(kRows, kColumns);
    fillStandardModel(model);
    QTableView view;
    view.setModel(&model);
    view.verticalHeader()->hide();
    // The same rows in view as the grid shows.
    view.verticalHeader()->setMinimumSectionSize(1);
    view.verticalHeader()->setDefaultSectionSize(GridControl().RowHeight(1));
    view.horizontalHeader()->setDefaultSectionSize(1600 / kColumns);
    view.resize(1602, 920);
    view.show();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        view.viewport()->repaint();
        view.horizontalHeader()->viewport()->repaint();
    }
    state.counters["viewport_w"] = view.viewport()->width();
    state.counters["viewport_h"] = view.viewport()->height();
    state.counters["row_height"] = view.rowHeight(0);
}

void BM_VirtualGridFillAndShow(benchmark::State& state)
{
    for (auto _ : state) {
        const long before = residentKiB();
        Fixture f;
        f.grid.viewport()->repaint();
        state.counters["rss_growth_MiB"] = double(residentKiB() - before) / 1024.0;
    }
}

void BM_StandardModelFillAndShow(benchmark::State& state)
{
    for (auto _ : state) {
        const long before = residentKiB();
        QStandardItemModel model(kRows, kColumns);
        fillStandardModel(model);
        QTableView view;
        view.setModel(&model);
        view.resize(1602, 920);
        view.show();
        QCoreApplication::processEvents();
        view.viewport()->repaint();
        state.counters["rss_growth_MiB"] = double(residentKiB() - before) / 1024.0;
    }
}

} // namespace

BENCHMARK(BM_GridFullRepaint)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GridRepaintAfterPageScroll)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainTableViewRepaint)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VirtualGridFillAndShow)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_StandardModelFillAndShow)->Unit(benchmark::kMillisecond)->Iterations(1);

ZELVAR_BENCHMARK_MAIN()
