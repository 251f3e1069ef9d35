#include "standardutils.h"
#include "splitting.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPrinterInfo>
#include <QStandardPaths>

#include <cstdio>

namespace zelvar::host {
namespace {

constexpr Colour rgb(int r, int g, int b)
{
    return Colour(r) | (Colour(g) << 8) | (Colour(b) << 16);
}

QString stateHome()
{
    const QString xdg = qEnvironmentVariable("XDG_STATE_HOME");
    if (!xdg.isEmpty())
        return xdg;
    return QDir::homePath() + QStringLiteral("/.local/state");
}

} // namespace

StandardUtils::StandardUtils()
    : m_settings(std::make_shared<StandardSettings>())
    , m_layout(std::make_shared<StandardLayout>())
    , m_colorTable(defaultColorTable())
{
}

StandardUtils::~StandardUtils() = default;

QStringList StandardUtils::defaultColorTable()
{
    // Letters the servers use most: A white, B black, then the usual highlight and text colours.
    static const Colour colours[26] = {
        rgb(255, 255, 255), // A white
        rgb(0, 0, 0),       // B black
        rgb(192, 0, 0),     // C red
        rgb(0, 128, 0),     // D green
        rgb(0, 0, 192),     // E blue
        rgb(255, 255, 192), // F pale yellow
        rgb(192, 255, 192), // G pale green
        rgb(192, 224, 255), // H pale blue
        rgb(255, 208, 208), // I pale red
        rgb(128, 128, 128), // J grey
        rgb(224, 224, 224), // K light grey
        rgb(255, 128, 0),   // L orange
        rgb(128, 0, 128),   // M purple
        rgb(0, 128, 128),   // N teal
        rgb(128, 128, 0),   // O olive
        rgb(0, 0, 128),     // P navy
        rgb(128, 0, 0),     // Q maroon
        rgb(255, 0, 255),   // R magenta
        rgb(0, 255, 255),   // S cyan
        rgb(255, 255, 0),   // T yellow
        rgb(255, 224, 160), // U peach
        rgb(224, 208, 255), // V lavender
        rgb(176, 196, 222), // W steel blue
        rgb(245, 245, 220), // X beige
        rgb(64, 64, 64),    // Y dark grey
        rgb(0, 64, 0),      // Z dark green
    };
    QStringList table{QString()};
    for (Colour c : colours)
        table.append(QString::number(c));
    return table;
}

QString StandardUtils::logFilePath()
{
    return stateHome() + QStringLiteral("/ZelvarPatLookup/errors.log");
}

std::optional<QList<PrinterEntry>> StandardUtils::GetPrinters(bool, bool, bool, bool)
{
    const QList<QPrinterInfo> printers = QPrinterInfo::availablePrinters();
    if (printers.isEmpty())
        return std::nullopt;
    QList<PrinterEntry> entries;
    for (const QPrinterInfo& printer : printers) {
        // No port on this platform: the queue name stands in, so every entry has one.
        entries.append({printer.printerName(), printer.makeAndModel(), printer.printerName()});
    }
    return entries;
}

void StandardUtils::ShowMessage(const QString& message, int, int, const QString& title, int, int, int, int,
                                QVariant& result)
{
    result = 1;
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(message));
        return;
    }
    QMessageBox::information(QApplication::activeWindow(), title, message);
}

void StandardUtils::ReportError(const QString& message)
{
    std::fprintf(stderr, "ZelvarPatLookup: %s\n", qPrintable(message));
    const QString path = logFilePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile log(path);
    if (log.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        const QString line = QDateTime::currentDateTime().toString(Qt::ISODate) + QLatin1Char(' ') + message
            + QLatin1Char('\n');
        log.write(line.toUtf8());
    }
}

bool StandardUtils::IsDebugMode()
{
    const QString value = qEnvironmentVariable("ZELVAR_DEBUG");
    return !value.isEmpty() && value != QLatin1String("0");
}

QString StandardUtils::GetPiece(const QString& text, const QString& delimiter, qint16 index)
{
    if (index < 1 || delimiter.isEmpty())
        return index == 1 ? text : QString();
    qsizetype from = 0;
    for (int piece = 1; piece < index; ++piece) {
        const qsizetype at = text.indexOf(delimiter, from);
        if (at < 0)
            return {};
        from = at + delimiter.size();
    }
    const qsizetype end = text.indexOf(delimiter, from);
    return end < 0 ? text.mid(from) : text.mid(from, end - from);
}

void StandardUtils::StrToArr(const QString& text, const QString& delimiter, QStringList& pieces, bool& success)
{
    success = splitPieces(text, delimiter, pieces);
}

qint32 StandardUtils::CountPieces(const QString& text, const QString& delimiter)
{
    if (delimiter.isEmpty())
        return 0;
    return qint32(text.count(delimiter));
}

} // namespace zelvar::host
