#include "download.h"

#include "component/conversions.h"
#include "component/references.h"
#include "component/runtimeerror.h"
#include "component/strings.h"
#include "platform/ansi.h"
#include "platform/messagebox.h"
#include "platform/trap.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace zelvar::component;

namespace zelvar::services {

namespace {

const QString kSaveTitle = QStringLiteral("Download and Save");

bool isPlainFileName(const QString& name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
        && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) && !name.contains(QChar(0));
}

QString alreadyOpen(const QString& fileName, const QString& folder)
{
    return crlf + crlf + QStringLiteral("Please check if file ") + fileName + QStringLiteral(" in ") + folder
        + QStringLiteral(" is already open.");
}

QString explanation(int code, const QString& fileName, const QString& folder)
{
    switch (code) {
    case EACCES:
    case EPERM:
        return QStringLiteral("Access is denied.");
    case ETXTBSY:
        return QStringLiteral("ERROR_SHARING_VIOLATION: The process cannot access the file because it is being used "
                              "by another process.")
            + alreadyOpen(fileName, folder);
    case EWOULDBLOCK:
        return QStringLiteral("ERROR_LOCK_VIOLATION: The process cannot access the file because another process has "
                              "locked a portion of the file.")
            + alreadyOpen(fileName, folder);
    default:
        return QStringLiteral("Err. # ") + str(code);
    }
}

void cannotCreate(const QString& fileName, const QString& folder, int code)
{
    platform::messageBox(QStringLiteral("Cannot create file ") + fileName + QStringLiteral(" in ") + folder
                             + QLatin1Char('.') + crlf + crlf + explanation(code, fileName, folder),
                         platform::Critical, kSaveTitle);
}

// The joined file text of a transfer: the size line dropped, every "|OK||" removed, and the
// end marker removed from the last message only.
QString fileText(QStringList replies)
{
    replies[0].clear();
    for (qsizetype i = 1; i < replies.size(); ++i)
        replies[i].remove(QStringLiteral("|OK||"));
    replies.last().remove(QStringLiteral("|END|"));
    return replies.join(QString());
}

// The bytes of the file text. An XML file is written in the encoding its declaration names
// (UTF-8 when it names none, as XML reads it), so that it reads back as it was sent; any other
// text in Windows-1252.
QByteArray encodeFileText(const QString& text)
{
    QString start = text.left(200);
    if (start.startsWith(QChar(0xFEFF)))
        start.remove(0, 1);
    start = start.trimmed();
    if (!start.startsWith(QLatin1Char('<')))
        return platform::toAnsi(text);
    static const QRegularExpression declared(QStringLiteral("^<\\?xml[^>]*\\sencoding\\s*=\\s*[\"']([A-Za-z0-9._-]+)[\"']"));
    const QString name = declared.match(start).captured(1).toLower();
    if (name.isEmpty() || name == QLatin1String("utf-8") || name == QLatin1String("utf8"))
        return text.toUtf8();
    if (name == QLatin1String("iso-8859-1") || name == QLatin1String("latin1") || name == QLatin1String("iso_8859-1"))
        return text.toLatin1();
    // Windows-1252, and names this component does not write, as before.
    return platform::toAnsi(text);
}

// The name is free, or a regular file's: anything else there (a folder, a link, a pipe, a
// device) is never written through or waited on.
bool regularFileOrNothing(const QByteArray& path, struct stat& present)
{
    if (::lstat(path.constData(), &present) != 0)
        return errno == ENOENT;
    return S_ISREG(present.st_mode);
}

// Temporary files of downloads that were killed part way: each download holds a lock on its
// own while it writes, so one that can be locked belongs to nobody any more.
void removeStaleTemporaries(const QString& fileName, const QString& folder)
{
    const QString prefix = QLatin1Char('.') + fileName + QLatin1Char('.');
    const QStringList names = QDir(folder).entryList({prefix + QStringLiteral("??????")},
                                                     QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        const QByteArray path = QFile::encodeName(folder + QLatin1Char('/') + name);
        const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat info {};
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlink(path.constData());
        ::close(fd);
    }
}

// Another process holding a lock on the present file counts as a lock violation.
int lockedByAnother(const QByteArray& path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return 0;
    int code = 0;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        code = EWOULDBLOCK;
    else
        ::flock(fd, LOCK_UN);
    ::close(fd);
    return code;
}

bool writeAll(int fd, const QByteArray& bytes)
{
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        left -= n;
    }
    return ::fsync(fd) == 0;
}

// Writes the text beside the target and moves it into place only when all of it is written.
// Returns true when the file was replaced; otherwise the old file is untouched and the user
// has been told why.
bool replaceFile(const QString& fileName, const QString& folder, const QString& text)
{
    if (!isPlainFileName(fileName)) {
        cannotCreate(fileName, folder, EACCES);
        return false;
    }
    const QByteArray path = QFile::encodeName(folder + QLatin1Char('/') + fileName);
    struct stat present {};
    if (!regularFileOrNothing(path, present)) {
        // A folder cannot be created over, and a link, a pipe or a device is not written
        // through: all are told as the system tells a folder.
        cannotCreate(fileName, folder, EACCES);
        return false;
    }
    const bool replacing = S_ISREG(present.st_mode);
    if (const int locked = replacing ? lockedByAnother(path) : 0) {
        cannotCreate(fileName, folder, locked);
        return false;
    }
    removeStaleTemporaries(fileName, folder);
    QByteArray temporary = QFile::encodeName(folder + QStringLiteral("/.") + fileName + QStringLiteral(".XXXXXX"));
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        cannotCreate(fileName, folder, errno);
        return false;
    }
    // Held until the file is in place: a temporary nobody holds is a killed download's.
    ::flock(fd, LOCK_EX);
    // The file keeps the mode it had, made writable for its owner as a read-only file is
    // before it is replaced; a new one gets the usual 0644.
    ::fchmod(fd, replacing ? ((present.st_mode & 07777) | S_IWUSR) : 0644);
    const bool written = writeAll(fd, encodeFileText(text));
    const int writeError = errno;
    const bool moved = written && ::rename(temporary.constData(), path.constData()) == 0;
    const int code = written ? errno : writeError;
    if (!moved)
        ::unlink(temporary.constData());
    ::close(fd);
    if (!moved) {
        platform::messageBox(QStringLiteral("Cannot write to file ") + fileName + QStringLiteral(" in ") + folder
                                 + QLatin1Char('.') + crlf + QStringLiteral("Err. # ") + str(code),
                             platform::OkOnly, kSaveTitle);
        return false;
    }
    return true;
}

} // namespace

bool DownloadAndSave(const QString& FileName, const QString& ServerFolder, const QString& LocalFolder)
{
    bool result = false;
    const bool ran = platform::trapAndReport([&] {
        const QString request = QStringLiteral("|GET|FILE|") + FileName + QLatin1Char('|') + ServerFolder;
        QStringList replies;
        QString fourth;
        if (!hostLink().GetServerStringData(request, replies, QString(), fourth)) {
            platform::messageBox(QStringLiteral("Comm. error. "), platform::Critical,
                                 QStringLiteral("File Download Error"));
            return;
        }
        const QString title = utils().GetMessageTitle();
        QString size = element(replies, 0);
        size.remove(QStringLiteral("|OK||"));
        if (!IsNumeric(size)) {
            platform::messageBox(size.isEmpty() ? QStringLiteral("Invalid format: file size not received.") : size,
                                 platform::OkOnly, title);
            return;
        }
        const QString text = fileText(replies);
        if (text.isEmpty()) {
            platform::messageBox(QStringLiteral("No data for file '") + FileName
                                     + QStringLiteral("' with current selection."),
                                 platform::Information, title);
            return;
        }
        if (utils().IsDebugMode()) {
            platform::messageBox(QStringLiteral("SIZE: ") + str(text.size()) + crlf + text,
                                 platform::OkOnly,
                                 QStringLiteral("FILE ") + FileName + QStringLiteral(" in ") + ServerFolder);
        }
        result = replaceFile(FileName, LocalFolder, text);
    }, QStringLiteral("ERR in DownloadAndSave, "), platform::Beep::Yes);
    return ran && result;
}

} // namespace zelvar::services
