// The per-user value store.
#include "component/runtimeerror.h"

#include <zelvar/registry.h>

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <QFile>

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <sys/wait.h>
#include <unistd.h>

using namespace zelvar;

namespace {

const QString kKey = QStringLiteral("Software\\Microsoft\\Internet Explorer\\PageSetup");

class RegistryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(config.isValid());
        saved = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    }
    void TearDown() override { qputenv("XDG_CONFIG_HOME", saved); }

    QString storeFile() const { return config.path() + QStringLiteral("/ZelvarPatLookup/registry.db"); }

    QTemporaryDir config;
    QByteArray saved;
};

} // namespace

// Catches numbers stored as text, texts not trimmed, the empty text not stored, and the wrong
// kind read back.
TEST_F(RegistryTest, shouldStoreTextsAndNumbersByTheirShape)
{
    const struct { QVariant in; QVariant out; } cases[] = {
        {QStringLiteral("Patient Record &bAcc# 77"), QStringLiteral("Patient Record &bAcc# 77")},
        {QStringLiteral("  padded  "), QStringLiteral("padded")},
        {QStringLiteral("42"), qint32(42)},
        {QStringLiteral("-3.5"), qint32(-4)},
        {QStringLiteral("2.5"), qint32(2)},
        {qint32(5), qint32(5)},
        {QString(), QString()},
    };
    for (const auto& c : cases) {
        SetRegValue(HKEY_CURRENT_USER, kKey, QStringLiteral("header"), c.in);
        const QVariant out = QueryRegValue(HKEY_CURRENT_USER, kKey, QStringLiteral("header"));
        EXPECT_EQ(out.typeId(), c.out.typeId()) << c.in.toString().toStdString();
        EXPECT_EQ(out, c.out) << c.in.toString().toStdString();
    }
}

// Catches a missing key or value answering anything but the empty text, and key paths or
// names compared with regard to case.
TEST_F(RegistryTest, shouldAnswerTheEmptyTextForWhatIsNotThere)
{
    EXPECT_EQ(QueryRegValue(HKEY_CURRENT_USER, QStringLiteral("No\\Such\\Key"), QStringLiteral("x")), QVariant(QString()));
    SetRegValue(HKEY_CURRENT_USER, QStringLiteral("New\\Key"), QStringLiteral("Footer"), QStringLiteral("&u&b&d"));
    EXPECT_EQ(QueryRegValue(HKEY_CURRENT_USER, QStringLiteral("new\\KEY"), QStringLiteral("footer")),
              QVariant(QStringLiteral("&u&b&d")));
    EXPECT_EQ(QueryRegValue(HKEY_CURRENT_USER, QStringLiteral("New\\Key"), QStringLiteral("other")), QVariant(QString()));
}

// Catches a number beyond 32 bits stored wrapped instead of raising Overflow.
TEST_F(RegistryTest, shouldRaiseOverflowBeyondThirtyTwoBits)
{
    EXPECT_THROW(SetRegValue(HKEY_CURRENT_USER, kKey, QStringLiteral("n"), QStringLiteral("4294967296")), component::RuntimeError);
    EXPECT_EQ(QueryRegValue(HKEY_CURRENT_USER, kKey, QStringLiteral("n")), QVariant(QString()));
}

// Catches a store that is not a plain SQLite database that the sqlite3 tool can read.
TEST_F(RegistryTest, shouldKeepAPlainSqliteDatabase)
{
    SetRegValue(HKEY_CURRENT_USER, kKey, QStringLiteral("header"), QStringLiteral("abc"));
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    if (tool.isEmpty())
        GTEST_SKIP() << "the sqlite3 tool is not installed";
    QProcess sqlite;
    sqlite.start(tool, {storeFile(), QStringLiteral("SELECT name, data FROM vals;")});
    ASSERT_TRUE(sqlite.waitForFinished(10000));
    EXPECT_EQ(sqlite.readAllStandardOutput().trimmed(), QByteArray("header|abc"));
}

// Catches a write lost (or failing at once) while another process holds the store busy: the
// write waits for it.
TEST_F(RegistryTest, shouldWaitForAStoreHeldBusy)
{
    SetRegValue(HKEY_CURRENT_USER, kKey, QStringLiteral("created"), 1);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        sqlite3* db = nullptr;
        sqlite3_open(QFile::encodeName(storeFile()).constData(), &db);
        sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
        const char go = 'x';
        ::write(ready[1], &go, 1);
        ::usleep(700'000);   // hold the store for a while, then let go
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        ::_exit(0);
    }
    char go = 0;
    ASSERT_EQ(::read(ready[0], &go, 1), 1);
    SetRegValue(HKEY_CURRENT_USER, kKey, QStringLiteral("busy"), QStringLiteral("written"));
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(QueryRegValue(HKEY_CURRENT_USER, kKey, QStringLiteral("busy")), QVariant(QStringLiteral("written")));
}

// Catches lost writes when two processes write the store at the same time.
TEST_F(RegistryTest, shouldLoseNothingWhenTwoProcessesWrite)
{
    constexpr int kValues = 150;
    SetRegValue(HKEY_CURRENT_USER, kKey, QStringLiteral("created"), 1);
    pid_t children[2];
    for (int p = 0; p < 2; ++p) {
        children[p] = ::fork();
        ASSERT_GE(children[p], 0);
        if (children[p] == 0) {
            for (int i = 0; i < kValues; ++i)
                SetRegValue(HKEY_CURRENT_USER, kKey, QStringLiteral("p%1_%2").arg(p).arg(i), i);
            ::_exit(0);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int p = 0; p < 2; ++p) {
        for (int i = 0; i < kValues; ++i)
            ASSERT_EQ(QueryRegValue(HKEY_CURRENT_USER, kKey, QStringLiteral("p%1_%2").arg(p).arg(i)), QVariant(qint32(i)));
    }
}
