// A host that knows only the installed headers: it initialises the component with objects of
// its own and calls an operation whose error the component must trap and report.
#include <zelvar/patlookup.h>
#include <zelvar/platform.h>

#include <QApplication>

#include <cstdio>

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
    bool GetServerStringData(const QString&, QStringList&, const QString&, QString&) override { return false; }
    bool GetServerString(const QString&, QString&, const QString&, QString&) override { return false; }
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
    std::printf("consumer ok: %s\n", qPrintable(utils->reports.first()));
    return 0;
}
