// The demo host: the component on a server of its own, with every operation at hand.
#include "demoserver.h"
#include "demowindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QScreen>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zelvar-demo"));
    QApplication::setOrganizationName(QStringLiteral("Zelvar"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Demo host of the Zelvar patient lookup component"));
    parser.addHelpOption();
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QStringLiteral("Save a picture of the screen to <file> after <delay> ms and quit."),
                                        QStringLiteral("file"));
    const QCommandLineOption delay(QStringLiteral("delay"), QStringLiteral("Delay before the screenshot."),
                                   QStringLiteral("ms"), QStringLiteral("800"));
    parser.addOption(screenshot);
    parser.addOption(delay);
    parser.process(app);

    zelvar::demo::DemoWindow window(zelvar::demo::makeDemoServer());
    window.show();

    if (parser.isSet(screenshot)) {
        // Grabs the whole screen, so that modal windows opened over the demo are in the picture.
        QTimer::singleShot(parser.value(delay).toInt(), [&] {
            const QString file = parser.value(screenshot);
            if (!QGuiApplication::primaryScreen()->grabWindow(0).save(file))
                std::fprintf(stderr, "Could not save %s\n", qPrintable(file));
            QApplication::exit(0);
        });
    }
    return QApplication::exec();
}
