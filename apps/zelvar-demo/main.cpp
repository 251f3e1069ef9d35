// The demo host: a front desk on the embedded practice server.
#include "frontdesk.h"
#include "scenarios.h"

#include "host/networkhostlink.h"
#include "practice/practicehostlink.h"
#include "practice/sqlitestore.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QDockWidget>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>
#include <QScreen>
#include <QSysInfo>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace {

QString defaultDatabase()
{
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty())
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return data + QStringLiteral("/ZelvarPatLookup/practice.db");
}

struct Options
{
    QCommandLineOption db{QStringLiteral("db"), QStringLiteral("The practice database <file> (default %1).").arg(defaultDatabase()),
                          QStringLiteral("file"), defaultDatabase()};
    QCommandLineOption patients{QStringLiteral("patients"), QStringLiteral("How many patients a new database gets (default 20000)."),
                                QStringLiteral("count"), QStringLiteral("20000")};
    QCommandLineOption rebuild{QStringLiteral("rebuild"), QStringLiteral("Build the database anew.")};
    QCommandLineOption traffic{QStringLiteral("traffic"), QStringLiteral("Show the server traffic pane (View > Server traffic).")};
    QCommandLineOption scenario{QStringLiteral("scenario"),
                                QStringLiteral("Open the windows of a scenario (%1), save a picture of the window on top "
                                               "to the --screenshot file and quit.")
                                    .arg(zelvar::demo::scenarioNames().join(QStringLiteral(", "))),
                                QStringLiteral("name")};
    QCommandLineOption screenshot{QStringLiteral("screenshot"),
                                  QStringLiteral("With --scenario: the PNG <file>. Alone: a picture of the screen after --delay."),
                                  QStringLiteral("file")};
    QCommandLineOption server{QStringLiteral("server"),
                              QStringLiteral("Use the practice server at <url> (https://HOST:PORT) instead of the embedded one."),
                              QStringLiteral("url")};
    QCommandLineOption token{QStringLiteral("token"), QStringLiteral("With --server: this desk's token (or $ZELVAR_DESK_TOKEN)."),
                             QStringLiteral("token")};
    QCommandLineOption pin{QStringLiteral("pin"),
                           QStringLiteral("With --server: the server's key pin (sha256//...) or its certificate's fingerprint (SHA256:...), as init printed it."),
                           QStringLiteral("fingerprint")};
    QCommandLineOption ca{QStringLiteral("ca"), QStringLiteral("With --server: the certificates to trust (PEM <file>)."),
                          QStringLiteral("file")};
    QCommandLineOption delay{QStringLiteral("delay"), QStringLiteral("Milliseconds before a screen picture (default 800)."),
                             QStringLiteral("ms"), QStringLiteral("800")};

    void addTo(QCommandLineParser& parser)
    {
        parser.setApplicationDescription(QStringLiteral("A front desk on the Zelvar patient lookup component and an embedded "
                                                        "practice server. Ctrl+C in the terminal ends it."));
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addOptions({db, patients, rebuild, traffic, scenario, screenshot, delay, server, token, pin, ca});
    }
};

// --help and --version need no display: they are answered before the application (and its
// platform plugin) is made.
bool answeredWithoutDisplay(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (std::strcmp(a, "--help") && std::strcmp(a, "-h") && std::strcmp(a, "--help-all") && std::strcmp(a, "--version")
            && std::strcmp(a, "-v"))
            continue;
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("zelvar-demo"));
        QCoreApplication::setApplicationVersion(QStringLiteral(ZELVAR_VERSION));
        Options options;
        QCommandLineParser parser;
        options.addTo(parser);
        parser.process(app);   // prints the text and exits 0
        return true;
    }
    return false;
}

std::atomic<bool> g_interrupted{false};

void interrupted(int)
{
    g_interrupted = true;
}

void fail(const QString& message, bool quiet)
{
    std::fprintf(stderr, "%s\n", qPrintable(message));
    if (!quiet)
        QMessageBox::critical(nullptr, QStringLiteral("Zelvar front desk"), message);
}

// The front desk on the embedded server: the practice database in a file of the user's.
std::unique_ptr<zelvar::demo::FrontDesk> embeddedDesk(const QCommandLineParser& parser, const Options& options)
{
    const QString path = parser.value(options.db);
    QDir().mkpath(QFileInfo(path).absolutePath());
    std::printf("Practice database: %s\n", qPrintable(path));
    std::fflush(stdout);
    std::shared_ptr<zelvar::practice::SqliteStore> store;
    try {
        store = std::make_shared<zelvar::practice::SqliteStore>(path);
        if (parser.isSet(options.rebuild) || store->isEmpty()) {
            const qint64 count = qMax<qint64>(1, parser.value(options.patients).toLongLong());
            std::printf("Building it with %lld generated patients...\n", count);
            std::fflush(stdout);
            QProgressDialog progress(QStringLiteral("Building the practice database (%1 patients)...").arg(count), QString(), 0, 100);
            progress.setWindowTitle(QStringLiteral("Zelvar front desk"));
            progress.setMinimumDuration(0);
            progress.show();
            store->generate(count, 20261206, [&](int percent) {
                progress.setValue(percent);
                QCoreApplication::processEvents();
            });
        }
    } catch (const std::exception& e) {
        fail(QStringLiteral("The practice database %1 cannot be used: %2").arg(path, QString::fromUtf8(e.what())),
             parser.isSet(options.scenario));
        return nullptr;
    }

    auto server = std::make_shared<zelvar::practice::PracticeHostLink>(store);
    // Recording the choice is the server's bookkeeping: a database that refuses the write
    // (locked, read only, full) must not take the desk down with it.
    auto desk = std::make_unique<zelvar::demo::FrontDesk>(server, [server](qint64 account) {
        try {
            server->rememberChoice(account);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "The recent-patients list was not updated: %s\n", e.what());
        }
    });
    desk->setDatabaseDescription(QStringLiteral("%1 (%2 patients)").arg(path).arg(store->patientCount()));
    return desk;
}

// The front desk of a practice whose server serves several desks.
std::unique_ptr<zelvar::demo::FrontDesk> networkDesk(const QCommandLineParser& parser, const Options& options)
{
    zelvar::host::NetworkSettings settings;
    settings.server = QUrl(parser.value(options.server));
    settings.token = parser.isSet(options.token) ? parser.value(options.token) : qEnvironmentVariable("ZELVAR_DESK_TOKEN");
    settings.pinnedFingerprint = parser.value(options.pin);
    settings.caFile = parser.value(options.ca);
    settings.user = qEnvironmentVariable("USER", QStringLiteral("FRONTDESK")).toUpper();
    settings.workstation = QSysInfo::machineHostName().toUpper();
    if (const QString problem = zelvar::host::NetworkHostLink::checkSettings(settings); !problem.isEmpty()) {
        fail(problem, parser.isSet(options.scenario));
        return nullptr;
    }
    auto server = std::make_shared<zelvar::host::NetworkHostLink>(settings);
    // The desk says hello before it opens: a wrong address, token or certificate is told now,
    // not at the first search.
    QStringList replies;
    QString fourth;
    if (!server->GetServerStringData(QStringLiteral("|GET|SYS|PRACTICENAME|"), replies, QString(), fourth)) {
        fail(server->lastError(), parser.isSet(options.scenario));
        return nullptr;
    }
    // The setting comes as |OK||NAME=value,
    QString practice = replies.value(0).section(QLatin1Char('='), 1);
    if (practice.endsWith(QLatin1Char(',')))
        practice.chop(1);
    std::printf("Practice server: %s (%s)\n", qPrintable(settings.server.toString()), qPrintable(practice));
    std::fflush(stdout);
    auto desk = std::make_unique<zelvar::demo::FrontDesk>(server, [server](qint64 account) {
        QStringList answer;
        QString unused;
        if (!server->GetServerStringData(QStringLiteral("|PUT|CHOICE|%1").arg(account), answer, QString(), unused))
            std::fprintf(stderr, "The recent-patients list was not updated: %s\n", qPrintable(server->lastError()));
    });
    desk->setDatabaseDescription(practice + QStringLiteral(" at ") + settings.server.toString());
    return desk;
}

} // namespace

int main(int argc, char** argv)
{
    if (answeredWithoutDisplay(argc, argv))
        return 0;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zelvar-demo"));
    QApplication::setApplicationDisplayName(QStringLiteral("Zelvar front desk"));
    QApplication::setApplicationVersion(QStringLiteral(ZELVAR_VERSION));
    QApplication::setOrganizationName(QStringLiteral("Zelvar"));
    QApplication::setDesktopFileName(QStringLiteral("org.zelvar.PatLookupDemo"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/demo/org.zelvar.PatLookupDemo.svg")));

    Options options;
    QCommandLineParser parser;
    options.addTo(parser);
    parser.process(app);

    // Ctrl+C (and a service manager's stop) end the event loop, so the database closes cleanly.
    std::signal(SIGINT, interrupted);
    std::signal(SIGTERM, interrupted);
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &app, [] {
        if (g_interrupted)
            QApplication::quit();
    });
    watch.start(200);

    std::unique_ptr<zelvar::demo::FrontDesk> frontDesk = parser.isSet(options.server)
        ? networkDesk(parser, options)
        : embeddedDesk(parser, options);
    if (!frontDesk)
        return 1;
    zelvar::demo::FrontDesk& desk = *frontDesk;
    desk.dockTraffic->setVisible(parser.isSet(options.traffic));
    desk.show();
    std::printf("The front desk is open. Close its window or press Ctrl+C here to end it.\n");
    std::fflush(stdout);

    if (parser.isSet(options.scenario)) {
        const QString name = parser.value(options.scenario);
        if (!parser.isSet(options.screenshot) || !zelvar::demo::runScenario(name, desk, parser.value(options.screenshot))) {
            std::fprintf(stderr, "A scenario is one of %s and needs --screenshot FILE.\n",
                         qPrintable(zelvar::demo::scenarioNames().join(QStringLiteral(", "))));
            return 2;
        }
    } else if (parser.isSet(options.screenshot)) {
        // The whole screen, so that windows opened over the desk are in the picture.
        QTimer::singleShot(parser.value(options.delay).toInt(), &app, [&] {
            const QString file = parser.value(options.screenshot);
            if (!QGuiApplication::primaryScreen()->grabWindow(0).save(file))
                std::fprintf(stderr, "Could not save %s\n", qPrintable(file));
            QApplication::exit(0);
        });
    }
    return QApplication::exec();
}
