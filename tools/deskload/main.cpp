// zelvar-desk-load: one desk's traffic against the practice server, for the load tests and
// measurements. Searches (each first page, and every other time the page after it) or
// recorded choices; prints what was answered and how fast, and fails when anything was not.
#include "host/networkhostlink.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <random>

using zelvar::host::NetworkHostLink;
using zelvar::host::NetworkSettings;

namespace {

// What desks search by: common and rare name beginnings, dates, phone tails, accounts.
QString searchRequest(std::mt19937& random)
{
    static const char* const names[] = {"SMITH", "JOHNSON", "WILLIAMS", "BROWN", "JONES", "GARCIA", "MILLER", "DAVIS",
                                        "RODRIGUEZ", "MARTINEZ", "S", "MA", "JO", "WIL", "SMITH,J", "BROWN,M"};
    switch (random() % 4) {
    case 0:
    case 1: return QStringLiteral("|GET|KEY|%1|&PAT NAME|").arg(QLatin1String(names[random() % std::size(names)]));
    case 2: return QStringLiteral("|GET|KEY|%1/%2/%3|&DOB|").arg(1 + random() % 12, 2, 10, QLatin1Char('0'))
                .arg(1 + random() % 28, 2, 10, QLatin1Char('0')).arg(1950 + random() % 60);
    default: return QStringLiteral("|GET|KEY|%1|&ACCT#|").arg(100001 + random() % 1000);
    }
}

// The continuation key of a page: its last reply, when more rows follow.
QString continuation(const QStringList& replies)
{
    const QString last = replies.value(replies.size() - 1);
    const QString key = last.startsWith(QLatin1String("|OK||")) ? last.mid(5) : QString();
    return key.size() >= 3 ? key : QString();
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[size_t(std::min<double>(double(values.size() - 1), p * double(values.size())))];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("One desk's traffic against the practice server."));
    parser.addHelpOption();
    const QCommandLineOption server(QStringLiteral("server"), QStringLiteral("https://HOST:PORT"), QStringLiteral("url"));
    const QCommandLineOption token(QStringLiteral("token"), QStringLiteral("The desk's token."), QStringLiteral("token"));
    const QCommandLineOption pin(QStringLiteral("pin"), QStringLiteral("The server's certificate fingerprint."), QStringLiteral("sha256"));
    const QCommandLineOption searches(QStringLiteral("searches"), QStringLiteral("How many searches."), QStringLiteral("n"), QStringLiteral("0"));
    const QCommandLineOption choices(QStringLiteral("choices"), QStringLiteral("How many choices to record."), QStringLiteral("n"), QStringLiteral("0"));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("The clerk's name."), QStringLiteral("name"), QStringLiteral("LOAD"));
    const QCommandLineOption seed(QStringLiteral("seed"), QStringLiteral("Random seed."), QStringLiteral("n"), QStringLiteral("1"));
    parser.addOptions({server, token, pin, searches, choices, user, seed});
    parser.process(app);

    NetworkSettings settings;
    settings.server = QUrl(parser.value(server));
    settings.token = parser.value(token);
    settings.pinnedFingerprint = parser.value(pin);
    settings.user = parser.value(user);
    settings.workstation = QStringLiteral("LOAD");
    NetworkHostLink link(settings);
    std::mt19937 random(parser.value(seed).toUInt());

    std::vector<double> milliseconds;
    int failed = 0;
    QString firstFailure;
    const auto ask = [&](const QString& request, QStringList& replies) {
        QString fourth;
        QElapsedTimer timer;
        timer.start();
        const bool answered = link.GetServerStringData(request, replies, QString(), fourth);
        milliseconds.push_back(double(timer.nsecsElapsed()) / 1e6);
        const bool error = answered && replies.value(0).contains(QLatin1String("ERROR:"));
        if (!answered || error) {
            if (firstFailure.isEmpty())
                firstFailure = request + QStringLiteral(": ") + replies.join(QLatin1Char(' ')).left(300);
            ++failed;
        }
        return answered && !error;
    };

    const int searchCount = parser.value(searches).toInt();
    for (int i = 0; i < searchCount; ++i) {
        const QString request = searchRequest(random);
        QStringList replies;
        if (ask(request, replies) && i % 2 == 0) {
            const QString next = continuation(replies);
            if (!next.isEmpty())
                ask(request + next, replies);
        }
    }
    const int choiceCount = parser.value(choices).toInt();
    for (int i = 0; i < choiceCount; ++i) {
        QStringList replies;
        ask(QStringLiteral("|PUT|CHOICE|%1").arg(100001 + i), replies);
    }
    std::printf("requests %zu failed %d p50 %.2f p95 %.2f p99 %.2f ms\n", milliseconds.size(), failed,
                percentile(milliseconds, 0.50), percentile(milliseconds, 0.95), percentile(milliseconds, 0.99));
    if (!firstFailure.isEmpty())
        std::printf("first failure: %s\n", qPrintable(firstFailure));
    return failed == 0 ? 0 : 1;
}
