// The practice server on a generated database of 1,000,000 patients: the database build, the
// first page of every search key (p95 over 200 searches), a page deep in a large result
// against the first (and the same with OFFSET paging), a duplicate check, a code table, a
// record, and how often clerks' searches find the patient they meant (on PostgreSQL, beside what
// pg_trgm and fuzzystrmatch find for the same names). The database is kept at
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

// A name as a clerk mistypes it: two letters swapped, one dropped, one doubled, one wrong, or
// one its key's neighbour on the keyboard. Never the first letter, which clerks get right.
enum class Typo { Swap, Drop, Double, Wrong, Keyboard };

QString mistyped(const QString& name, Typo typo, std::mt19937_64& random)
{
    if (name.size() < 4)
        return name + QLatin1Char('E');
    QString out = name;
    const int at = 1 + int(random() % (name.size() - 2));
    static const QHash<QChar, QString> neighbours = [] {
        const char* rows[] = {"QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM"};
        QHash<QChar, QString> out;
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; rows[r][c]; ++c) {
                QString n;
                if (c > 0)
                    n += QLatin1Char(rows[r][c - 1]);
                if (rows[r][c + 1])
                    n += QLatin1Char(rows[r][c + 1]);
                out.insert(QLatin1Char(rows[r][c]), n);
            }
        }
        return out;
    }();
    switch (typo) {
    case Typo::Swap:
        std::swap(out[at], out[at + 1]);
        break;
    case Typo::Drop:
        out.remove(at, 1);
        break;
    case Typo::Double:
        out.insert(at, out[at]);
        break;
    case Typo::Wrong:
        do
            out[at] = QChar(u'A' + int(random() % 26));
        while (out[at] == name[at]);
        break;
    case Typo::Keyboard: {
        const QString near = neighbours.value(name[at]);
        out[at] = near.isEmpty() ? QLatin1Char('E') : near[qsizetype(random() % near.size())];
        break;
    }
    }
    return out;
}

// The name with an accent a clerk might give it (GARCIA -> GARCÍA).
QString accented(const QString& name)
{
    static const QHash<QChar, QChar> accents = {{u'A', u'Á'}, {u'E', u'É'}, {u'I', u'Í'}, {u'O', u'Ó'}, {u'U', u'Ü'}};
    for (qsizetype i = 1; i < name.size(); ++i) {
        if (accents.contains(name[i])) {
            QString out = name;
            out[i] = accents.value(name[i]);
            return out;
        }
    }
    return name;
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
    Statement s(store()->database(), "SELECT patient FROM encounters WHERE seen > :since ORDER BY id");
    s.bind("since", since.toString(Qt::ISODate));
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
    Statement s(store()->database(), "SELECT id, last, first, middle, dob, ssn, phone FROM patients WHERE id = :id");
    const char* const kinds[] = {"name", "first last", "lower case", "typo: swap", "typo: drop", "typo: double",
                                 "typo: wrong letter", "typo: keyboard", "first-name typo", "sound-alike", "nickname",
                                 "initial", "accents", "SSN last four", "phone last seven", "phone last four", "DOB"};
    constexpr int kKinds = int(std::size(kinds));
    const QString nameCaption = QStringLiteral("&PAT NAME");
    while (out.size() < 2000) {
        s.bind("id", desk.isEmpty() ? qint64(100001 + random() % kPatients) : desk[qsizetype(random() % desk.size())]);
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
        const auto named = [&](const QString& l, const QString& f) -> QString { return l + QStringLiteral(", ") + f + QLatin1Char(' ') + middle; };
        static const QHash<QString, Typo> typos = {{QStringLiteral("typo: swap"), Typo::Swap}, {QStringLiteral("typo: drop"), Typo::Drop},
                                                   {QStringLiteral("typo: double"), Typo::Double},
                                                   {QStringLiteral("typo: wrong letter"), Typo::Wrong},
                                                   {QStringLiteral("typo: keyboard"), Typo::Keyboard}};
        if (k == QLatin1String("name")) {
            q.text = named(last, first);
        } else if (k == QLatin1String("first last")) {
            q.text = first + QLatin1Char(' ') + middle + QLatin1Char(' ') + last;
        } else if (k == QLatin1String("lower case")) {
            q.text = (last + QLatin1Char(' ') + first + QLatin1Char(' ') + middle).toLower();
        } else if (typos.contains(k)) {
            q.text = named(mistyped(last, typos.value(k), random), first);
        } else if (k == QLatin1String("first-name typo")) {
            q.text = named(last, mistyped(first, Typo(random() % 5), random));
        } else if (k == QLatin1String("sound-alike")) {
            const QString variant = soundAlikeSpelling(last);
            q.text = named(variant.isEmpty() ? mistyped(last, Typo::Swap, random) : variant, first);
        } else if (k == QLatin1String("nickname")) {
            const QString nick = nicknameOf(first);
            q.text = named(last, nick.isEmpty() ? first : nick);
        } else if (k == QLatin1String("initial")) {
            q.text = last + QStringLiteral(", ") + first.left(1);
        } else if (k == QLatin1String("accents")) {
            q.text = named(accented(last), first);
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

// What a practice's IT person would write instead, on the same PostgreSQL table: trigram
// similarity of the whole name (pg_trgm), or a surname that sounds the same (fuzzystrmatch's
// Double Metaphone), the most similar first and then the closest surname by edit distance.
// Both are indexed. Only where the store is PostgreSQL.
class PlainSqlNameSearch
{
public:
    static std::unique_ptr<PlainSqlNameSearch> open()
    {
        if (qEnvironmentVariable("ZELVAR_BENCH_POSTGRES").isEmpty())
            return nullptr;
        Database& db = store()->database();
        db.execute(QStringLiteral("CREATE EXTENSION IF NOT EXISTS pg_trgm"));
        db.execute(QStringLiteral("CREATE EXTENSION IF NOT EXISTS fuzzystrmatch"));
        db.execute(QStringLiteral("CREATE INDEX IF NOT EXISTS plain_name_trgm ON patients "
                                  "USING gin ((last || ' ' || first || ' ' || middle) gin_trgm_ops)"));
        db.execute(QStringLiteral("CREATE INDEX IF NOT EXISTS plain_name_metaphone ON patients (dmetaphone(last))"));
        db.execute(QStringLiteral("ANALYZE patients"));
        return std::unique_ptr<PlainSqlNameSearch>(new PlainSqlNameSearch);
    }

    // The first page's patients for a name as typed.
    QList<qint64> search(const QString& typed)
    {
        QString text = typed.toUpper();
        text.replace(QLatin1Char(','), QLatin1Char(' '));
        m_search.bind("name", text.simplified()).bind("last", parseNameQuery(typed).last);
        QList<qint64> ids;
        while (m_search.step())
            ids.append(m_search.integer(0));
        m_search.reset();
        return ids;
    }

private:
    PlainSqlNameSearch()
        : m_search(store()->database(),
                   "SELECT id FROM patients WHERE (last || ' ' || first || ' ' || middle) % :name OR dmetaphone(last) = dmetaphone(:last) "
                   "ORDER BY similarity(last || ' ' || first || ' ' || middle, :name) DESC, levenshtein(last, :last), id LIMIT 50")
    {
    }
    Statement m_search;
};

// Clerks look for 2,000 known patients as they type them, and the SSN, phone and birth date
// queries among them again in the one box: the share found on the first page
// (50 rows) and in the first five rows, per kind of query and in all; then 200 searches for
// patients who do not exist, where no patient may come before the line that says the names
// are only similar. The worst misses are printed with why. Argument: 0 the desk's patients,
// 1 any patient.
void BM_Recall(benchmark::State& state)
{
    const QList<RecallQuery> queries = recallQueries(state.range(0) == 0 ? Population::Desk : Population::Anyone);
    struct Tally
    {
        int asked = 0, firstPage = 0, topFive = 0;
        void count(int rank)
        {
            ++asked;
            firstPage += rank > 0;
            topFive += rank > 0 && rank <= 5;
        }
    };
    QMap<QString, Tally> tallies, plainTallies;
    Tally all;
    std::vector<double> ms, nameMs, plainMs;
    const std::unique_ptr<PlainSqlNameSearch> plain = PlainSqlNameSearch::open();
    struct Miss { QString kind, text; qint64 intended; int rank; int rows; bool byName; };
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
            tallies[QString::fromLatin1(q.kind)].count(rank);
            all.count(rank);
            if (rank == 0 || rank > 5)
                misses.append({QString::fromLatin1(q.kind), q.text, q.intended, rank, rows, q.caption == QLatin1String("&PAT NAME")});
            if (q.caption == QLatin1String("&PAT NAME") && !QString::fromLatin1(q.kind).startsWith(QLatin1String("box"))) {
                nameMs.push_back(ms.back());
                if (plain) {
                    timer.start();
                    const QList<qint64> ids = plain->search(q.text);
                    plainMs.push_back(timer.nsecsElapsed() / 1e6);
                    plainTallies[QString::fromLatin1(q.kind)].count(int(ids.indexOf(q.intended)) + 1);
                }
            }
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
    const auto p95 = [](std::vector<double> v) { std::sort(v.begin(), v.end()); return v.empty() ? 0.0 : v[size_t(v.size() * 0.95)]; };
    state.counters["name_p95_ms"] = p95(nameMs);
    if (plain)
        state.counters["plain_sql_p95_ms"] = p95(plainMs);
    std::printf("\n%-18s %6s %10s %8s%s\n", "query", "asked", "first page", "top 5",
                plain ? "   pg_trgm + fuzzystrmatch: first page, top 5" : "");
    for (auto it = tallies.cbegin(); it != tallies.cend(); ++it) {
        std::printf("%-18s %6d %9.1f%% %7.1f%%", qPrintable(it.key()), it->asked, 100.0 * it->firstPage / it->asked,
                    100.0 * it->topFive / it->asked);
        if (const Tally p = plainTallies.value(it.key()); p.asked > 0)
            std::printf("   %9.1f%% %7.1f%%", 100.0 * p.firstPage / p.asked, 100.0 * p.topFive / p.asked);
        std::printf("\n");
    }
    std::printf("%-18s %6d %9.1f%% %7.1f%%\n", "all", all.asked, 100.0 * all.firstPage / all.asked, 100.0 * all.topFive / all.asked);
    // Worst: not on the first page at all, the most crowded first.
    std::stable_sort(misses.begin(), misses.end(), [](const Miss& a, const Miss& b) {
        if ((a.rank == 0) != (b.rank == 0))
            return a.rank == 0;
        return a.rank > b.rank;
    });
    // Names apart from numbers: a last four shared by dozens is a miss of another kind.
    const auto printMisses = [&misses](const char* title, bool names) {
        std::printf("\n%s:\n", title);
        int printed = 0;
        for (const Miss& m : std::as_const(misses)) {
            if (m.byName != names || printed++ == 10)
                continue;
            Statement who(store()->database(), "SELECT last || ', ' || first || ' ' || middle FROM patients WHERE id = :id");
            who.bind("id", m.intended);
            who.step();
            std::printf("  %-18s %-28s intended %lld %-24s %s (%d rows on the page)\n", qPrintable(m.kind), qPrintable(m.text),
                        m.intended, qPrintable(who.text(0)),
                        m.rank == 0 ? "not on the first page" : qPrintable(QStringLiteral("row %1").arg(m.rank)), m.rows);
        }
    };
    printMisses("worst misses of names", true);
    printMisses("worst misses of numbers and dates", false);
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
