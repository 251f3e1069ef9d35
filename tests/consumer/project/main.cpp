// A host that knows only the installed headers: it initialises the component with objects of
// its own, calls an operation whose error the component must trap and report, and shows a
// patient record, whose style sheet the component finds in its installed shared files.
#include <zelvar/patlookup.h>
#include <zelvar/platform.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

namespace {

class Settings : public zelvar::ZelvarSettings
{
public:
    double GetColumnWidthFactor() override { return 8; }
    QString GetFieldDelimiter() override { return {}; }
    qint32 ExtraGridWidth() override { return 0; }
    qint32 ScrollBarWidth() override { return 255; }
    zelvar::Colour GridFrameColor() override { return 0; }
    zelvar::Colour CurrentRowColor() override { return 0; }
};

class Layout : public zelvar::ZelvarLayout
{
public:
    zelvar::Colour WindowForeColor() override { return 0; }
    zelvar::Colour WindowBackColor() override { return 0xF0F0F0; }
};

class Utils : public zelvar::ZelvarUtils
{
public:
    std::shared_ptr<zelvar::ZelvarSettings> GetSettingsObject() override { return std::make_shared<Settings>(); }
    std::shared_ptr<zelvar::ZelvarLayout> GetLayoutObject() override { return std::make_shared<Layout>(); }
    QStringList ColorTable() override { return {}; }
    std::optional<QList<zelvar::PrinterEntry>> GetPrinters(bool, bool, bool, bool) override { return std::nullopt; }
    bool InputFlagA() override { return false; }
    bool InputFlagB() override { return false; }
    bool InputFlagC() override { return false; }
    void ShowMessage(const QString&, int, int, const QString&, int, int, int, int, QVariant&) override {}
    void ReportError(const QString& message) override { reports.append(message); }
    QString GetMessageTitle() override { return QStringLiteral("Consumer"); }
    bool IsDebugMode() override { return false; }
    QString GetPiece(const QString& text, const QString& d, qint16 i) override { return text.section(d, i - 1, i - 1); }
    void StrToArr(const QString& text, const QString& d, QStringList& pieces, bool& ok) override
    {
        pieces = text.split(d);
        ok = true;
    }
    qint32 CountPieces(const QString& text, const QString& d) override { return qint32(text.count(d)); }
    QString GetHelpFile() override { return {}; }

    QStringList reports;
};

class Link : public zelvar::HostLink
{
public:
    bool GetServerStringData(const QString& request, QStringList& replies, const QString&, QString&) override
    {
        if (request.startsWith(QLatin1String("|GET|SYS|"))) {
            replies = {QStringLiteral("|OK||ALTPATRECORDDISPL=,")};
            return true;
        }
        if (request.startsWith(QLatin1String("|GET|DEMOXML|"))) {
            replies = {QStringLiteral("|OK||<PatientRecord><Patient><Account>1234</Account><Name><Last>CONSUMER</Last>"
                                      "</Name></Patient></PatientRecord>"),
                       QStringLiteral("|END|")};
            return true;
        }
        return false;
    }
    bool GetServerString(const QString& request, QString& reply, const QString& third, QString& fourth) override
    {
        QStringList replies;
        if (!GetServerStringData(request, replies, third, fourth))
            return false;
        reply = replies.join(QString());
        return true;
    }
    QString ContextValue1() override { return {}; }
    QString ContextValue2() override { return {}; }
};

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int beeps = 0;
    zelvar::platform::setBeepHandler([&] { ++beeps; });
    zelvar::platform::setMessageBoxHandler([](const QString&, int, const QString&) { return 1; });

    auto utils = std::make_shared<Utils>();
    zelvar::PatLookup lookup;
    lookup.InitPatLookup(std::make_shared<Link>(), utils);
    // An empty code cannot name a table: reported, with a beep, and an empty answer.
    const QString result = lookup.MiscLookup(QString(), QString());
    if (!result.isEmpty() || utils->reports.size() != 1 || beeps != 1) {
        std::fprintf(stderr, "unexpected: result '%s', %d reports, %d beeps\n", qPrintable(result),
                     int(utils->reports.size()), beeps);
        return 1;
    }
    std::printf("consumer: %s\n", qPrintable(utils->reports.first()));
    utils->reports.clear();

    // The record window, closed as soon as it is up; none within 20 s is a failure.
    QStringList boxes;
    zelvar::platform::setMessageBoxHandler([&](const QString& prompt, int, const QString&) {
        boxes.append(prompt);
        return 1;
    });
    bool shown = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->objectName() == QLatin1String("frmBrowsePrint") && window->isVisible()) {
                shown = true;
                window->hide();
            }
        }
    });
    poll.start(50);
    QTimer::singleShot(20000, [] { std::_Exit(2); });
    lookup.ShowDisplayPatientInfo(QStringLiteral("1234"));
    if (!shown || !boxes.isEmpty() || !utils->reports.isEmpty()) {
        std::fprintf(stderr, "the record was %s: %s %s\n", shown ? "shown" : "not shown", qPrintable(boxes.join(QLatin1Char(' '))),
                     qPrintable(utils->reports.join(QLatin1Char(' '))));
        return 1;
    }
    std::printf("consumer ok: the record was shown\n");
    return 0;
}
