// The wire format document against the server that answers it: every search key word and
// request kind docs/protocol.md lists is one the server takes, read from the document itself.
#include "practicestores.h"

#include "practice/practicehostlink.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace zelvar;
using namespace zelvar::practice;
using namespace zelvar::test;

namespace {

QString document()
{
    QFile file(QStringLiteral(ZELVAR_DOCS_DIR "/protocol.md"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The rows of the table under a heading: each row's cells, as written.
QList<QStringList> tableUnder(const QString& text, const QString& heading)
{
    QList<QStringList> rows;
    const qsizetype at = text.indexOf(QStringLiteral("\n## ") + heading + QLatin1Char('\n'));
    if (at < 0)
        return rows;
    const QString section = text.mid(at + 1).section(QStringLiteral("\n## "), 0, 0);
    for (const QString& line : section.split(QLatin1Char('\n'))) {
        if (!line.startsWith(QLatin1String("| `")))
            continue;
        QString unescaped = line;
        unescaped.replace(QStringLiteral("\\|"), QStringLiteral("\u0001"));
        QStringList cells = unescaped.split(QLatin1Char('|'), Qt::SkipEmptyParts);
        for (QString& c : cells)
            c = c.trimmed().replace(QChar(1), QLatin1Char('|'));
        rows.append(cells);
    }
    return rows;
}

QString code(const QString& cell)
{
    static const QRegularExpression quoted(QStringLiteral("`([^`]*)`"));
    QString last;
    for (const QRegularExpressionMatch& m : quoted.globalMatch(cell))
        last = m.captured(1);
    return last;
}

} // namespace

// Catches a document that lists a key word or request the server does not take (or leaves out
// one it does): a host written from it would be refused. A word it does not list is refused,
// so the check can fail.
TEST(ProtocolDocumentTest, shouldListOnlyWhatTheServerTakes)
{
    const QString text = document();
    ASSERT_FALSE(text.isEmpty()) << "docs/protocol.md cannot be read";
    QTemporaryDir folder;
    const std::shared_ptr<SqlStore> store = freshStore(Backend::Sqlite, folder);
    store->generate(300, 5);
    PracticeHostLink link(store, QStringLiteral("CLERK"), QStringLiteral("DESK"));

    const QList<QStringList> keys = tableUnder(text, QStringLiteral("Search key words"));
    EXPECT_EQ(keys.size(), 12);
    for (const QStringList& row : keys) {
        const QString caption = code(row.value(0));
        const QString example = code(row.value(2));
        const QStringList reply = link.answer(QStringLiteral("|GET|KEY|") + example + QLatin1Char('|') + caption + QLatin1Char('|'));
        EXPECT_TRUE(reply.value(0).startsWith(QLatin1String("|OK||H"))) << caption.toStdString() << ": " << reply.value(0).toStdString();
        EXPECT_FALSE(reply.join(QString()).contains(QLatin1String("cannot search by"))) << caption.toStdString();
    }
    EXPECT_TRUE(link.answer(QStringLiteral("|GET|KEY|SMITH|&FOO|")).value(0).contains(QLatin1String("cannot search by")));

    const QList<QStringList> requests = tableUnder(text, QStringLiteral("Request strings"));
    EXPECT_EQ(requests.size(), 9);
    for (const QStringList& row : requests) {
        // The request as written, with a value in each of its upper-case placeholders.
        QString request = code(row.value(0));
        request.replace(QStringLiteral("<TAB>"), QStringLiteral("\t"));
        request.replace(QRegularExpression(QStringLiteral("\\b(ACCOUNT|NEXT)\\b")), QStringLiteral("100001"));
        request.replace(QRegularExpression(QStringLiteral("\\b(TEXT|NAME|LAST)\\b")), QStringLiteral("SMITH"));
        request.replace(QStringLiteral("CAPTION"), QStringLiteral("&PAT NAME"));
        request.replace(QStringLiteral("TABLE"), QStringLiteral("GENDER"));
        request.replace(QStringLiteral("FOLDER"), QStringLiteral("XSL"));
        const QString said = link.answer(request).join(QLatin1Char('\n'));
        EXPECT_FALSE(said.contains(QLatin1String("has no request of kind")) || said.contains(QLatin1String("does not understand")))
            << request.toStdString() << ": " << said.left(200).toStdString();
    }
}
