// The lookup window receiving 10,000 row records of 8 columns and showing itself.
#include "benchmain.h"

#include "host/scriptedhostlink.h"
#include "host/standardutils.h"
#include "lookupsch/frmlookupsch.h"

#include <zelvar/patlookup.h>
#include <zelvar/platform.h>

using namespace zelvar;

namespace {

QStringList records(int rows)
{
    QStringList out;
    QString header = QStringLiteral("|GH|0|%1|Key00\t").arg(rows, 5, 10, QLatin1Char('0'));
    for (int c = 1; c <= 7; ++c)
        header += QStringLiteral("Column %1KB012\t").arg(c);
    out.append(header);
    for (int r = 1; r <= rows; ++r) {
        QString row = QStringLiteral("|GR|0|%1").arg(r);
        for (int c = 1; c <= 7; ++c)
            row += QStringLiteral("\tValue %1.%2 text0000AB0").arg(r).arg(c);
        out.append(row);
    }
    out.append(QStringLiteral("|EN|END|"));
    return out;
}

void BM_ReceiveAndShow10000Rows(benchmark::State& state)
{
    platform::setBeepHandler([] {});
    PatLookup().InitPatLookup(std::make_shared<host::ScriptedHostLink>(), std::make_shared<host::StandardUtils>());
    const QStringList reply = records(10'000);
    for (auto _ : state) {
        auto window = lookupsch::frmLookupSch::Load();
        for (const QString& record : reply)
            window->AsyncReceive(record);
        window->show();
        window->grdLookupSch->viewport()->repaint();
        state.PauseTiming();
        window.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}

} // namespace

BENCHMARK(BM_ReceiveAndShow10000Rows)->Unit(benchmark::kMillisecond);

ZELVAR_BENCHMARK_MAIN()
