// The patient search's tabular reply, read by the reader alone: a first page, then what
// follows an empty line as a further page of the same search. Only the reader and its core
// are linked, so that every run is spent in them.
#include "component/references.h"
#include "host/splitting.h"
#include "host/standardutils.h"
#include "replies/tabularreply.h"

#include <QStringList>

#include <cstdint>
#include <memory>

using namespace zelvar;

namespace {

// The utilities the reader calls: splitting as the reference utilities split, and reports
// that go nowhere. Nothing else is asked of them.
class SplittingUtils : public ZelvarUtils
{
public:
    std::shared_ptr<ZelvarSettings> GetSettingsObject() override { return settings; }
    std::shared_ptr<ZelvarLayout> GetLayoutObject() override { return {}; }
    QStringList ColorTable() override { return {}; }
    std::optional<QList<PrinterEntry>> GetPrinters(bool, bool, bool, bool) override { return {}; }
    bool InputFlagA() override { return false; }
    bool InputFlagB() override { return false; }
    bool InputFlagC() override { return false; }
    void ShowMessage(const QString&, int, int, const QString&, int, int, int, int, QVariant& result) override
    {
        result = 1;
    }
    void ReportError(const QString&) override {}
    QString GetMessageTitle() override { return {}; }
    bool IsDebugMode() override { return false; }
    QString GetPiece(const QString&, const QString&, qint16) override { return {}; }
    void StrToArr(const QString& text, const QString& delimiter, QStringList& pieces, bool& success) override
    {
        success = host::splitPieces(text, delimiter, pieces);
    }
    qint32 CountPieces(const QString& text, const QString& delimiter) override
    {
        return delimiter.isEmpty() ? 0 : qint32(text.count(delimiter));
    }
    QString GetHelpFile() override { return {}; }

    std::shared_ptr<host::StandardSettings> settings = std::make_shared<host::StandardSettings>();
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    auto utils = std::make_shared<SplittingUtils>();
    component::references().settings = utils->settings;
    component::references().utils = utils;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QStringList all = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)).split(u'\n');
    const qsizetype split = all.indexOf(QString());
    const QStringList first = split >= 0 ? all.mid(0, split) : all;
    const QStringList further = split >= 0 ? all.mid(split + 1) : QStringList();
    replies::SearchResults results;
    replies::readFirstPage(first, results, component::utils(), component::settings());
    if (!results.AllLoaded)
        replies::readFurtherPage(further, results, component::utils());
    // Read back what the dialog would paint.
    for (qint32 r = 0; r <= qMin(results.RowsLoaded, 5); ++r) {
        for (qint32 c = 0; c <= qMin(results.ColumnBound, 5); ++c) {
            try {
                results.table.cell(c, r);
            } catch (const std::exception&) {
            }
        }
    }
    return 0;
}
