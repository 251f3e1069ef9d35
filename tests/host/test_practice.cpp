// The embedded practice server: index searches, every search key, paging by position, the
// other request kinds, and the six operations of the component run against it.
#include "componentfixture.h"
#include "modaldriver.h"

#include "browseprint/frmbrowseprint.h"
#include "browseprint/sharedfiles.h"
#include "practice/sqlitedatabase.h"
#include "practice/names.h"
#include "practice/practicehostlink.h"
#include "practice/sqlitestore.h"
#include "practice/database.h"
#include "practicestores.h"
#include "lookupsch/frmlookupsch.h"
#include "patlookup/frmpatlookup.h"
#include "replies/tabularreply.h"

#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>

using namespace zelvar;
using namespace zelvar::practice;
using namespace zelvar::test;

namespace {

class PracticeTest : public ::testing::TestWithParam<Backend>
{
protected:
    static void TearDownTestSuite()
    {
        store.reset();
        stores.clear();
    }
    void SetUp() override
    {
        auto& made = stores[GetParam()];
        if (!made) {
            made = freshStore(GetParam(), folder);
            if (!made)
                GTEST_SKIP() << "no PostgreSQL server for this run (ZELVAR_TEST_POSTGRES)";
            // Enough patients for namesakes: the most common full name is shared by a few.
            made->generate(20000, 7);
        }
        store = made;
        link = std::make_shared<PracticeHostLink>(store);
        lookup.InitPatLookup(link, utils);
        known = *store->record(101234);
    }

    // The rows a search request gives, parsed as the dialog parses them.
    replies::SearchResults searchFor(const QString& text, const QString& caption)
    {
        replies::SearchResults results;
        const QStringList reply = link->answer(QStringLiteral("|GET|KEY|") + text + QLatin1Char('|') + caption + QLatin1Char('|'));
        const replies::PageReading reading = replies::readFirstPage(reply, results, component::utils(), component::settings());
        EXPECT_TRUE(reading.success) << reading.errorText.toStdString();
        return results;
    }

    static bool hasKey(const replies::SearchResults& results, qint64 account)
    {
        for (qint32 r = 1; r <= results.RowsLoaded; ++r) {
            if (results.table.cell(0, r) == QString::number(account))
                return true;
        }
        return false;
    }

    static inline QTemporaryDir folder;
    static inline std::map<Backend, std::shared_ptr<SqlStore>> stores;
    static inline std::shared_ptr<SqlStore> store;
    std::shared_ptr<PracticeHostLink> link;
    std::shared_ptr<RecordingUtils> utils = std::make_shared<RecordingUtils>();
    PlatformRecorder platform;
    PatLookup lookup;
    PatientRecordData known;
};


} // namespace

// Catches a search that reads the whole table (or sorts it) instead of walking an index.
TEST_P(PracticeTest, shouldSearchThroughIndexesOnly)
{
    auto* sqlite = dynamic_cast<SqliteStore*>(store.get());
    if (!sqlite)
        GTEST_SKIP() << "the plans read are SQLite's";
    const QStringList plans = sqlite->searchPlans();
    ASSERT_GE(plans.size(), 12);
    for (const QString& plan : plans) {
        // Matches gathered through the index (a partial surname's, or the few of one phone
        // number) may be put in order.
        const bool gathered = plan.contains(QLatin1String("MATERIALIZE hits"))
            || (plan.startsWith(QLatin1String("SEARCH x USING COVERING INDEX phones_")) && plan.contains(QLatin1String("=?)")));
        for (const QString& step : plan.split(QStringLiteral(" | "))) {
            // A constant row, the list of keys a search brings, what it gathered or counted is no table.
            const bool table = step.startsWith(QLatin1String("SCAN")) && !step.contains(QLatin1String("USING"))
                && step != QLatin1String("SCAN CONSTANT ROW") && !step.contains(QLatin1String("json_each"))
                && step != QLatin1String("SCAN lasts") && step != QLatin1String("SCAN keys") && step != QLatin1String("SCAN hits")
                && step != QLatin1String("SCAN listed");
            EXPECT_FALSE(table) << plan.toStdString();
            EXPECT_FALSE(!gathered && step.contains(QLatin1String("TEMP B-TREE"))) << plan.toStdString();
        }
    }
}

// Catches a search key that does not find a patient the database holds, by every key and in
// the forms clerks type, and a date, SSN or phone typed in the one box searched as a name or
// an account.
TEST_P(PracticeTest, shouldFindAKnownPatientByEveryKey)
{
    const PatientRow& p = known.patient;
    const QString dob = p.dob.toString(QStringLiteral("MM/dd/yyyy"));
    struct Case { QString text; QString caption; };
    QList<Case> cases{
        {QString::number(p.account), QStringLiteral("&ACCT#")},
        {p.last + QLatin1Char(',') + p.first, QStringLiteral("&PAT NAME")},
        {p.last + QStringLiteral(", ") + p.first, QStringLiteral("&PAT NAME")},
        {p.last.left(3) + QLatin1Char(' ') + p.first.left(2), QStringLiteral("&PAT NAME")},
        {known.guarantorRow.last + QLatin1Char(',') + known.guarantorRow.first, QStringLiteral("&GUAR")},
        {dob, QStringLiteral("&DOB")},
        {p.dob.toString(QStringLiteral("MMddyyyy")), QStringLiteral("&DOB")},
        {p.dob.toString(Qt::ISODate), QStringLiteral("&DOB")},
        {p.mrn, QStringLiteral("&MR#")},
        {p.ssn.left(3) + QLatin1Char('-') + p.ssn.mid(3, 2) + QLatin1Char('-') + p.ssn.mid(5), QStringLiteral("&SS#")},
        {QStringLiteral("(") + p.phone.left(3) + QStringLiteral(") ") + p.phone.mid(3, 3) + QLatin1Char('-') + p.phone.mid(6),
         QStringLiteral("P&HONE#")},
        // The one box: the component sends a text led by three digits as an account, any
        // other as a name; its shape says what it is.
        {dob, QStringLiteral("&ACCT#")},
        {p.dob.toString(QStringLiteral("M/d/yy")), QStringLiteral("&ACCT#")},
        {p.dob.toString(QStringLiteral("MMddyyyy")), QStringLiteral("&ACCT#")},
        {p.dob.toString(Qt::ISODate), QStringLiteral("&ACCT#")},
        {p.dob.toString(QStringLiteral("MMM d yyyy")), QStringLiteral("&PAT NAME")},
        {p.ssn, QStringLiteral("&ACCT#")},
        {p.ssn.right(4), QStringLiteral("&ACCT#")},
        {p.phone.left(3) + QLatin1Char('-') + p.phone.mid(3, 3) + QLatin1Char('-') + p.phone.mid(6), QStringLiteral("&ACCT#")},
        {QStringLiteral("(") + p.phone.left(3) + QStringLiteral(") ") + p.phone.mid(3, 3) + QLatin1Char('-') + p.phone.mid(6),
         QStringLiteral("&PAT NAME")},
    };
    if (!known.policies.isEmpty())
        cases.append(Case{known.policies.first().number, QStringLiteral("P&OLICY#")});
    for (const char* table : {"transactions", "claims", "encounters"}) {
        Statement s(store->database(), (QStringLiteral("SELECT id FROM ") + QString::fromLatin1(table) + QStringLiteral(" WHERE patient = :patient")).toUtf8().constData());
        s.bind("patient", p.account);
        if (s.step()) {
            const QString caption = QString::fromLatin1(table) == QLatin1String("transactions") ? QStringLiteral("&TRANS#")
                : QString::fromLatin1(table) == QLatin1String("claims")                        ? QStringLiteral("&CLAIM#")
                                                                                                : QStringLiteral("&ENC");
            cases.append(Case{QString::number(s.integer(0)), caption});
        }
    }
    {
        Statement s(store->database(), "SELECT number, patient FROM accessions LIMIT 1");
        ASSERT_TRUE(s.step());
        const replies::SearchResults accession = searchFor(s.text(0), QStringLiteral("&ACCESSION#WRK"));
        EXPECT_TRUE(hasKey(accession, s.integer(1)));
    }
    for (const Case& c : cases) {
        bool found = false;
        replies::SearchResults results = searchFor(c.text.toUpper() == c.text || c.caption == QLatin1String("&MR#") ? c.text : c.text.toUpper(), c.caption);
        // Walk the pages, as the dialog would, until the patient turns up.
        QString next = results.table.cell(0, 0);
        found = hasKey(results, p.account);
        for (int pages = 0; !found && results.MoreAvailable && pages < 100; ++pages) {
            const QStringList more = link->answer(QStringLiteral("|GET|KEY|") + c.text.toUpper() + QLatin1Char('|') + c.caption
                                                  + QLatin1Char('|') + results.table.cell(0, 0));
            ASSERT_TRUE(replies::readFurtherPage(more, results, component::utils()).success);
            found = hasKey(results, p.account);
        }
        EXPECT_TRUE(found) << c.caption.toStdString() << " " << c.text.toStdString();
    }
    // The first line says how the box read the text.
    EXPECT_TRUE(link->answer(QStringLiteral("|GET|KEY|") + p.dob.toString(QStringLiteral("MMddyyyy")) + QStringLiteral("|&ACCT#|"))
                    .value(1).startsWith(QStringLiteral("|OK||0\tDate of birth ") + dob + QLatin1Char(':')));
}

// Catches pages that overlap or skip rows, a continuation key the server did not give, and a
// first page's total that is not what paging to the end finds.
TEST_P(PracticeTest, shouldPageByPosition)
{
    Statement common(store->database(), "SELECT lastkey FROM patients GROUP BY lastkey ORDER BY count(*) DESC LIMIT 1");
    ASSERT_TRUE(common.step());
    const QString surname = common.text(0);
    for (const QString& text : {QStringLiteral("S"), surname}) {
        SCOPED_TRACE(text.toStdString());
        replies::SearchResults results = searchFor(text, QStringLiteral("&PAT NAME"));
        ASSERT_TRUE(results.MoreAvailable);
        const QString total = results.KnownTotal;
        for (int page = 0; page < 40 && results.MoreAvailable; ++page) {
            const QStringList more = link->answer(QStringLiteral("|GET|KEY|") + text + QStringLiteral("|&PAT NAME|") + results.table.cell(0, 0));
            ASSERT_TRUE(replies::readFurtherPage(more, results, component::utils()).success);
        }
        EXPECT_FALSE(results.MoreAvailable);
        QSet<QString> keys;
        QString previous;
        for (qint32 r = 1; r <= results.RowsLoaded; ++r) {
            // "LAST, FIRST M" + suffix: ordered by last and first name.
            const QString shown = results.table.cell(1, r).chopped(3);
            const QString name = shown.section(QLatin1Char(' '), 0, 1);
            EXPECT_FALSE(keys.contains(results.table.cell(0, r)));
            keys.insert(results.table.cell(0, r));
            EXPECT_TRUE(previous <= name) << previous.toStdString() << " / " << name.toStdString();
            previous = name;
        }
        // A surname that is one is counted; a beginning of one, which goes on to similar
        // names, is not.
        EXPECT_EQ(total, text == surname ? QString::number(results.RowsLoaded) : QString());
    }
    // A continuation key the server did not give is told in the grid; an unknown request kind
    // is an error.
    EXPECT_TRUE(link->answer(QStringLiteral("|GET|KEY|S|&PAT NAME|Nzz")).value(1).startsWith(QLatin1String("|OK||0\t")));
    EXPECT_TRUE(link->answer(QStringLiteral("|GET|NOPE|")).first().contains(QLatin1String("ERROR:")));
    EXPECT_TRUE(link->answer(QStringLiteral("|GET|KEY|ZZZZZZ|&PAT NAME|")).value(1).startsWith(QLatin1String("|OK||0\t")));
}

// Catches the component failing on the server's real replies: all six operations end to end.
TEST_P(PracticeTest, shouldServeAllSixOperations)
{
    const PatientRow& p = known.patient;
    const QString name = p.last + QStringLiteral(", ") + p.first + (p.middle.isEmpty() ? QString() : QLatin1Char(' ') + p.middle);

    ModalDriver pick(QStringLiteral("frmPatLookup"), {[&](QWidget* w) {
                         auto* d = static_cast<patlookup::frmPatLookup*>(w);
                         for (qint32 r = 1; r <= d->results().RowsLoaded; ++r) {
                             if (d->results().table.cell(0, r) == QString::number(p.account))
                                 d->SetReturnValue(r);
                         }
                         d->HideLookup();
                     }});
    EXPECT_EQ(lookup.PatientLookup(p.last + QLatin1Char(',') + p.first), QString::number(p.account) + QStringLiteral("\u00E7\u00E7") + name);
    // An account number answers at once.
    EXPECT_EQ(lookup.PatientLookup(QString::number(p.account)), QString::number(p.account) + QStringLiteral("\u00E7\u00E7") + name);

    ModalDriver duplicates(QStringLiteral("frmLookupSch"), {
        [&](QWidget* w) { static_cast<lookupsch::frmLookupSch*>(w)->arrCmd[0]->click(); },
        [&](QWidget* w) { static_cast<lookupsch::frmLookupSch*>(w)->arrCmd[0]->click(); },
    });
    const QString dup = lookup.CheckForDuplicatePatient(p.ssn, {}, p.last + QLatin1Char(',') + p.first,
                                                        p.dob.toString(QStringLiteral("MM/dd/yyyy")), {}, {});
    EXPECT_EQ(dup, QString::number(p.account) + QStringLiteral("\u00E7\u00E7") + p.last + QStringLiteral(", ") + p.first);
    EXPECT_EQ(lookup.MiscLookup(QStringLiteral("GENDER"), QString::number(p.account)), QStringLiteral("F\u00E7\u00E7Female"));
    EXPECT_EQ(lookup.CheckForDuplicatePatient({}, {}, QStringLiteral("QQQQQQ,ZZZZ"), {}, {}, {}), QString());
    EXPECT_EQ(duplicates.shows, 2);
    EXPECT_FALSE(duplicates.timedOut);

    browseprint::setSharedFilesFolderForTesting(QStringLiteral(ZELVAR_DATA_DIR));
    QString document;
    ModalDriver record(QStringLiteral("frmBrowsePrint"), {[&](QWidget* w) {
                           auto* b = static_cast<browseprint::frmBrowsePrint*>(w);
                           document = b->documentText();
                           b->cmdClose->click();
                       }});
    const QByteArray config = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", folder.path().toUtf8());
    lookup.ShowDisplayPatientInfo(QString::number(p.account));
    qputenv("XDG_CONFIG_HOME", config);
    browseprint::setSharedFilesFolderForTesting({});
    EXPECT_TRUE(document.contains(p.last)) << document.left(400).toStdString();
    EXPECT_TRUE(document.contains(QStringLiteral("***-**-") + p.ssn.right(4)));
    EXPECT_TRUE(utils->reports.isEmpty()) << utils->reports.join(QLatin1Char('\n')).toStdString();
}

// Catches near-duplicates that the check does not explain: a misspelt name with the same date
// of birth still comes back, with the reasons it matched.
TEST_P(PracticeTest, shouldExplainDuplicateCandidates)
{
    const PatientRow& p = known.patient;
    QString misspelt = p.last;
    std::swap(misspelt[1], misspelt[2]);
    const QStringList reply = link->answer(QStringLiteral("|GET|DUPPAT|\t\t") + misspelt + QLatin1Char(',') + p.first
                                           + QLatin1Char('\t') + p.dob.toString(QStringLiteral("MM/dd/yyyy")) + QStringLiteral("\t\t"));
    ASSERT_GE(reply.size(), 3);
    EXPECT_TRUE(reply.first().startsWith(QLatin1String("|GH|0|")));
    bool found = false;
    for (const QString& row : reply) {
        if (row.startsWith(QStringLiteral("|GR|0|") + QString::number(p.account) + QLatin1Char('\t'))) {
            found = true;
            EXPECT_TRUE(row.contains(QLatin1String("DOB"))) << row.toStdString();
        }
    }
    EXPECT_TRUE(found || phoneticKey(misspelt) != phoneticKey(p.last));
    EXPECT_EQ(reply.last(), QStringLiteral("|EN|END|"));
}

// Catches patients who share what was typed (a last four, a phone, a birth date, a name)
// listed in account order, which put the patient at the desk, seen last week, below a hundred
// who have not been seen in years; and pages of that order that repeat or skip a patient.
TEST_P(PracticeTest, shouldListTheRecentlySeenFirstAmongEquals)
{
    Statement lastVisit(store->database(), "SELECT coalesce(max(seen), '') FROM encounters WHERE patient = :patient");
    // Of each key, the value shared by the most patients whose last visits differ.
    // A surname with an initial ("SMITH, J") lists its first names by the same order.
    const struct { SearchKey key; const char* value; bool initial = false; } keys[] = {
        {SearchKey::SocialSecurity, "SELECT ssn4 FROM patients WHERE ssn4 <> '' GROUP BY ssn4"},
        {SearchKey::Phone, "SELECT x.last4 FROM phones x JOIN patients p ON p.id = x.patient GROUP BY x.last4"},
        {SearchKey::DateOfBirth, "SELECT dob FROM patients GROUP BY dob"},
        {SearchKey::PatientName, "SELECT last || ', ' || first FROM patients GROUP BY last, first"},
        {SearchKey::PatientName, "SELECT last || ', ' || substr(first, 1, 1) FROM patients GROUP BY last, substr(first, 1, 1)", true},
    };
    for (const auto& k : keys) {
        Statement pick(store->database(), (QString::fromLatin1(k.value)
                                           + QStringLiteral(" HAVING count(DISTINCT visitorder) > 2 ORDER BY count(*) DESC, 1 LIMIT 1")).toUtf8().constData());
        ASSERT_TRUE(pick.step()) << k.value;
        SearchQuery q{k.key, pick.text(0), {}, 2, QStringLiteral("desk")};
        if (k.key == SearchKey::DateOfBirth)
            q.text = QDate::fromString(q.text, Qt::ISODate).toString(QStringLiteral("MM/dd/yyyy"));
        QList<PatientRow> rows;
        for (int pages = 0; pages < 100; ++pages) {
            const SearchPage page = store->search(q);
            rows.append(page.rows);
            if (page.next.isEmpty())
                break;
            q.after = page.next;
        }
        QSet<qint64> listed;
        QString previous;
        QString group;
        for (const PatientRow& r : std::as_const(rows)) {
            EXPECT_FALSE(listed.contains(r.account)) << q.text.toStdString() << ": " << r.account;
            listed.insert(r.account);
            lastVisit.bind("patient", r.account);
            lastVisit.step();
            const QString seen = lastVisit.text(0);
            lastVisit.reset();
            const QString same = k.key != SearchKey::PatientName ? QString() : k.initial ? r.last : r.last + QLatin1Char(',') + r.first;
            if (same == group && !previous.isNull()) {
                EXPECT_GE(previous.toStdString(), seen.toStdString()) << q.text.toStdString() << ": " << r.account;
            }
            group = same;
            previous = seen;
        }
        EXPECT_GE(rows.size(), 3) << q.text.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Stores, PracticeTest, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendName);

// Catches a lookup planned once that leaves the connection in a half-read exchange when it
// fails (every later statement then fails), hides the statement's own error, or keeps its
// planning setting for the statements after it.
TEST(PostgresDatabaseTest, shouldAnswerEveryStatementAfterALookupPlannedOnceFails)
{
    if (testPostgres().isEmpty())
        GTEST_SKIP() << "no PostgreSQL server for this run (ZELVAR_TEST_POSTGRES)";
    PostgresDatabase db(testPostgres());
    Statement lookup(db, QStringLiteral("SELECT CAST(:number AS BIGINT) + 1"), PlanOnce{});
    lookup.bind("number", QStringLiteral("not a number"));
    try {
        lookup.step();
        ADD_FAILURE() << "a value the cast refuses was taken";
    } catch (const DatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("invalid input syntax"), std::string::npos) << e.what();
    }
    lookup.reset();
    lookup.bind("number", QStringLiteral("41"));
    ASSERT_TRUE(lookup.step());
    EXPECT_EQ(lookup.integer(0), 42);

    Statement setting(db, "SELECT current_setting('plan_cache_mode')");
    ASSERT_TRUE(setting.step());
    EXPECT_EQ(setting.text(0).toStdString(), "auto");

    // Inside a transaction it runs as any statement does, and the transaction goes on.
    db.begin();
    lookup.reset();
    lookup.bind("number", QStringLiteral("1"));
    ASSERT_TRUE(lookup.step());
    EXPECT_EQ(lookup.integer(0), 2);
    db.commit();
}
