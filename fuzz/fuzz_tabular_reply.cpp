// The patient search's tabular reply, read without a widget: a first page, then what follows
// an empty line as a further page of the same search.
#include "component/references.h"
#include "host/standardutils.h"
#include "replies/tabularreply.h"

#include <QStringList>

#include <cstdint>
#include <memory>

using namespace zelvar;

namespace {

// Reports go nowhere; splitting and counting are the reference utilities'.
class QuietUtils : public host::StandardUtils
{
public:
    void ReportError(const QString&) override {}
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    component::References& refs = component::references();
    auto utils = std::make_shared<QuietUtils>();
    refs.utils = utils;
    refs.settings = utils->GetSettingsObject();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QStringList all = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)).split(u'\n');
    const qsizetype split = all.indexOf(QString());
    const QStringList first = split >= 0 ? all.mid(0, split) : all;
    const QStringList further = split >= 0 ? all.mid(split + 1) : QStringList();
    replies::SearchResults results;
    replies::readFirstPage(first, results);
    if (!results.AllLoaded)
        replies::readFurtherPage(further, results);
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
