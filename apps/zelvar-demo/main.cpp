// The demo host: the component on the embedded practice server, with every operation at hand
// and the traffic between them in view.
#include "demowindow.h"

#include "host/practice/practicehostlink.h"
#include "host/practice/sqlitestore.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>

#include <cstdio>

namespace {

QString defaultDatabase()
{
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty())
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return data + QStringLiteral("/ZelvarPatLookup/practice.db");
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zelvar-demo"));
    QApplication::setOrganizationName(QStringLiteral("Zelvar"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Demo host of the Zelvar patient lookup component"));
    parser.addHelpOption();
    const QCommandLineOption db(QStringLiteral("db"), QStringLiteral("The practice database <file>."),
                                QStringLiteral("file"), defaultDatabase());
    const QCommandLineOption patients(QStringLiteral("patients"),
                                      QStringLiteral("How many patients a new database gets (default 20000)."),
                                      QStringLiteral("count"), QStringLiteral("20000"));
    const QCommandLineOption rebuild(QStringLiteral("rebuild"), QStringLiteral("Build the database anew."));
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QStringLiteral("Save a picture of the screen to <file> after the delay and quit."),
                                        QStringLiteral("file"));
    const QCommandLineOption delay(QStringLiteral("delay"), QStringLiteral("Delay before the screenshot."),
                                   QStringLiteral("ms"), QStringLiteral("800"));
    parser.addOptions({db, patients, rebuild, screenshot, delay});
    parser.process(app);

    const QString path = parser.value(db);
    QDir().mkpath(QFileInfo(path).absolutePath());
    std::shared_ptr<zelvar::practice::SqliteStore> store;
    try {
        store = std::make_shared<zelvar::practice::SqliteStore>(path);
        if (parser.isSet(rebuild) || store->isEmpty()) {
            const qint64 count = qMax<qint64>(1, parser.value(patients).toLongLong());
            QProgressDialog progress(QStringLiteral("Building the practice database (%1 patients)...").arg(count),
                                     QString(), 0, 100);
            progress.setWindowTitle(QStringLiteral("Zelvar demo"));
            progress.setMinimumDuration(0);
            progress.show();
            store->generate(count, 20261206, [&](int percent) {
                progress.setValue(percent);
                QCoreApplication::processEvents();
            });
        }
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QStringLiteral("Zelvar demo"),
                              QStringLiteral("The practice database %1 cannot be used: %2").arg(path, QString::fromUtf8(e.what())));
        return 1;
    }

    auto server = std::make_shared<zelvar::practice::PracticeHostLink>(store);
    zelvar::demo::DemoWindow window(server, [server](qint64 account) { server->rememberChoice(account); });
    window.setDatabaseDescription(QStringLiteral("%1 (%2 patients)").arg(path).arg(store->patientCount()));
    window.show();

    if (parser.isSet(screenshot)) {
        // The whole screen, so that modal windows opened over the demo are in the picture.
        QTimer::singleShot(parser.value(delay).toInt(), [&] {
            const QString file = parser.value(screenshot);
            if (!QGuiApplication::primaryScreen()->grabWindow(0).save(file))
                std::fprintf(stderr, "Could not save %s\n", qPrintable(file));
            QApplication::exit(0);
        });
    }
    return QApplication::exec();
}
