#pragma once

#include <zelvar/patlookup.h>

#include <QFile>
#include <QString>
#include <QStringList>

#include <memory>

namespace zelvar::host {

// A settings object with sensible defaults; the values are public so a host can set them.
class StandardSettings : public ZelvarSettings
{
public:
    double  GetColumnWidthFactor() override { return columnWidthFactor; }
    QString GetFieldDelimiter() override { return fieldDelimiter; }
    qint32  ExtraGridWidth() override { return extraGridWidth; }
    qint32  ScrollBarWidth() override { return scrollBarWidth; }
    Colour  GridFrameColor() override { return gridFrameColor; }
    Colour  CurrentRowColor() override { return currentRowColor; }

    double columnWidthFactor = 8.0;
    QString fieldDelimiter;           // empty: the component uses its own
    qint32 extraGridWidth = 0;
    qint32 scrollBarWidth = 255;      // twips
    Colour gridFrameColor = 0;        // 0: the component's default
    Colour currentRowColor = 0;       // 0: the component's default
};

class StandardLayout : public ZelvarLayout
{
public:
    Colour WindowForeColor() override { return foreColor; }
    Colour WindowBackColor() override { return backColor; }

    Colour foreColor = 0x000000;
    Colour backColor = 0xF0F0F0;
};

// A complete utilities object: the string splitting the reply readers rely on, a 26-colour
// table, the printers Qt knows, message boxes, and error reports to stderr and a log file
// ($XDG_STATE_HOME/ZelvarPatLookup/errors.log). Debug mode comes from ZELVAR_DEBUG.
class StandardUtils : public ZelvarUtils
{
public:
    StandardUtils();
    ~StandardUtils() override;

    std::shared_ptr<ZelvarSettings> GetSettingsObject() override { return m_settings; }
    std::shared_ptr<ZelvarLayout> GetLayoutObject() override { return m_layout; }
    QStringList ColorTable() override { return m_colorTable; }
    std::optional<QList<PrinterEntry>> GetPrinters(bool, bool, bool, bool) override;
    bool InputFlagA() override { return inputFlagA; }
    bool InputFlagB() override { return inputFlagB; }
    bool InputFlagC() override { return inputFlagC; }
    void ShowMessage(const QString& message, int, int, const QString& title,
                     int, int, int, int, QVariant& result) override;
    void ReportError(const QString& message) override;
    QString GetMessageTitle() override { return messageTitle; }
    bool IsDebugMode() override;
    QString GetPiece(const QString& text, const QString& delimiter, qint16 index) override;
    void StrToArr(const QString& text, const QString& delimiter, QStringList& pieces, bool& success) override;
    qint32 CountPieces(const QString& text, const QString& delimiter) override;
    QString GetHelpFile() override { return helpFile; }

    StandardSettings& settings() { return *m_settings; }
    StandardLayout& layout() { return *m_layout; }
    void setColorTable(const QStringList& table) { m_colorTable = table; }

    // The 26 colours of code letters A to Z, entry 0 unused, as decimal texts.
    static QStringList defaultColorTable();
    // Where reports are logged: $XDG_STATE_HOME/ZelvarPatLookup/errors.log.
    static QString logFilePath();

    bool inputFlagA = false;
    bool inputFlagB = false;
    bool inputFlagC = false;
    QString messageTitle = QStringLiteral("Zelvar Patient Lookup");
    QString helpFile;

private:
    std::shared_ptr<StandardSettings> m_settings;
    std::shared_ptr<StandardLayout> m_layout;
    QStringList m_colorTable;
};

} // namespace zelvar::host
