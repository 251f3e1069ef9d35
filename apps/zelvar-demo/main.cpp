// The demo host: the component on a server of its own, with every operation at hand.
#include "demoserver.h"
#include "demowindow.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zelvar-demo"));
    QApplication::setOrganizationName(QStringLiteral("Zelvar"));

    zelvar::demo::DemoWindow window(zelvar::demo::makeDemoServer());
    window.show();
    return QApplication::exec();
}
