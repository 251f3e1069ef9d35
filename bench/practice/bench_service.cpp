// The practice server as desks reach it: the real program on a loopback port over HTTPS, with
// 1 and 8 desks asking at once (each a thread with its own kept-alive connection), on the
// SQLite file and on PostgreSQL, each at 1,000,000 patients. For every search key: p50, p95 and
// p99 of a first page, and requests per second. And 1,000,000 patients generated into
// PostgreSQL.
// What the transport costs (SQLite): every key's searches mixed, from 8, 64 and 256 desks at
// once (BM_ServiceMix), against the same searches answered in process by as many threads as
// the server has workers, each with its own store (BM_InProcessMix). Both report the CPU time
// the answering process spent per search (cpu_ms): on a machine whose cores the desks' threads
// share with the server, the rates compare the load generator too, the CPU times do not. The
// same mix from wrk (BM_ServiceMixWrk), whose two threads take far less of those cores than a
// thread per desk. And one desk's searches while slowhttptest holds 500 slowloris connections
// open (BM_ServiceUnderSlowloris).
//   SQLite:     $ZELVAR_BENCH_DB (default /tmp/zelvar-bench-practice.db), built when missing.
//   PostgreSQL: $ZELVAR_BENCH_POSTGRES, a postgresql:// address (tools/bench-service.sh makes a
//               throw-away cluster for it); without it the PostgreSQL runs are skipped.
//   $ZELVAR_BENCH_SERVER: another server program to measure (an earlier build, say), and
//   $ZELVAR_BENCH_SERVER_ARGS: options to add to its serve command.
#include "benchmain.h"
#include "searchsamples.h"

#include "host/networkhostlink.h"
#include "practice/practicehostlink.h"
#include "service/accesslogwriter.h"
#include "practice/storeaddress.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <unistd.h>

#include <algorithm>
#include <functional>
#include <cstdio>
#include <map>
#include <mutex>

using namespace zelvar;

namespace {

constexpr qint64 kPatients = 1'000'000;
constexpr int kSamples = 400;
constexpr int kWarmUp = 100;
constexpr int kWorkers = 8;

QString sqliteAddress()
{
    const QString path = qEnvironmentVariable("ZELVAR_BENCH_DB");
    return QStringLiteral("sqlite:") + (path.isEmpty() ? QStringLiteral("/tmp/zelvar-bench-practice.db") : path);
}

QString postgresAddress()
{
    return qEnvironmentVariable("ZELVAR_BENCH_POSTGRES");
}

QString serverProgram()
{
    const QString other = qEnvironmentVariable("ZELVAR_BENCH_SERVER");
    return other.isEmpty() ? QStringLiteral(ZELVAR_SERVER_PROGRAM) : other;
}

// The desks here all come from the loopback address; a practice's come from as many addresses
// as it has desks. (A server from before the per-address cap knows no such option.)
QStringList serverLimits()
{
    if (!qEnvironmentVariableIsEmpty("ZELVAR_BENCH_SERVER"))
        return {};
    return {QStringLiteral("--max-connections-per-address"), QStringLiteral("1000")};
}

QString runServerCommand(const QStringList& arguments)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(serverProgram(), arguments);
    p.waitForFinished(-1);
    const QString said = QString::fromUtf8(p.readAll());
    if (p.exitCode() != 0)
        std::fprintf(stderr, "zelvar-practice-server %s: %s\n", qPrintable(arguments.join(QLatin1Char(' '))), qPrintable(said));
    return said;
}

// The database read once before timing: a server that has been serving a while has it in the
// machine's memory, and the figures are those of such a server. (Straight after the machine
// starts, the first searches read from the disk and are slower.)
void readIntoMemory(practice::SqlStore& store, const QString& database)
{
    if (database.startsWith(QLatin1String("sqlite:"))) {
        for (const QString& suffix : {QString(), QStringLiteral("-wal")}) {
            QFile file(database.mid(7) + suffix);
            if (!file.open(QIODevice::ReadOnly))
                continue;
            while (!file.read(1 << 20).isEmpty()) {
            }
        }
        return;
    }
    try {
        store.database().execute(QStringLiteral(
            "CREATE EXTENSION IF NOT EXISTS pg_prewarm; SELECT pg_prewarm(c.oid, 'read') FROM pg_class c "
            "JOIN pg_namespace n ON n.oid = c.relnamespace WHERE n.nspname = 'public' AND c.relkind IN ('r', 'i')"));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "The database was not read before timing (%s)\n", e.what());
    }
}

// One backend's server process, its desk token and the requests desks send it.
struct Service
{
    QTemporaryDir folder;
    QProcess process;
    QString url, token, fingerprint;
    std::map<std::string, QStringList> requests;    // per search key
    QStringList mix;                                // every key's, interleaved
    QString database;
    bool ready = false;

    explicit Service(const QString& address)
        : database(address)
    {
        const QString cert = folder.filePath(QStringLiteral("server.crt"));
        const QString key = folder.filePath(QStringLiteral("server.key"));
        fingerprint = runServerCommand({QStringLiteral("init"), QStringLiteral("--cert"), cert, QStringLiteral("--key"), key,
                                        QStringLiteral("--host"), QStringLiteral("localhost")})
                          .section(QStringLiteral("Fingerprint: "), 1).section(QLatin1Char('\n'), 0, 0).trimmed();
        {
            const std::unique_ptr<practice::SqlStore> store = practice::openStore(database);
            if (store->patientCount() != kPatients) {
                QElapsedTimer timer;
                timer.start();
                store->generate(kPatients, 20261206);
                std::printf("Generated %lld patients into %s in %.1f s\n", kPatients, qPrintable(database), timer.elapsed() / 1000.0);
            }
            for (const bench::SearchKeySample& k : bench::searchKeys())
                requests[k.name] = bench::searchRequests(store->database(), k, kSamples, kPatients);
            for (int i = 0; i < kSamples; ++i) {
                for (const auto& [name, list] : requests)
                    mix.append(list[i % list.size()]);
            }
            readIntoMemory(*store, database);
        }
        token = runServerCommand({QStringLiteral("desk"), QStringLiteral("add"),
                                  QStringLiteral("BENCH%1").arg(QCoreApplication::applicationPid()), QStringLiteral("--db"), database})
                    .section(QStringLiteral("Token: "), 1).section(QLatin1Char('\n'), 0, 0).trimmed();
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(serverProgram(),
                      QStringList{QStringLiteral("serve"), QStringLiteral("--db"), database, QStringLiteral("--cert"), cert,
                                  QStringLiteral("--key"), key, QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
                                  QStringLiteral("--workers"), QString::number(kWorkers)}
                          + serverLimits() + qEnvironmentVariable("ZELVAR_BENCH_SERVER_ARGS").split(QLatin1Char(' '), Qt::SkipEmptyParts));
        static const QRegularExpression serving(QStringLiteral("https://127\\.0\\.0\\.1:(\\d+)"));
        QString said;
        while (process.waitForReadyRead(30000)) {
            said += QString::fromUtf8(process.readAll());
            const QRegularExpressionMatch m = serving.match(said);
            if (m.hasMatch()) {
                url = QStringLiteral("https://127.0.0.1:") + m.captured(1);
                ready = true;
                return;
            }
        }
        std::fprintf(stderr, "The server did not start: %s\n", qPrintable(said));
    }
    ~Service()
    {
        process.terminate();
        process.waitForFinished(10000);
    }
};

Service* service(const QString& backend)
{
    static std::map<QString, std::unique_ptr<Service>> services;
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    auto& s = services[backend];
    if (!s) {
        const QString database = backend == QLatin1String("sqlite") ? sqliteAddress() : postgresAddress();
        if (database.isEmpty())
            return nullptr;
        s = std::make_unique<Service>(database);
    }
    return s->ready ? s.get() : nullptr;
}

// User and system CPU time a process has spent so far, in milliseconds.
double cpuMilliseconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    // The fields after the command's name, which is in parentheses and may hold spaces.
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0;
    return (fields[11].toDouble() + fields[12].toDouble()) * 1000.0 / double(sysconf(_SC_CLK_TCK));
}

// The CPU time `pid` spends on the timed searches of all threads, per search: sampled by the
// first thread once every thread is past its warm-up and again once all are done.
class CpuPerSearch
{
public:
    explicit CpuPerSearch(benchmark::State& state, qint64 pid)
        : m_state(state), m_pid(pid) {}
    void started()
    {
        if (m_state.thread_index() == 0 && m_before < 0)
            m_before = cpuMilliseconds(m_pid);
    }
    ~CpuPerSearch()
    {
        if (m_state.thread_index() == 0 && m_before >= 0 && m_state.iterations() > 0)
            m_state.counters["cpu_ms"] = (cpuMilliseconds(m_pid) - m_before) / double(m_state.iterations() * m_state.threads());
    }

private:
    benchmark::State& m_state;
    qint64 m_pid;
    double m_before = -1;
};

double percentile(std::vector<double>& sorted, double p)
{
    return sorted.empty() ? 0 : sorted[std::min(sorted.size() - 1, size_t(p * double(sorted.size())))];
}

// One desk's requests, timed: its p50, p95 and p99 and the requests per second of all desks.
// `beforeTiming` runs once the desk is connected and past its first requests.
void ask(benchmark::State& state, Service* s, const QStringList& requests, const std::function<void()>& beforeTiming = {})
{
    host::NetworkSettings settings;
    settings.server = QUrl(s->url);
    settings.token = s->token;
    settings.pinnedFingerprint = s->fingerprint;
    settings.user = QStringLiteral("BENCH");
    host::NetworkHostLink link(settings);
    QStringList replies;
    QString fourth;
    // Connected, and the server past its first requests, before the clock runs: a server that
    // has just started (a database's caches empty, a desk's connection new) is not what desks
    // see all day. Each desk's first pass over its requests is not timed.
    qsizetype next = state.thread_index() * 37;
    for (int i = 0; i < kWarmUp; ++i)
        link.GetServerStringData(requests[next++ % requests.size()], replies, QString(), fourth);
    if (beforeTiming)
        beforeTiming();
    std::vector<double> ms;
    int failed = 0;
    CpuPerSearch cpu(state, s->process.processId());
    for (auto _ : state) {
        cpu.started();
        QElapsedTimer timer;
        timer.start();
        if (!link.GetServerStringData(requests[next++ % requests.size()], replies, QString(), fourth))
            ++failed;
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    state.SetItemsProcessed(state.iterations());
    state.counters["p50_ms"] = benchmark::Counter(percentile(ms, 0.50), benchmark::Counter::kAvgThreads);
    state.counters["p95_ms"] = benchmark::Counter(percentile(ms, 0.95), benchmark::Counter::kAvgThreads);
    state.counters["p99_ms"] = benchmark::Counter(percentile(ms, 0.99), benchmark::Counter::kAvgThreads);
    if (failed)
        state.SkipWithError(qPrintable(QStringLiteral("%1 requests not answered: %2").arg(failed).arg(link.lastError())));
}

void firstPages(benchmark::State& state, const QString& backend, const std::string& key)
{
    Service* s = service(backend);
    if (!s) {
        state.SkipWithError(backend == QLatin1String("postgres") ? "no $ZELVAR_BENCH_POSTGRES" : "the server did not start");
        return;
    }
    ask(state, s, s->requests.at(key));
}

void BM_ServiceMix(benchmark::State& state)
{
    if (Service* s = service(QStringLiteral("sqlite")))
        ask(state, s, s->mix);
    else
        state.SkipWithError("the server did not start");
}
BENCHMARK(BM_ServiceMix)->Threads(8)->Threads(64)->Threads(256)->Iterations(200)->UseRealTime()->Unit(benchmark::kMillisecond);

// A latency as wrk prints it ("812.33us", "41.48ms", "1.02s"), in milliseconds.
double wrkMilliseconds(const QString& text)
{
    static const QRegularExpression value(QStringLiteral("^([0-9.]+)(us|ms|s|m)$"));
    const QRegularExpressionMatch m = value.match(text);
    if (!m.hasMatch())
        return 0;
    const double scale = m.captured(2) == QLatin1String("us") ? 0.001
        : m.captured(2) == QLatin1String("ms")                ? 1.0
        : m.captured(2) == QLatin1String("s")                 ? 1000.0
                                                              : 60000.0;
    return m.captured(1).toDouble() * scale;
}

// The same mix from wrk, the load generator administrators measure servers with: its two
// threads cost the machine far less than a thread per desk, so on a machine whose cores the
// load shares with the server, the rate is nearer what desks on their own machines get.
// Reported: searches per second, p50/p99 and the server's CPU time per search.
void BM_ServiceMixWrk(benchmark::State& state)
{
    Service* s = service(QStringLiteral("sqlite"));
    const QString wrk = QStandardPaths::findExecutable(QStringLiteral("wrk"));
    if (!s || wrk.isEmpty()) {
        state.SkipWithError(!s ? "the server did not start" : "wrk is not installed");
        return;
    }
    QTemporaryDir folder;
    QFile script(folder.filePath(QStringLiteral("mix.lua")));
    if (!script.open(QIODevice::WriteOnly)) {
        state.SkipWithError("the script could not be written");
        return;
    }
    QByteArray lua = "local bodies = {\n";
    for (const QString& request : s->mix)
        lua += "[==[" + request.toUtf8() + "]==],\n";
    lua += "}\nlocal n = 0\n"
           "wrk.method = \"POST\"\n"
           "wrk.headers[\"Authorization\"] = \"Bearer " + s->token.toLatin1() + "\"\n"
           "wrk.headers[\"X-Zelvar-User\"] = \"BENCH\"\n"
           "wrk.headers[\"Content-Type\"] = \"text/plain; charset=utf-8\"\n"
           "request = function()\n  n = n + 1\n"
           "  return wrk.format(nil, \"/v1/request\", nil, bodies[n % #bodies + 1])\nend\n";
    script.write(lua);
    script.close();
    const auto run = [&](int seconds) {
        QProcess p;
        p.start(wrk, {QStringLiteral("-t2"), QStringLiteral("-c%1").arg(state.range(0)), QStringLiteral("-d%1s").arg(seconds),
                      QStringLiteral("--latency"), QStringLiteral("-s"), script.fileName(), s->url});
        p.waitForFinished(-1);
        return QString::fromUtf8(p.readAllStandardOutput());
    };
    run(3);    // the connections made and the server past its first requests
    const qint64 pid = s->process.processId();
    for (auto _ : state) {
        const double before = cpuMilliseconds(pid);
        const QString said = run(10);
        const double cpu = cpuMilliseconds(pid) - before;
        const auto field = [&said](const QString& pattern) {
            return QRegularExpression(pattern, QRegularExpression::MultilineOption).match(said).captured(1);
        };
        const double rate = field(QStringLiteral("^Requests/sec:\\s+([0-9.]+)")).toDouble();
        const double total = field(QStringLiteral("^\\s+(\\d+) requests in")).toDouble();
        const QString refused = field(QStringLiteral("^\\s+Non-2xx or 3xx responses: (\\d+)"));
        const QString broken = field(QStringLiteral("^\\s+Socket errors: (.*)$"));
        if (rate <= 0 || !refused.isEmpty() || !broken.isEmpty()) {
            state.SkipWithError(qPrintable(QStringLiteral("wrk: ") + said.simplified()));
            return;
        }
        state.SetIterationTime(10);
        state.counters["searches_per_second"] = rate;
        state.counters["p50_ms"] = wrkMilliseconds(field(QStringLiteral("^\\s+50%\\s+(\\S+)")));
        state.counters["p99_ms"] = wrkMilliseconds(field(QStringLiteral("^\\s+99%\\s+(\\S+)")));
        state.counters["cpu_ms"] = total > 0 ? cpu / total : 0;
    }
}
BENCHMARK(BM_ServiceMixWrk)->Arg(8)->Arg(64)->Arg(256)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// The same searches answered by the same store without the transport: a thread per worker,
// each with a store of its own, writing the access log as the server's workers do.
void BM_InProcessMix(benchmark::State& state)
{
    Service* s = service(QStringLiteral("sqlite"));
    if (!s) {
        state.SkipWithError("the server did not start");
        return;
    }
    static service::AccessLogWriter accessLog;
    const std::shared_ptr<practice::SqlStore> store = practice::openStore(s->database);
    store->deferHousekeeping();
    const std::unique_ptr<practice::ServiceStore> tables = store->serviceStore();
    practice::PracticeHostLink link(store, QStringLiteral("BENCH"), QStringLiteral("BENCH"));
    link.setAccessObserver([&tables](const QString& kind, const QList<qint64>& accounts) {
        accessLog.record({QDateTime::currentDateTimeUtc(), QStringLiteral("BENCH"), kind, accounts, {}, {}}, *tables);
    });
    qsizetype next = state.thread_index() * 37;
    for (int i = 0; i < kWarmUp; ++i)
        link.answer(s->mix[next++ % s->mix.size()]);
    {
        CpuPerSearch cpu(state, QCoreApplication::applicationPid());
        for (auto _ : state) {
            cpu.started();
            benchmark::DoNotOptimize(link.answer(s->mix[next++ % s->mix.size()]));
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_InProcessMix)->Threads(kWorkers)->Iterations(1000)->UseRealTime()->Unit(benchmark::kMillisecond);

// One desk while slowhttptest opens 500 connections that send their headers a line at a time.
void BM_ServiceUnderSlowloris(benchmark::State& state)
{
    Service* s = service(QStringLiteral("sqlite"));
    const QString slowhttptest = QStandardPaths::findExecutable(QStringLiteral("slowhttptest"));
    if (!s || slowhttptest.isEmpty()) {
        state.SkipWithError(!s ? "the server did not start" : "slowhttptest is not installed");
        return;
    }
    // The desk connected first, as desks are all day; every timed search is made while the
    // slow connections are open.
    QProcess slow;
    ask(state, s, s->mix, [&] {
        slow.setStandardOutputFile(QProcess::nullDevice());
        slow.start(slowhttptest, {QStringLiteral("-H"), QStringLiteral("-c"), QStringLiteral("500"), QStringLiteral("-r"),
                                  QStringLiteral("500"), QStringLiteral("-i"), QStringLiteral("5"), QStringLiteral("-l"),
                                  QStringLiteral("120"), QStringLiteral("-u"), s->url + QStringLiteral("/v1/request")});
        QThread::sleep(3);   // the connections opened
    });
    slow.kill();
    slow.waitForFinished(5000);
}
BENCHMARK(BM_ServiceUnderSlowloris)->Iterations(300)->UseRealTime()->Unit(benchmark::kMillisecond);

const bool registered = [] {
    for (const char* backend : {"sqlite", "postgres"}) {
        for (const bench::SearchKeySample& key : bench::searchKeys()) {
            const std::string name = std::string("BM_ServiceFirstPage/") + backend + '/' + key.name;
            benchmark::RegisterBenchmark(name.c_str(), [backend, k = std::string(key.name)](benchmark::State& state) {
                firstPages(state, QString::fromLatin1(backend), k);
            })
                ->Threads(1)
                ->Threads(8)
                ->Iterations(kSamples)
                ->UseRealTime()
                ->Unit(benchmark::kMillisecond);
        }
    }
    return true;
}();

// A whole practice generated into PostgreSQL: rows through COPY, indexes after, in one
// transaction. Replaces what the database held.
void BM_GeneratePostgres(benchmark::State& state)
{
    if (postgresAddress().isEmpty()) {
        state.SkipWithError("no $ZELVAR_BENCH_POSTGRES");
        return;
    }
    const std::unique_ptr<practice::SqlStore> store = practice::openStore(postgresAddress());
    for (auto _ : state)
        store->generate(kPatients, 20261206);
    state.counters["patients"] = double(store->patientCount());
}
BENCHMARK(BM_GeneratePostgres)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

} // namespace

ZELVAR_BENCHMARK_MAIN()
