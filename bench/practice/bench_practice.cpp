// The practice server on a generated database of 1,000,000 patients: the database build, the
// first page of every search key (p95 over 200 searches), a page deep in a large result
// against the first (and the same with OFFSET paging), a duplicate check, a code table and a
// record. The database is kept at $ZELVAR_BENCH_DB (default /tmp/zelvar-bench-practice.db) and
// built when missing.
#include "benchmain.h"

#include "host/practice/practicehostlink.h"
#include "host/practice/sqlitestore.h"
#include "host/practice/statement.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <random>

using namespace zelvar::practice;

namespace {

constexpr qint64 kPatients = 1'000'000;

std::shared_ptr<SqliteStore>& store()
{
    static std::shared_ptr<SqliteStore> instance;
    return instance;
}

PracticeHostLink& link()
{
    static PracticeHostLink instance(store());
    return instance;
}

QString databasePath()
{
    const QString path = qEnvironmentVariable("ZELVAR_BENCH_DB");
    return path.isEmpty() ? QStringLiteral("/tmp/zelvar-bench-practice.db") : path;
}

void openDatabase()
{
    const bool exists = QFileInfo::exists(databasePath());
    store() = std::make_shared<SqliteStore>(databasePath());
    if (!exists || store()->patientCount() != kPatients) {
        QElapsedTimer timer;
        timer.start();
        store()->generate(kPatients, 20261206);
        std::printf("Built the database of %lld patients in %.1f s\n", kPatients, timer.elapsed() / 1000.0);
    }
}

struct Sample { QString text; QString caption; };

// 200 searches of random generated patients for one key.
QList<Sample> samples(const char* caption, const std::function<QString(Statement&)>& value, const char* sql)
{
    std::mt19937_64 random(42);
    QList<Sample> out;
    Statement s(store()->handle(), sql);
    while (out.size() < 200) {
        s.bind(1, qint64(100001 + random() % kPatients));
        if (s.step())
            out.append({value(s), QString::fromLatin1(caption)});
        s.reset();
    }
    return out;
}

void runSearches(benchmark::State& state, const QList<Sample>& searches)
{
    std::vector<double> ms;
    for (auto _ : state) {
        for (const Sample& sample : searches) {
            QElapsedTimer timer;
            timer.start();
            const QStringList reply = link().answer(QStringLiteral("|GET|KEY|") + sample.text + QLatin1Char('|')
                                                    + sample.caption + QLatin1Char('|'));
            ms.push_back(timer.nsecsElapsed() / 1e6);
            benchmark::DoNotOptimize(reply);
        }
    }
    std::sort(ms.begin(), ms.end());
    state.counters["p95_ms"] = ms[size_t(ms.size() * 0.95)];
    state.counters["median_ms"] = ms[ms.size() / 2];
}

#define SEARCH_BENCHMARK(Name, Caption, Expr, Sql)                                                                   \
    void BM_FirstPage_##Name(benchmark::State& state)                                                              \
    {                                                                                                              \
        runSearches(state, samples(Caption, [](Statement& s) -> QString { return Expr; }, Sql));                                \
    }                                                                                                              \
    BENCHMARK(BM_FirstPage_##Name)->Unit(benchmark::kMillisecond)->Iterations(1);

SEARCH_BENCHMARK(Account, "&ACCT#", QString::number(s.integer(0)), "SELECT id FROM patients WHERE id = ?1")
SEARCH_BENCHMARK(PatientName, "&PAT NAME", s.text(0) + QLatin1Char(',') + s.text(1), "SELECT last, first FROM patients WHERE id = ?1")
SEARCH_BENCHMARK(PartialName, "&PAT NAME", s.text(0).left(3) + QLatin1Char(' ') + s.text(1).left(2), "SELECT last, first FROM patients WHERE id = ?1")
SEARCH_BENCHMARK(Guarantor, "&GUAR", s.text(0) + QLatin1Char(',') + s.text(1), "SELECT g.last, g.first FROM patients p JOIN patients g ON g.id = p.guarantor WHERE p.id = ?1")
SEARCH_BENCHMARK(DateOfBirth, "&DOB", QDate::fromString(s.text(0), Qt::ISODate).toString(QStringLiteral("MM/dd/yyyy")), "SELECT dob FROM patients WHERE id = ?1")
SEARCH_BENCHMARK(Policy, "P&OLICY#", s.text(0), "SELECT number FROM policies WHERE patient = ?1")
SEARCH_BENCHMARK(MedicalRecord, "&MR#", s.text(0), "SELECT mrn FROM patients WHERE id = ?1")
SEARCH_BENCHMARK(SocialSecurity, "&SS#", s.text(0).left(3) + QLatin1Char('-') + s.text(0).mid(3, 2) + QLatin1Char('-') + s.text(0).mid(5), "SELECT ssn FROM patients WHERE id = ?1 AND ssn <> ''")
SEARCH_BENCHMARK(Phone, "P&HONE#", s.text(0), "SELECT phone FROM patients WHERE id = ?1")
SEARCH_BENCHMARK(Transaction, "&TRANS#", QString::number(s.integer(0)), "SELECT id FROM transactions WHERE patient = ?1")
SEARCH_BENCHMARK(Claim, "&CLAIM#", QString::number(s.integer(0)), "SELECT id FROM claims WHERE patient = ?1")
SEARCH_BENCHMARK(Encounter, "&ENC", QString::number(s.integer(0)), "SELECT id FROM encounters WHERE patient = ?1")
SEARCH_BENCHMARK(Accession, "&ACCESSION#WRK", s.text(0), "SELECT number FROM accessions WHERE patient = ?1")

// The continuation key of page `page` of a search for "S".
QString positionOfPage(int page)
{
    static QList<QString> positions;
    if (positions.isEmpty()) {
        QString position;
        positions.append(position);
        for (int p = 1; p < 1000; ++p) {
            const QStringList reply = link().answer(QStringLiteral("|GET|KEY|S|&PAT NAME|") + position);
            position = reply.last().mid(5);
            positions.append(position);
        }
    }
    return positions.value(page - 1);
}

void BM_NamePage(benchmark::State& state)
{
    const QString position = positionOfPage(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(link().answer(QStringLiteral("|GET|KEY|S|&PAT NAME|") + position));
}
BENCHMARK(BM_NamePage)->Arg(1)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_NamePageWithOffset(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(store()->nameSearchWithOffset(QStringLiteral("S"), int(state.range(0) - 1) * 50, 50));
}
BENCHMARK(BM_NamePageWithOffset)->Arg(1)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_DuplicateCheck(benchmark::State& state)
{
    Statement s(store()->handle(), "SELECT ssn, last || ',' || first, dob FROM patients WHERE id = 512345");
    s.step();
    const QString dob = QDate::fromString(s.text(2), Qt::ISODate).toString(QStringLiteral("MM/dd/yyyy"));
    const QString request = QStringLiteral("|GET|DUPPAT|") + s.text(0) + QStringLiteral("\t\t") + s.text(1)
        + QLatin1Char('\t') + dob + QStringLiteral("\t\t");
    for (auto _ : state)
        benchmark::DoNotOptimize(link().answer(request));
}
BENCHMARK(BM_DuplicateCheck)->Unit(benchmark::kMillisecond);

void BM_CodeTable(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(link().answer(QStringLiteral("|GET|ASCODE|PAYOR||")));
}
BENCHMARK(BM_CodeTable)->Unit(benchmark::kMillisecond);

void BM_Record(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(link().answer(QStringLiteral("|GET|DEMOXML|512345|FRONTDESK|DESK1")));
}
BENCHMARK(BM_Record)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::benchmark::Initialize(&argc, argv);
    if (::benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    openDatabase();
    ::benchmark::RunSpecifiedBenchmarks();
    ::benchmark::Shutdown();
    return 0;
}
