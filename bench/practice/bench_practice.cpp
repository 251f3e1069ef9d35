// The practice server on a generated database of 1,000,000 patients: the database build, the
// first page of every search key (p95 over 200 searches), a page deep in a large result
// against the first (and the same with OFFSET paging), a duplicate check, a code table, a
// record, and how often clerks' searches find the patient they meant. The database is kept at
// $ZELVAR_BENCH_DB (default /tmp/zelvar-bench-practice.db), or in PostgreSQL at
// $ZELVAR_BENCH_POSTGRES (a postgresql:// address), and built when missing.
#include "benchmain.h"

#include "practice/names.h"
#include "practice/practicehostlink.h"
#include "practice/postgresstore.h"
#include "practice/sqlitestore.h"
#include "practice/database.h"
#include "searchsamples.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QFileInfo>
#include <QHash>
#include <QMap>

#include <algorithm>
#include <cstdio>
#include <random>

using namespace zelvar::practice;

namespace {

constexpr qint64 kPatients = 1'000'000;

std::shared_ptr<SqlStore>& store()
{
    static std::shared_ptr<SqlStore> instance;
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
    const QString postgres = qEnvironmentVariable("ZELVAR_BENCH_POSTGRES");
    const bool exists = !postgres.isEmpty() || QFileInfo::exists(databasePath());
    if (postgres.isEmpty())
        store() = std::make_shared<SqliteStore>(databasePath());
    else
        store() = std::make_shared<PostgresStore>(postgres);
    if (!exists || store()->patientCount() != kPatients) {
        QElapsedTimer timer;
        timer.start();
        store()->generate(kPatients, 20261206);
        std::printf("Built the database of %lld patients in %.1f s\n", kPatients, timer.elapsed() / 1000.0);
    }
}

void runSearches(benchmark::State& state, const zelvar::bench::SearchKeySample& key)
{
    const QStringList searches = zelvar::bench::searchRequests(store()->database(), key, 200, kPatients);
    std::vector<double> ms;
    for (auto _ : state) {
        for (const QString& request : searches) {
            QElapsedTimer timer;
            timer.start();
            const QStringList reply = link().answer(request);
            ms.push_back(timer.nsecsElapsed() / 1e6);
            benchmark::DoNotOptimize(reply);
        }
    }
    std::sort(ms.begin(), ms.end());
    state.counters["p95_ms"] = ms[size_t(ms.size() * 0.95)];
    state.counters["median_ms"] = ms[ms.size() / 2];
}

// The first page of every search key, in process.
const bool registered = [] {
    for (const zelvar::bench::SearchKeySample& key : zelvar::bench::searchKeys()) {
        benchmark::RegisterBenchmark((std::string("BM_FirstPage_") + key.name).c_str(),
                                     [&key](benchmark::State& state) { runSearches(state, key); })
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1);
    }
    return true;
}();

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
    Statement s(store()->database(), "SELECT ssn, last || ',' || first, dob FROM patients WHERE id = 512345");
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

// -- recall: the intended patient on the first page ---------------------------------------

struct RecallQuery
{
    const char* kind;
    QString text;
    QString caption;
    qint64 intended = 0;     // 0: a patient who does not exist
};

// A spelling that sounds the same (SMITH -> SMYTH, PHILLIPS -> FILLIPS), or nothing.
QString soundAlikeSpelling(const QString& last)
{
    static const QList<std::pair<QString, QString>> swaps = {
        {QStringLiteral("PH"), QStringLiteral("F")}, {QStringLiteral("I"), QStringLiteral("Y")},
        {QStringLiteral("Y"), QStringLiteral("I")}, {QStringLiteral("CK"), QStringLiteral("K")},
        {QStringLiteral("SON"), QStringLiteral("SEN")}, {QStringLiteral("LL"), QStringLiteral("L")},
        {QStringLiteral("TT"), QStringLiteral("T")}, {QStringLiteral("EE"), QStringLiteral("EA")},
        {QStringLiteral("Z"), QStringLiteral("S")}, {QStringLiteral("C"), QStringLiteral("K")},
    };
    for (const auto& [from, to] : swaps) {
        const qsizetype at = last.indexOf(from, 1);
        if (at < 0)
            continue;
        QString variant = last;
        variant.replace(at, from.size(), to);
        if (variant != last && phoneticKey(variant) == phoneticKey(last))
            return variant;
    }
    return {};
}

QString nicknameOf(const QString& first)
{
    static QHash<QString, QString> reverse;
    if (reverse.isEmpty()) {
        for (const char* nick : {"BOB", "BILL", "JIM", "MIKE", "DICK", "TOM", "TONY", "JOE", "DAN", "DAVE", "CHRIS",
                                 "MATT", "STEVE", "LIZ", "KATE", "PEGGY", "SUE", "JENNY", "PATTY", "BARB", "DEBBIE",
                                 "SANDY", "CHUCK", "ANDY", "KEN", "TIM", "GREG", "RON", "DON", "JEFF", "SAM", "BEN",
                                 "ALEX", "JOSH", "JAKE", "NATE", "PETE", "WALT", "MANDY", "BECKY", "VICKY", "CATHY"}) {
            const QString formal = formalName(QString::fromLatin1(nick));
            if (!reverse.contains(formal))
                reverse.insert(formal, QString::fromLatin1(nick));
        }
    }
    return reverse.value(first);
}

QString oneTypo(const QString& last, std::mt19937_64& random)
{
    if (last.size() < 4)
        return last + QLatin1Char('E');
    QString out = last;
    const int at = 1 + int(random() % (last.size() - 2));
    if (random() % 2)
        std::swap(out[at], out[at + 1]);
    else
        out.remove(at, 1);
    return out;
}

// Whom clerks look for. At the desk: the patients of the practice's visits of its last 30 days,
// each as often as they came (checked in, checked out, asking about the bill that followed).
// Any patient: drawn evenly from all, most of whom have not been seen in years.
enum class Population { Desk, Anyone };

QList<qint64> deskPatients()
{
    Statement newest(store()->database(), "SELECT max(seen) FROM encounters");
    newest.step();
    const QDate since = QDate::fromString(newest.text(0), Qt::ISODate).addDays(-30);
    Statement s(store()->database(), "SELECT patient FROM encounters WHERE seen > ?1 ORDER BY id");
    s.bind(1, since.toString(Qt::ISODate));
    QList<qint64> out;
    while (s.step())
        out.append(s.integer(0));
    return out;
}

QList<RecallQuery> recallQueries(Population population)
{
    std::mt19937_64 random(20261206);
    const QList<qint64> desk = population == Population::Desk ? deskPatients() : QList<qint64>();
    QList<RecallQuery> out;
    Statement s(store()->database(), "SELECT id, last, first, middle, dob, ssn, phone FROM patients WHERE id = ?1");
    const char* const kinds[] = {"name", "first last", "lower case", "typo", "sound-alike", "nickname",
                                 "SSN last four", "phone last seven", "phone last four", "DOB"};
    constexpr int kKinds = int(std::size(kinds));
    const QString nameCaption = QStringLiteral("&PAT NAME");
    while (out.size() < 2000) {
        s.bind(1, desk.isEmpty() ? qint64(100001 + random() % kPatients) : desk[qsizetype(random() % desk.size())]);
        if (!s.step()) {
            s.reset();
            continue;
        }
        const qint64 id = s.integer(0);
        const QString last = s.text(1), first = s.text(2), middle = s.text(3);
        const QDate dob = QDate::fromString(s.text(4), Qt::ISODate);
        const QString ssn = s.text(5), phone = s.text(6);
        s.reset();
        const char* kind = kinds[out.size() % kKinds];
        RecallQuery q{kind, {}, nameCaption, id};
        const QString k = QString::fromLatin1(kind);
        if (k == QLatin1String("name")) {
            q.text = last + QStringLiteral(", ") + first + QLatin1Char(' ') + middle;
        } else if (k == QLatin1String("first last")) {
            q.text = first + QLatin1Char(' ') + middle + QLatin1Char(' ') + last;
        } else if (k == QLatin1String("lower case")) {
            q.text = (last + QLatin1Char(' ') + first + QLatin1Char(' ') + middle).toLower();
        } else if (k == QLatin1String("typo")) {
            q.text = oneTypo(last, random) + QStringLiteral(", ") + first + QLatin1Char(' ') + middle;
        } else if (k == QLatin1String("sound-alike")) {
            const QString variant = soundAlikeSpelling(last);
            q.text = (variant.isEmpty() ? oneTypo(last, random) : variant) + QStringLiteral(", ") + first + QLatin1Char(' ') + middle;
        } else if (k == QLatin1String("nickname")) {
            const QString nick = nicknameOf(first);
            q.text = last + QStringLiteral(", ") + (nick.isEmpty() ? first : nick) + QLatin1Char(' ') + middle;
        } else if (k == QLatin1String("SSN last four")) {
            if (ssn.size() != 9)
                continue;
            q.text = ssn.right(4);
            q.caption = QStringLiteral("&SS#");
        } else if (k == QLatin1String("phone last seven")) {
            q.text = phone.mid(3, 3) + QLatin1Char('-') + phone.right(4);
            q.caption = QStringLiteral("P&HONE#");
        } else if (k == QLatin1String("phone last four")) {
            q.text = phone.right(4);
            q.caption = QStringLiteral("P&HONE#");
        } else {
            const int form = int(random() % 4);
            q.text = form == 0 ? dob.toString(QStringLiteral("MM/dd/yyyy")) : form == 1 ? dob.toString(QStringLiteral("MMddyyyy"))
                   : form == 2 ? dob.toString(Qt::ISODate) : dob.toString(QStringLiteral("MMM d yyyy"));
            q.caption = QStringLiteral("&DOB");
        }
        out.append(q);
    }
    // The same SSN, phone and birth date texts for the same patients typed in the one box, sent
    // as the component sends them: an account search when they start with three digits, else a
    // name search. Their recall is to be their own key's.
    static const QRegularExpression threeDigits(QStringLiteral("^\\d{3}"));
    for (qsizetype i = 0, n = out.size(); i < n; ++i) {
        const QString k = QString::fromLatin1(out[i].kind);
        const char* box = k == QLatin1String("SSN last four") ? "box: SSN last four"
                        : k == QLatin1String("phone last seven") ? "box: phone last 7"
                        : k == QLatin1String("DOB")              ? "box: DOB"
                                                                 : nullptr;
        if (!box)
            continue;
        RecallQuery twin = out[i];
        twin.kind = box;
        twin.caption = threeDigits.match(twin.text).hasMatch() ? QStringLiteral("&ACCT#") : nameCaption;
        out.append(twin);
    }
    return out;
}

// Clerks look for 2,000 known patients as they type them, and the SSN, phone and birth date
// queries among them again in the one box: the share found on the first page
// (50 rows) and in the first five rows, per kind of query and in all; then 200 searches for
// patients who do not exist, where no patient may come before the line that says the names
// are only similar. The worst misses are printed with why. Argument: 0 the desk's patients,
// 1 any patient.
void BM_Recall(benchmark::State& state)
{
    const QList<RecallQuery> queries = recallQueries(state.range(0) == 0 ? Population::Desk : Population::Anyone);
    struct Tally { int asked = 0, firstPage = 0, topFive = 0; };
    QMap<QString, Tally> tallies;
    Tally all;
    std::vector<double> ms;
    struct Miss { QString kind, text; qint64 intended; int rank; int rows; };
    QList<Miss> misses;
    int wrongAboveNotice = 0;
    for (auto _ : state) {
        for (const RecallQuery& q : queries) {
            QElapsedTimer timer;
            timer.start();
            const QStringList reply = link().answer(QStringLiteral("|GET|KEY|") + q.text.toUpper() + QLatin1Char('|') + q.caption + QLatin1Char('|'));
            ms.push_back(timer.nsecsElapsed() / 1e6);
            int rank = 0;
            int rows = 0;
            for (qsizetype i = 1; i + 1 < reply.size(); ++i) {
                const QString key = reply[i].mid(5).section(QLatin1Char('\t'), 0, 0);
                if (key == QLatin1String("0"))
                    continue;
                ++rows;
                if (key == QString::number(q.intended) && rank == 0)
                    rank = rows;
            }
            Tally& t = tallies[QString::fromLatin1(q.kind)];
            ++t.asked;
            ++all.asked;
            if (rank > 0) { ++t.firstPage; ++all.firstPage; }
            if (rank > 0 && rank <= 5) { ++t.topFive; ++all.topFive; }
            if (rank == 0 || rank > 5)
                misses.append({QString::fromLatin1(q.kind), q.text, q.intended, rank, rows});
        }
        // Patients who are not there: invented names.
        std::mt19937_64 random(7);
        for (int i = 0; i < 200; ++i) {
            QString last, first;
            for (int c = 0; c < 7; ++c)
                last += QChar(u'A' + int(random() % 26));
            for (int c = 0; c < 5; ++c)
                first += QChar(u'A' + int(random() % 26));
            const QStringList reply = link().answer(QStringLiteral("|GET|KEY|") + last + QStringLiteral(", ") + first
                                                    + QStringLiteral("|&PAT NAME|"));
            // The first row must be the line with key 0.
            if (reply.size() > 1 && !reply[1].startsWith(QLatin1String("|OK||0\t")))
                ++wrongAboveNotice;
        }
    }
    std::sort(ms.begin(), ms.end());
    state.counters["first_page_pct"] = 100.0 * all.firstPage / all.asked;
    state.counters["top5_pct"] = 100.0 * all.topFive / all.asked;
    state.counters["p95_ms"] = ms[size_t(ms.size() * 0.95)];
    state.counters["wrong_above_notice"] = wrongAboveNotice;
    std::printf("\n%-18s %6s %10s %8s\n", "query", "asked", "first page", "top 5");
    for (auto it = tallies.cbegin(); it != tallies.cend(); ++it) {
        std::printf("%-18s %6d %9.1f%% %7.1f%%\n", qPrintable(it.key()), it->asked, 100.0 * it->firstPage / it->asked,
                    100.0 * it->topFive / it->asked);
    }
    std::printf("%-18s %6d %9.1f%% %7.1f%%\n", "all", all.asked, 100.0 * all.firstPage / all.asked, 100.0 * all.topFive / all.asked);
    // Worst: not on the first page at all, the most crowded first.
    std::stable_sort(misses.begin(), misses.end(), [](const Miss& a, const Miss& b) {
        if ((a.rank == 0) != (b.rank == 0))
            return a.rank == 0;
        return a.rank > b.rank;
    });
    std::printf("\nworst misses:\n");
    for (qsizetype i = 0; i < qMin<qsizetype>(10, misses.size()); ++i) {
        const Miss& m = misses[i];
        Statement who(store()->database(), "SELECT last || ', ' || first || ' ' || middle FROM patients WHERE id = ?1");
        who.bind(1, m.intended);
        who.step();
        std::printf("  %-16s %-28s intended %lld %-24s %s (%d rows on the page)\n", qPrintable(m.kind), qPrintable(m.text),
                    m.intended, qPrintable(who.text(0)), m.rank == 0 ? "not on the first page" : qPrintable(QStringLiteral("row %1").arg(m.rank)),
                    m.rows);
    }
}
BENCHMARK(BM_Recall)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);

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
