// The patient lookup dialog from the Search click to the first page painted, a further page
// appended and repainted, a further page with 1,000 and with 500,000 rows loaded, and the
// memory that 100,000 loaded rows take.
#include "benchmain.h"

#include "host/scriptedhostlink.h"
#include "host/standardutils.h"
#include "patlookup/frmpatlookup.h"

#include <zelvar/patlookup.h>
#include <zelvar/platform.h>

#include <QHeaderView>
#include <QLineEdit>

using namespace zelvar;

namespace {

QString row(int k)
{
    return QStringLiteral("|OK||%1\tWASHINGTON,ALEXANDRA %2ABL\t04/17/1986AAC\tF\u0002\t(555) 201-%3AAL\tACTIVEAAC")
        .arg(100000 + k)
        .arg(k)
        .arg(k % 10000, 4, 10, QLatin1Char('0'));
}

// Pages of `size` rows; the continuation key is the next row's number.
QStringList page(int first, int size, bool more)
{
    QStringList lines{QStringLiteral("|OK||H%1\tPatient NameKB025\tDate of BirthKB110\tSexKB103\tPhoneKB014\tStatusKB108")
                          .arg(size, 5, 10, QLatin1Char('0'))};
    for (int k = first; k < first + size; ++k)
        lines.append(row(k));
    lines.append(more ? QStringLiteral("|OK||N%1").arg(first + size, 6, 10, QLatin1Char('0')) : QStringLiteral("|OK||"));
    return lines;
}

std::shared_ptr<host::ScriptedHostLink> makeServer(int pageSize)
{
    auto server = std::make_shared<host::ScriptedHostLink>();
    server->setResponder([pageSize](const QString& request) -> std::optional<QStringList> {
        const qsizetype at = request.lastIndexOf(QLatin1String("|N"));
        const int first = at >= 0 ? request.mid(at + 2).toInt() : 1;
        return page(first, pageSize, true);
    });
    return server;
}

void init(int pageSize)
{
    platform::setMessageBoxHandler([](const QString&, int, const QString&) { return 1; });
    platform::setBeepHandler([] {});
    PatLookup().InitPatLookup(makeServer(pageSize), std::make_shared<host::StandardUtils>());
}

std::unique_ptr<patlookup::frmPatLookup> shownDialog()
{
    auto dialog = patlookup::frmPatLookup::Load();
    dialog->resize(900, 600);
    dialog->show();
    QCoreApplication::processEvents();
    dialog->txtSearch->setText(QStringLiteral("washington"));
    return dialog;
}

void BM_SearchToFirstPagePainted(benchmark::State& state)
{
    init(50);
    auto dialog = shownDialog();
    for (auto _ : state) {
        dialog->cmdSearch_Click();
        dialog->grdPatient->viewport()->repaint();
        dialog->grdPatient->horizontalHeader()->viewport()->repaint();
    }
    state.counters["rows_loaded"] = dialog->results().RowsLoaded;
}

void BM_FurtherPageAppendedAndPainted(benchmark::State& state)
{
    init(50);
    auto dialog = shownDialog();
    dialog->cmdSearch_Click();
    for (auto _ : state) {
        dialog->GetGridDataMoreRows();
        dialog->grdPatient->viewport()->repaint();
        if (dialog->results().RowsLoaded > 200'000) {
            state.PauseTiming();
            dialog->cmdSearch_Click();
            state.ResumeTiming();
        }
    }
}

// One further page with few rows loaded and with many: growth is amortised, so the two cost
// the same.
void BM_FurtherPageAtRowsLoaded(benchmark::State& state)
{
    init(50);
    auto dialog = shownDialog();
    dialog->cmdSearch_Click();
    while (dialog->results().RowsLoaded < state.range(0))
        dialog->GetGridDataMoreRows();
    for (auto _ : state)
        dialog->GetGridDataMoreRows();
    state.counters["rows_loaded"] = dialog->results().RowsLoaded;
}

void BM_MemoryOf100000Rows(benchmark::State& state)
{
    init(100'000);
    for (auto _ : state) {
        auto dialog = shownDialog();
        const long before = residentKiB();
        dialog->cmdSearch_Click();
        dialog->grdPatient->viewport()->repaint();
        state.counters["rows_loaded"] = dialog->results().RowsLoaded;
        state.counters["rss_growth_MiB"] = double(residentKiB() - before) / 1024.0;
    }
}

} // namespace

BENCHMARK(BM_SearchToFirstPagePainted)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FurtherPageAppendedAndPainted)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FurtherPageAtRowsLoaded)->Arg(1'000)->Arg(500'000)->Unit(benchmark::kMicrosecond)->Iterations(400);
BENCHMARK(BM_MemoryOf100000Rows)->Unit(benchmark::kMillisecond)->Iterations(1);

ZELVAR_BENCHMARK_MAIN()
