// Downloading a server file into a local folder: the transfer's joining rules, every message,
// and a replacement that never leaves a broken file behind.
#include "componentfixture.h"
#include "ownprocess.h"

#include "services/download.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace zelvar;
using namespace zelvar::test;

namespace {

class DownloadTest : public ComponentFixture
{
protected:
    QString path() const { return folder.path() + QStringLiteral("/PR.xsl"); }
    QByteArray contents() const
    {
        QFile f(path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void write(const QByteArray& bytes) const
    {
        QFile f(path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    bool download(const QStringList& replies)
    {
        server->answer(QStringLiteral("|GET|FILE|PR.xsl|FORMS"), replies);
        return services::DownloadAndSave(QStringLiteral("PR.xsl"), QStringLiteral("FORMS"), folder.path());
    }

    QTemporaryDir folder;
};

} // namespace

// Catches the size line written into the file, "|OK||" left in data, "|END|" removed from
// anywhere but the last message, and a file not replaced.
TEST_F(DownloadTest, shouldJoinTheTransferAndReplaceTheFile)
{
    write("old contents that are longer");
    EXPECT_TRUE(download({QStringLiteral("|OK||120"), QStringLiteral("|OK||abc"), QStringLiteral("|OK||def|END|")}));
    EXPECT_EQ(contents(), QByteArray("abcdef"));
    EXPECT_EQ(server->requests().last(), QStringLiteral("|GET|FILE|PR.xsl|FORMS"));

    EXPECT_TRUE(download({QStringLiteral("|OK||120"), QStringLiteral("|OK||a|OK||b|END|")}));
    EXPECT_EQ(contents(), QByteArray("ab"));
    EXPECT_TRUE(download({QStringLiteral("|OK||9"), QStringLiteral("x|END|y"), QStringLiteral("z|END|")}));
    EXPECT_EQ(contents(), QByteArray("x|END|yz"));

    // Written in Windows-1252: one byte a character.
    EXPECT_TRUE(download({QStringLiteral("|OK||3"), QStringLiteral("\u00E9\u20AC|END|")}));
    EXPECT_EQ(contents(), QByteArray("\xE9\x80"));
    EXPECT_TRUE(platform.boxes.isEmpty());
}

// Catches each refusal's message, title and icon, and a file created where none should be.
TEST_F(DownloadTest, shouldTellTheUserWhyNothingWasSaved)
{
    const struct { QStringList replies; const char* prompt; int style; } cases[] = {
        {{QStringLiteral("|OK||120")}, "No data for file 'PR.xsl' with current selection.", 64},
        {{QStringLiteral("|OK||Access denied for user")}, "Access denied for user", 0},
        {{QStringLiteral("|OK||"), QStringLiteral("data")}, "Invalid format: file size not received.", 0},
    };
    for (const auto& c : cases) {
        platform.boxes.clear();
        EXPECT_FALSE(download(c.replies));
        ASSERT_EQ(platform.boxes.size(), 1);
        EXPECT_EQ(platform.boxes[0].prompt, QString::fromLatin1(c.prompt));
        EXPECT_EQ(platform.boxes[0].style, c.style);
        EXPECT_EQ(platform.boxes[0].title, utils->messageTitle);
    }
    EXPECT_FALSE(QFile::exists(path()));

    platform.boxes.clear();
    server->fail(QStringLiteral("|GET|FILE|"), host::ScriptedHostLink::Failure::NotAnswered);
    EXPECT_FALSE(services::DownloadAndSave(QStringLiteral("PR.xsl"), QStringLiteral("FORMS"), folder.path()));
    EXPECT_EQ(platform.boxes.value(0).prompt, QStringLiteral("Comm. error. "));
    EXPECT_EQ(platform.boxes.value(0).title, QStringLiteral("File Download Error"));
    EXPECT_EQ(platform.boxes.value(0).style, 16);
}

// Catches an empty reply array escaping as an exception instead of the run-time error path.
TEST_F(DownloadTest, shouldReportAnEmptyTransfer)
{
    EXPECT_FALSE(download({}));
    EXPECT_EQ(platform.events.value(0), QStringLiteral("beep"));
    EXPECT_EQ(utils->reports, QStringList({QStringLiteral("ERR in DownloadAndSave, Subscript out of range")}));
}

// Catches the debug preview showing the server's size instead of the text's own.
TEST_F(DownloadTest, shouldPreviewTheTextInDebugMode)
{
    qputenv("ZELVAR_DEBUG", "1");
    EXPECT_TRUE(download({QStringLiteral("|OK||999"), QStringLiteral("abcd|END|")}));
    qunsetenv("ZELVAR_DEBUG");
    ASSERT_EQ(platform.boxes.size(), 1);
    EXPECT_EQ(platform.boxes[0].prompt, QStringLiteral("SIZE: 4\r\nabcd"));
    EXPECT_EQ(platform.boxes[0].title, QStringLiteral("FILE PR.xsl in FORMS"));
}

// Catches a read-only target left in place, and a replacement that is not writable by its owner.
TEST_F(DownloadTest, shouldReplaceAReadOnlyTarget)
{
    write("old");
    ASSERT_EQ(::chmod(QFile::encodeName(path()).constData(), 0444), 0);
    EXPECT_TRUE(download({QStringLiteral("|OK||3"), QStringLiteral("new|END|")}));
    EXPECT_EQ(contents(), QByteArray("new"));
    EXPECT_EQ(QFileInfo(path()).permissions() & 0x7777, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser
                  | QFile::WriteUser | QFile::ReadGroup | QFile::ReadOther);

    // Any other mode is kept as it was: a private file stays private.
    ASSERT_EQ(::chmod(QFile::encodeName(path()).constData(), 0600), 0);
    EXPECT_TRUE(download({QStringLiteral("|OK||3"), QStringLiteral("two|END|")}));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
}

// Catches a style sheet with letters outside ASCII written in Windows-1252 while it declares
// UTF-8 (the parser then refuses it, and it is never fetched again).
TEST_F(DownloadTest, shouldWriteTextInTheEncodingItDeclares)
{
    const struct { const char* text; QByteArray bytes; } cases[] = {
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?><n>M\u00FCller</n>", "<?xml version=\"1.0\" encoding=\"UTF-8\"?><n>M\xC3\xBCller</n>"},
        {"<?xml version='1.0'?><n>M\u00FCller</n>", "<?xml version='1.0'?><n>M\xC3\xBCller</n>"},
        {"<n>M\u00FCller \u20AC</n>", "<n>M\xC3\xBCller \xE2\x82\xAC</n>"},
        {"<?xml version=\"1.0\" encoding=\"windows-1252\"?><n>M\u00FCller \u20AC</n>",
         "<?xml version=\"1.0\" encoding=\"windows-1252\"?><n>M\xFCller \x80</n>"},
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><n>M\u00FCller</n>", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><n>M\xFCller</n>"},
        {"M\u00FCller \u20AC", "M\xFCller \x80"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(download({QStringLiteral("|OK||1"), QString::fromUtf8(c.text) + QStringLiteral("|END|")})) << c.text;
        EXPECT_EQ(contents(), c.bytes) << c.text;
    }
}

// Catches a pipe at the target's name blocking the download for ever, a folder or a link
// there written through or told in words of our own instead of the system's for a folder,
// and a killed download's temporary file left behind for good while a live one's is kept.
TEST_F(DownloadTest, shouldReplaceOnlyARegularFileAndClearKilledDownloads)
{
    const QString denied = QStringLiteral("Cannot create file PR.xsl in ") + folder.path()
        + QStringLiteral(".\r\n\r\nAccess is denied.");
    ASSERT_EQ(::mkfifo(QFile::encodeName(path()).constData(), 0600), 0);
    IN_OWN_PROCESS(5, {
        EXPECT_FALSE(download({QStringLiteral("|OK||1"), QStringLiteral("x|END|")}));
        EXPECT_EQ(platform.boxes.value(0).prompt, denied);
    });
    ::unlink(QFile::encodeName(path()).constData());
    QTemporaryDir elsewhere;
    ASSERT_TRUE(QFile::link(elsewhere.filePath(QStringLiteral("target")), path()));
    EXPECT_FALSE(download({QStringLiteral("|OK||1"), QStringLiteral("x|END|")}));
    EXPECT_FALSE(QFile::exists(elsewhere.filePath(QStringLiteral("target"))));
    EXPECT_EQ(platform.boxes.value(platform.boxes.size() - 1).prompt, denied);
    ::unlink(QFile::encodeName(path()).constData());
    ASSERT_TRUE(QDir().mkdir(path()));
    EXPECT_FALSE(download({QStringLiteral("|OK||1"), QStringLiteral("x|END|")}));
    EXPECT_EQ(platform.boxes.value(platform.boxes.size() - 1).prompt, denied);
    ASSERT_TRUE(QDir().rmdir(path()));

    const QString killed = folder.filePath(QStringLiteral(".PR.xsl.k1lled"));
    const QString live = folder.filePath(QStringLiteral(".PR.xsl.l1ving"));
    for (const QString& name : {killed, live}) {
        QFile f(name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("part");
    }
    const int held = ::open(QFile::encodeName(live).constData(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    EXPECT_TRUE(download({QStringLiteral("|OK||1"), QStringLiteral("x|END|")}));
    EXPECT_FALSE(QFile::exists(killed));
    EXPECT_TRUE(QFile::exists(live));
    ::close(held);
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);   // PR.xsl and the live one
}

// Catches a name that reaches outside the folder, and a folder that cannot be written
// reported in other words than the file errors'.
TEST_F(DownloadTest, shouldRefuseNamesOutsideTheFolderAndMissingFolders)
{
    server->answer(QStringLiteral("|GET|FILE|../evil.xsl|FORMS"), {QStringLiteral("|OK||1"), QStringLiteral("x|END|")});
    EXPECT_FALSE(services::DownloadAndSave(QStringLiteral("../evil.xsl"), QStringLiteral("FORMS"), folder.path()));
    EXPECT_EQ(platform.boxes.value(0).prompt, QStringLiteral("Cannot create file ../evil.xsl in ") + folder.path()
                                                  + QStringLiteral(".\r\n\r\nAccess is denied."));
    EXPECT_EQ(platform.boxes.value(0).title, QStringLiteral("Download and Save"));
    EXPECT_FALSE(QFile::exists(folder.path() + QStringLiteral("/../evil.xsl")));

    platform.boxes.clear();
    const QString missing = folder.path() + QStringLiteral("/no/such/folder");
    server->answer(QStringLiteral("|GET|FILE|PR.xsl|FORMS"), {QStringLiteral("|OK||1"), QStringLiteral("x|END|")});
    EXPECT_FALSE(services::DownloadAndSave(QStringLiteral("PR.xsl"), QStringLiteral("FORMS"), missing));
    EXPECT_EQ(platform.boxes.value(0).prompt,
              QStringLiteral("Cannot create file PR.xsl in ") + missing + QStringLiteral(".\r\n\r\nErr. # 2"));
}

// Catches a write that fails part-way (here a file-size limit) leaving a truncated file or
// reporting success: the previous file must stay byte for byte.
TEST_F(DownloadTest, shouldKeepThePreviousFileWhenTheWriteFails)
{
    const QByteArray previous("previous style sheet, byte for byte");
    write(previous);
    server->answer(QStringLiteral("|GET|FILE|PR.xsl|FORMS"),
                   {QStringLiteral("|OK||4096"), QString(4096, QLatin1Char('n')) + QStringLiteral("|END|")});

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{1024, 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        QString prompt;
        platform::setMessageBoxHandler([&](const QString& p, int, const QString&) {
            prompt = p;
            return 1;
        });
        const bool saved = services::DownloadAndSave(QStringLiteral("PR.xsl"), QStringLiteral("FORMS"), folder.path());
        const bool told = prompt.startsWith(QStringLiteral("Cannot write to file PR.xsl in "));
        ::_exit(!saved && told ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(contents(), previous);
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList({QStringLiteral("PR.xsl")}));
}
