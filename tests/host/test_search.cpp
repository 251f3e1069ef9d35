// How the practice server matches what a clerk types: identifiers by their whole value or
// their usual tail, names in any order and spelling, similar names when nothing matches, dates
// in every unambiguous form, and the duplicate check's candidates.
#include "practice/duplicatescoring.h"
#include "practice/names.h"
#include "practice/practicehostlink.h"
#include "practice/sqlitestore.h"
#include "practice/textshape.h"
#include "practicestores.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace zelvar;
using namespace zelvar::practice;
using zelvar::test::Backend;

namespace {

struct Person
{
    qint64 account;
    const char* last;
    const char* first;
    const char* dob;        // ISO
    const char* ssn;
    const char* phone;
    const char* policy;
};

// A small practice whose names and numbers are the cases at the front desk.
const Person kPeople[] = {
    {100001, "SMITH", "ROBERT", "1970-03-14", "111222622", "2175732116", "BPH123456"},
    {100002, "SMITH", "JOHN", "1962-07-01", "262233333", "2175550101", ""},
    {100003, "SMYTHE", "ANNA", "1980-01-02", "262244444", "2175550102", ""},
    {100004, "JOHNSON", "MARY", "1976-10-22", "333442622", "2175550103", ""},
    {100005, "O'BRIEN", "PATRICK", "1950-05-05", "444552622", "2175550104", ""},
    {100006, "MCDONALD", "ALICE", "1990-12-24", "555660000", "2175550105", ""},
    {100007, "GARCIA-LOPEZ", "MARIA", "1985-06-15", "666770000", "2175550106", ""},
    {100008, "MÜLLER", "KLAUS", "1955-11-30", "777880000", "2175550107", ""},
    {100009, "SMITH", "JOHNATHAN", "1962-07-02", "888990000", "2175550108", ""},
};

class SearchRulesTest : public ::testing::TestWithParam<Backend>
{
protected:
    void SetUp() override
    {
        auto& made = stores[GetParam()];
        if (!made) {
            made = test::freshStore(GetParam(), folder);
            if (!made)
                GTEST_SKIP() << "no PostgreSQL server for this run (ZELVAR_TEST_POSTGRES)";
            store = made;
            store->generate(0, 1);
            for (const Person& p : kPeople)
                add(p);
            // A common name: more candidates than the duplicate list shows.
            for (int i = 0; i < 25; ++i)
                add({100010 + i, "SMITH", "JOHN", i == 17 ? "1962-07-01" : "1940-01-01", "", "", ""}, i);
            // Two names that are each other's read the other way round.
            add({100035, "ANDERS", "ADAM", "1971-01-01", "", "", ""});
            add({100036, "ADAMS", "ANDERS", "1972-02-02", "", "", ""});
            // JOHN's nickname, and a nickname of JOHN and of JONATHAN.
            add({100037, "SMITH", "JACK", "1975-03-03", "", "", ""});
            add({100038, "SMITH", "JON", "1977-04-04", "", "", ""});
            // A first name cut short when entered, beside the whole one.
            add({100039, "KOWALSKI", "JAM", "1981-05-05", "", "", ""});
            add({100040, "KOWALSKI", "JAMES", "1981-05-05", "", "", ""});
        }
        store = made;
    }
    static void TearDownTestSuite()
    {
        store.reset();
        stores.clear();
    }

    // Registered as the front desk registers a patient: accounts 100001 onwards, in order.
    static void add(const Person& p, int days = 0)
    {
        practice::NewPatient n;
        n.last = QString::fromUtf8(p.last);
        n.first = QString::fromUtf8(p.first);
        n.middle = QStringLiteral("A");
        n.dob = QDate::fromString(QString::fromLatin1(p.dob), Qt::ISODate).addDays(days);
        n.ssn = QString::fromLatin1(p.ssn);
        n.phone = QString::fromLatin1(p.phone);
        n.payor = QStringLiteral("BPH");
        n.policy = QString::fromLatin1(p.policy);
        ASSERT_EQ(store->addPatient(n), p.account);
    }

    // The accounts of the first page, in order, and the notice line when there is one.
    struct Page { QList<qint64> accounts; QString notice; };
    static Page first(SearchKey key, const QString& text)
    {
        SearchQuery q;
        q.key = key;
        q.text = text;
        q.user = QStringLiteral("desk");
        Page page;
        try {
            const SearchPage result = store->search(q);
            for (const PatientRow& r : result.rows)
                page.accounts.append(r.account);
            page.notice = result.notice;
        } catch (const std::invalid_argument& e) {
            page.notice = QString::fromUtf8(e.what());
        }
        return page;
    }

    static inline QTemporaryDir folder;
    static inline std::map<Backend, std::shared_ptr<SqlStore>> stores;
    static inline std::shared_ptr<SqlStore> store;
};

} // namespace

// Catches a clerk picking the wrong patient: an SSN's last four matched against its first
// four, a phone's last seven or four not found, identifiers compared with their case, blanks
// and dashes; and a text no identifier can be refused without a sentence to act on.
TEST_P(SearchRulesTest, shouldMatchIdentifiersByTheirWholeValueOrTheirTail)
{
    const struct { SearchKey key; const char* text; QList<qint64> accounts; } cases[] = {
        {SearchKey::SocialSecurity, "2622", {100001, 100004, 100005}},
        {SearchKey::SocialSecurity, "111-22-2622", {100001}},
        {SearchKey::Phone, "(217) 573-2116", {100001}},
        {SearchKey::Phone, "573-2116", {100001}},
        {SearchKey::Phone, "2116", {100001}},
        {SearchKey::Phone, "1-217-573-2116", {100001}},
        {SearchKey::MedicalRecord, "mr100004", {100004}},
        {SearchKey::MedicalRecord, "MR-100 004", {100004}},
        {SearchKey::Policy, "bph 123-456", {100001}},
    };
    for (const auto& c : cases) {
        const Page page = first(c.key, QString::fromLatin1(c.text));
        EXPECT_EQ(page.accounts, c.accounts) << c.text;
    }
    EXPECT_EQ(first(SearchKey::SocialSecurity, QStringLiteral("26")).notice.toStdString(),
              "Type the last four digits of the social security number, or all nine");
    EXPECT_EQ(first(SearchKey::Phone, QStringLiteral("57321")).notice.toStdString(),
              "Type the whole phone number, its last seven digits or its last four");
}

// Catches names found only as LAST, FIRST: the other order, punctuation, blanks, a part of a
// hyphenated name and accents must find the same patient, the best reading first.
TEST_P(SearchRulesTest, shouldFindANameInTheFormsClerksTypeIt)
{
    const struct { const char* text; qint64 account; } cases[] = {
        {"John Smith", 100002},     {"smith john", 100002},  {"SMITH, JOHN A", 100002}, {"obrien", 100005},
        {"o'brien", 100005},        {"O BRIEN", 100005},     {"mc donald", 100006},     {"lopez", 100007},
        {"garcia lopez, maria", 100007}, {"muller", 100008},  {"mueller", 100008},       {"MÜLLER, KLAUS", 100008},
        {"anders a adams", 100036}, {"adams anders a", 100036}, {"adams, anders", 100036},
    };
    for (const auto& c : cases) {
        const Page page = first(SearchKey::PatientName, QString::fromUtf8(c.text));
        ASSERT_FALSE(page.accounts.isEmpty()) << c.text;
        EXPECT_EQ(page.accounts.first(), c.account) << c.text;
        EXPECT_TRUE(page.notice.isEmpty()) << c.text << ": " << page.notice.toStdString();
    }
}

// Catches a search that finds nothing when the name is spelt otherwise, and similar names
// offered without a line saying so (or offered above an exact match).
TEST_P(SearchRulesTest, shouldOfferSimilarNamesWhenNothingMatchesExactly)
{
    const struct { const char* text; qint64 expected; const char* notice; } cases[] = {
        {"jonson", 100004, "No JONSON; similar names:"},
        {"jonhson, mary", 100004, "No JONHSON, MARY; similar names:"},
        {"smyth", 100002, "No SMYTH; similar names:"},
        {"smith, bob", 100001, "No SMITH, BOB; similar names:"},
        {"mullet", 100008, "No MULLET; similar names:"},   // a letter off, sounds otherwise
    };
    for (const auto& c : cases) {
        const Page page = first(SearchKey::PatientName, QString::fromUtf8(c.text));
        EXPECT_TRUE(page.accounts.contains(c.expected)) << c.text;
        EXPECT_EQ(page.notice.toStdString(), c.notice);
    }
    // SMYTHE begins as typed and comes first; an exact name brings no notice, and when it is
    // less than a page, the names close to it after it.
    EXPECT_EQ(first(SearchKey::PatientName, QStringLiteral("smyth")).accounts.value(0), 100003);
    EXPECT_TRUE(first(SearchKey::PatientName, QStringLiteral("johnson")).notice.isEmpty());
    const Page smythe = first(SearchKey::PatientName, QStringLiteral("smythe"));
    EXPECT_EQ(smythe.accounts.value(0), 100003);
    EXPECT_TRUE(smythe.accounts.contains(100002) && smythe.notice.isEmpty()) << smythe.notice.toStdString();
    // The closest surname first, not the first in the alphabet: SMYTHE is a letter from
    // SMYTHEE, SMITH three.
    EXPECT_EQ(first(SearchKey::PatientName, QStringLiteral("smythee")).accounts.value(0), 100003);
    // Nobody: no wrong patient at all.
    const Page nobody = first(SearchKey::PatientName, QStringLiteral("zzyzx, quincy"));
    EXPECT_TRUE(nobody.accounts.isEmpty());
    EXPECT_EQ(nobody.notice.toStdString(), "No patient named ZZYZX, QUINCY");
}

// Catches a nickname listed before the name typed (JACK before JOHN for "smiht john"), a
// nickname table read one way only ("jon smith" finding JONATHAN but no JOHN, "smith john"
// no JACK), and a first name a letter off that finds nobody, also once an exact name typed
// with its middle initial was found.
TEST_P(SearchRulesTest, shouldListTheClosestFirstNamesFirst)
{
    QList<qint64> johns{100002};
    for (qint64 a = 100010; a < 100035; ++a)
        johns.append(a);
    const struct { const char* text; qint64 top; bool jackAfterJohns; } cases[] = {
        {"smiht john", 100002, true}, {"smith john", 100002, true}, {"jon smith", 100038, true}, {"smith jhon", 100002, false},
    };
    for (const auto& c : cases) {
        const Page page = first(SearchKey::PatientName, QString::fromUtf8(c.text));
        ASSERT_FALSE(page.accounts.isEmpty()) << c.text;
        EXPECT_EQ(page.accounts.first(), c.top) << c.text;
        const qsizetype jack = page.accounts.indexOf(100037);
        for (qint64 john : std::as_const(johns)) {
            const qsizetype at = page.accounts.indexOf(john);
            EXPECT_GE(at, 0) << c.text << ": no " << john;
            if (c.jackAfterJohns) {
                EXPECT_LT(at, jack) << c.text << ": JACK before JOHN " << john;
            }
        }
    }
    EXPECT_EQ(first(SearchKey::PatientName, QStringLiteral("kowalski, jame a")).accounts, (QList<qint64>{100040, 100039}));
}

// Catches dates a clerk types that the server cannot read, and an unreadable one answered
// without a sentence to act on.
TEST_P(SearchRulesTest, shouldReadEveryUnambiguousDate)
{
    for (const char* text : {"10/22/1976", "10221976", "1976-10-22", "19761022", "22.10.1976", "22/10/1976",
                             "Oct 22 1976", "October 22, 1976", "22 Oct 1976", "22-OCT-1976", "10-22-76"}) {
        const std::optional<DateRange> range = parseDateQuery(QString::fromLatin1(text));
        ASSERT_TRUE(range.has_value()) << text;
        EXPECT_EQ(range->from, QDate(1976, 10, 22)) << text;
    }
    EXPECT_EQ(first(SearchKey::DateOfBirth, QStringLiteral("Oct 22 1976")).accounts, QList<qint64>{100004});
    for (const char* text : {"13/45/2000", "02/30/1990", "yesterday", "1976-13-01", "0000"})
        EXPECT_EQ(first(SearchKey::DateOfBirth, QString::fromLatin1(text)).notice.toStdString(), "Type the date of birth as MM/DD/YYYY") << text;
}

// Catches a closeness that counts a swap of neighbours as two letters off, or that misreads
// names of different lengths: the order similar surnames are listed in.
TEST(EditDistanceTest, shouldCountEachLetterOffAndEachSwapAsOne)
{
    const struct { const char* a; const char* b; int distance; } cases[] = {
        {"SMITH", "SMITH", 0}, {"SMIHT", "SMITH", 1}, {"WHYTE", "WHITE", 1}, {"WHYTE", "WAITE", 2},
        {"WHYTE", "WOOD", 4},  {"MULLOR", "MULLER", 1}, {"GARCIW", "GARCIA", 1}, {"PIRCE", "PIERCE", 1},
        {"", "COX", 3},        {"COX", "", 3},         {"CA", "AC", 1},        {"KOWALSKI", "KOWALSKY", 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(practice::editDistance(QString::fromLatin1(c.a), QString::fromLatin1(c.b)), c.distance) << c.a << " " << c.b;
        EXPECT_EQ(practice::editDistance(QString::fromLatin1(c.b), QString::fromLatin1(c.a)), c.distance) << c.b << " " << c.a;
    }
}

// Catches a "sounds alike" pass that misses the spellings clerks meet (SMYTHE for SMITH,
// KATHERINE for CATHERINE) or that lumps unlike names together; and, over the practice's
// surname list, a key left empty or shared so widely that the pass would list half the
// practice.
TEST(PhoneticKeyTest, shouldGiveNamesThatSoundAlikeOneKey)
{
    const struct { const char* a; const char* b; bool alike; } cases[] = {
        {"SMITH", "SMYTH", true},         {"SMITH", "SMYTHE", true},        {"JOHNSON", "JONSON", true},
        {"CATHERINE", "KATHERINE", true}, {"PHILLIPS", "FILIPS", true},     {"STEPHENS", "STEVENS", true},
        {"KNIGHT", "NIGHT", true},        {"WRIGHT", "RIGHT", true},        {"MCDONALD", "MACDONALD", true},
        {"BROWN", "BRAUN", true},         {"PETERSON", "PETERSEN", true},   {"O'BRIEN", "OBRIEN", true},
        {"WHYTE", "WAITE", true},         {"DAVIS", "DAVIES", true},        {"GARCIA", "GARSIA", true},
        {"SMITH", "SCHMIDT", false},      {"JOHNSON", "JACKSON", false},    {"MARTIN", "MARTINEZ", false},
        {"ANDERSON", "HENDERSON", false}, {"BROWN", "GREEN", false},        {"THOMPSON", "THOMAS", false},
        {"NGUYEN", "NG", false},          {"HALL", "HILL", true},           {"KING", "KHAN", false},
        {"WHITE", "WHYTE", true},         {"WHITE", "WAIT", true},
        {"WHEELER", "WHALEY", false},
    };
    for (const auto& c : cases) {
        const QString a = phoneticKey(QString::fromLatin1(c.a));
        const QString b = phoneticKey(QString::fromLatin1(c.b));
        EXPECT_FALSE(a.isEmpty()) << c.a;
        EXPECT_EQ(a == b, c.alike) << c.a << " " << a.toStdString() << ", " << c.b << " " << b.toStdString();
    }
    EXPECT_EQ(phoneticKey(QStringLiteral("'- ")), QString());

    // Of the thousand commonest surnames, each has a key and no key stands for more than a
    // handful of them.
    const QList<NameCount>& surnames = surnameCounts();
    ASSERT_GE(surnames.size(), 1000);
    QHash<QString, int> sharing;
    for (qsizetype i = 0; i < 1000; ++i) {
        const QString key = phoneticKey(surnames.at(i).name);
        EXPECT_FALSE(key.isEmpty()) << surnames.at(i).name.toStdString();
        ++sharing[key];
    }
    EXPECT_LE(*std::max_element(sharing.cbegin(), sharing.cend()), 12);
}

// Catches a duplicate check that scores a candidate by what it does not share, drops the
// likely ones (a name swapped, a nickname, a birth date typed day first) or keeps the unlike,
// or orders equal scores other than by the nearest birth date.
TEST(DuplicateScoringTest, shouldScoreWhatACandidateSharesAndKeepOnlyTheLikely)
{
    const auto patient = [](qint64 account, const char* last, const char* first, QDate dob, const char* ssn,
                            const char* mrn) {
        PatientRow row;
        row.account = account;
        row.last = QString::fromLatin1(last);
        row.first = QString::fromLatin1(first);
        row.dob = dob;
        row.ssn = QString::fromLatin1(ssn);
        row.mrn = QString::fromLatin1(mrn);
        return Candidate{row, {}};
    };
    QList<Candidate> candidates{
        patient(1, "ZED", "AL", QDate(1950, 1, 1), "123456789", "MR1"),          // the SSN alone
        patient(2, "JOHN", "SMITH", QDate(1980, 3, 4), "", "MR2"),               // names swapped, same birth date
        patient(3, "SMYTH", "JACK", QDate(1980, 4, 3), "", "MR3"),               // sounds alike, nickname, day first
        patient(4, "SMIT", "JOSEPH", QDate(1990, 1, 1), "", "MR4"),              // a letter off, begins alike: too little
        patient(5, "SMITH", "JOHN", QDate(1980, 3, 5), "", "MR5"),               // the name, a birth date digit off
        patient(6, "SMITH", "JOHN", QDate(1980, 3, 24), "", "MR6"),              // the same, farther from the day
        patient(7, "OTHER", "PAT", QDate(1970, 1, 1), "", "MR-7"),               // the MRN and the policy
    };
    candidates[6].policies = {identifierKey(QStringLiteral("BPH 77"))};
    const PatientData typed{QStringLiteral("123-45-6789"), QString(), QStringLiteral("SMITH, JOHN"),
                            QStringLiteral("03/04/1980"), QStringLiteral("bph77"), QStringLiteral("mr7")};

    QStringList got;
    for (const ScoredCandidate& s : scoreDuplicates(typed, candidates)) {
        got.append(QStringLiteral("%1 %2 %3").arg(s.candidate->patient.account).arg(s.score, 0, 'f', 2)
                       .arg(s.reasons.join(QLatin1Char('/'))));
    }
    EXPECT_EQ(got, QStringList({QStringLiteral("1 1.00 SSN"), QStringLiteral("7 0.80 policy/MRN"),
                                QStringLiteral("2 0.75 names swapped/DOB"),
                                QStringLiteral("5 0.65 last name/first name/DOB one digit off"),
                                QStringLiteral("6 0.65 last name/first name/DOB one digit off"),
                                QStringLiteral("3 0.55 last name sounds alike/nickname/DOB day and month swapped")}))
        << got.join(QStringLiteral("; ")).toStdString();
}

// Catches a date, phone or SSN typed in the one box read as a name or an account (or the
// other way round), and a text no key reads taken for one.
TEST(TextShapeTest, shouldReadWhatATypedTextIs)
{
    const struct { const char* typed; TextShape::Kind kind; const char* value; } cases[] = {
        {"02/10/1969", TextShape::DateOfBirth, "02/10/1969"}, {"2/10/69", TextShape::DateOfBirth, "02/10/1969"},
        {"1969-02-10", TextShape::DateOfBirth, "02/10/1969"}, {"02101969", TextShape::DateOfBirth, "02/10/1969"},
        {"Feb 10 1969", TextShape::DateOfBirth, "02/10/1969"}, {"123-45-6789", TextShape::Ssn, "123-45-6789"},
        {"123456789", TextShape::Ssn, "123-45-6789"}, {"6104", TextShape::SsnLastFour, "6104"},
        {"217-670-8292", TextShape::Phone, "(217) 670-8292"}, {"(217) 670-8292", TextShape::Phone, "(217) 670-8292"},
        {"1 217 670 8292", TextShape::Phone, "(217) 670-8292"}, {"670-8292", TextShape::Phone, "670-8292"},
        {"116286", TextShape::Other, ""}, {"1969", TextShape::SsnLastFour, "1969"}, {"02/30/1969", TextShape::Other, ""},
        {"12-34", TextShape::Other, ""}, {"smith 2", TextShape::Other, ""}, {"", TextShape::Other, ""},
    };
    for (const auto& c : cases) {
        const TextShape shape = textShape(QString::fromLatin1(c.typed));
        EXPECT_EQ(shape.kind, c.kind) << c.typed;
        EXPECT_EQ(shape.value.toStdString(), c.value) << c.typed;
    }
    const TextShape name = textShape(QStringLiteral("  o'brien,  mary ann "));
    EXPECT_EQ(name.kind, TextShape::Name);
    EXPECT_EQ(name.last, QStringLiteral("O'BRIEN"));
    EXPECT_EQ(name.first, QStringLiteral("MARY ANN"));
    EXPECT_EQ(textShape(QString(1 << 20, QLatin1Char('7'))).kind, TextShape::Other);
}

// Catches a continuation key that widens the search it continues, a partial surname's pages
// that repeat or skip a patient, and the recent list offered without saying what it is.
TEST_P(SearchRulesTest, shouldStayInsideTheSearchItContinues)
{
    SearchQuery q;
    q.key = SearchKey::PatientName;
    q.text = QStringLiteral("SMITH");
    q.pageSize = 2;
    // A position of the first pass (hex-coded parts), forged to begin at "A", before every name.
    q.after = QStringLiteral("N30.41..30.30");
    const SearchPage page = store->search(q);
    for (const PatientRow& r : page.rows)
        EXPECT_TRUE(foldName(r.last).startsWith(QLatin1String("SMITH"))) << r.last.toStdString();

    // A partial surname with a first name, page after page: every match once, in name order.
    q.text = QStringLiteral("sm jo");
    q.after.clear();
    q.pageSize = 4;
    QList<qint64> listed;
    for (int pages = 0; pages < 20; ++pages) {
        const SearchPage more = store->search(q);
        for (const PatientRow& r : more.rows)
            listed.append(r.account);
        if (more.next.isEmpty())
            break;
        q.after = more.next;
    }
    QList<qint64> smithJo{100002};
    for (qint64 a = 100010; a < 100035; ++a)
        smithJo.append(a);
    smithJo.append(100009);
    EXPECT_EQ(listed.mid(0, smithJo.size()), smithJo);
    EXPECT_EQ(QSet<qint64>(listed.cbegin(), listed.cend()).size(), listed.size());

    store->rememberChoice(QStringLiteral("desk"), 100004);
    const Page recent = first(SearchKey::PatientName, QString());
    EXPECT_EQ(recent.accounts, QList<qint64>{100004});
    EXPECT_EQ(recent.notice.toStdString(), "Recently chosen patients");
}

// Catches the duplicate check missing a nickname (BOB for ROBERT), flooding a common name
// without saying how many were left out, and cutting the right patient among equals.
TEST_P(SearchRulesTest, shouldFindDuplicatesByNicknameAndSayWhatWasLeftOut)
{
    PracticeHostLink link(store);
    const auto rows = [&](const QString& name, const QString& dob) {
        return link.answer(QStringLiteral("|GET|DUPPAT|\t\t") + name + QLatin1Char('\t') + dob + QStringLiteral("\t\t"));
    };
    const QStringList bob = rows(QStringLiteral("SMITH,BOB"), QStringLiteral("03/14/1970"));
    ASSERT_GE(bob.size(), 3);
    EXPECT_TRUE(bob[1].startsWith(QLatin1String("|GR|0|100001\t"))) << bob[1].toStdString();
    EXPECT_TRUE(bob[1].contains(QLatin1String("nickname")));

    const QStringList common = rows(QStringLiteral("SMITH,JOHN"), QStringLiteral("07/01/1962"));
    // Header, 20 candidates, the end; the heading says how many were left out.
    ASSERT_EQ(common.size(), 22);
    EXPECT_TRUE(common[0].contains(QLatin1String("more not shown"))) << common[0].toStdString();
    // Equal names: the same date of birth first.
    EXPECT_TRUE(common[1].startsWith(QLatin1String("|GR|0|100002\t")) || common[1].startsWith(QLatin1String("|GR|0|100027\t")))
        << common[1].toStdString();

    // A date of birth that is no date (year 0) is no date, not a crash.
    EXPECT_GE(rows(QStringLiteral("SMITH,JOHN"), QStringLiteral("0000")).size(), 2);

    // Nobody: no rows, so no window; the host says so.
    const QStringList none = rows(QStringLiteral("QQQQQ,ZZZZ"), QStringLiteral("01/01/2001"));
    EXPECT_EQ(none.size(), 2);
}

INSTANTIATE_TEST_SUITE_P(Stores, SearchRulesTest, ::testing::Values(Backend::Sqlite, Backend::Postgres),
                         test::backendName);
