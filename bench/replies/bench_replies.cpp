// Reading replies of 50, 10,000 and 100,000 rows of about 100 bytes: the reader alone, the
// dialog's BuildGrid (reader, grid calls and messages), and a bare QString::split of the same
// lines measured in the same run.
#include "component/references.h"
#include "host/scriptedhostlink.h"
#include "host/standardutils.h"
#include "patlookup/buildgrid.h"
#include "replies/tabularreply.h"

#include <zelvar/patlookup.h>

#include <benchmark/benchmark.h>

using namespace zelvar;

namespace {

QStringList makeReply(int rows)
{
    QStringList lines;
    lines.reserve(rows + 2);
    lines.append(QStringLiteral("|OK||H%1\tPatient NameABC25\tDOBAAC10\tSexAAC03\tPhoneAAL12\tGuarantorABL20")
                     .arg(rows, 5, 10, QLatin1Char('0')));
    for (int r = 0; r < rows; ++r) {
        lines.append(QStringLiteral("|OK||%1\tWASHINGTON,ALEXANDRA M%2ABC\t04/17/1986AAC\tFAAC\t(555) 201-%3AAL\t"
                                    "WASHINGTON,GEORGE R   ABL")
                         .arg(100000 + r)
                         .arg(r % 10)
                         .arg(r % 10000, 4, 10, QLatin1Char('0')));
    }
    lines.append(QStringLiteral("|OK||K01"));
    return lines;
}

void initComponent()
{
    static bool done = false;
    if (done)
        return;
    PatLookup().InitPatLookup(std::make_shared<host::ScriptedHostLink>(), std::make_shared<host::StandardUtils>());
    done = true;
}

void BM_BuildGrid(benchmark::State& state)
{
    initComponent();
    const QStringList reply = makeReply(int(state.range(0)));
    qint64 bytes = 0;
    for (const QString& line : reply)
        bytes += line.size();
    for (auto _ : state) {
        replies::SearchResults results;
        patlookup::NullReplyGrid grid;
        QString error;
        const bool ok = patlookup::BuildGrid(reply, error, results, grid);
        benchmark::DoNotOptimize(ok);
        if (!ok)
            state.SkipWithError("BuildGrid failed");
    }
    state.SetBytesProcessed(state.iterations() * bytes);
    state.counters["rows"] = double(state.range(0));
}

// The reader alone, without a grid or a message.
void BM_ReadFirstPage(benchmark::State& state)
{
    initComponent();
    const QStringList reply = makeReply(int(state.range(0)));
    for (auto _ : state) {
        replies::SearchResults results;
        const replies::PageReading reading = replies::readFirstPage(reply, results, component::utils(), component::settings());
        benchmark::DoNotOptimize(reading.success);
        if (!reading.success)
            state.SkipWithError("the reader failed");
    }
    state.counters["rows"] = double(state.range(0));
}

// The floor: splitting every line at its tabs and nothing else.
void BM_BareSplit(benchmark::State& state)
{
    const QStringList reply = makeReply(int(state.range(0)));
    for (auto _ : state) {
        qsizetype pieces = 0;
        for (const QString& line : reply)
            pieces += line.split(QLatin1Char('\t')).size();
        benchmark::DoNotOptimize(pieces);
    }
}

BENCHMARK(BM_BuildGrid)->Arg(50)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadFirstPage)->Arg(50)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareSplit)->Arg(50)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
