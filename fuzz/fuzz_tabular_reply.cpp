// The patient search's tabular reply: a first page, then what follows an empty line as a
// further page of the same search.
#include "fuzzsupport.h"

#include "replies/tabularreply.h"

using namespace zelvar;

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzz::initialise(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QStringList all = fuzz::lines(data, size);
    const qsizetype split = all.indexOf(QString());
    const QStringList first = split >= 0 ? all.mid(0, split) : all;
    const QStringList further = split >= 0 ? all.mid(split + 1) : QStringList();
    replies::SearchResults results;
    replies::NullReplyGrid grid;
    QString error;
    replies::BuildGrid(first, error, results, grid);
    if (!results.AllLoaded)
        replies::BuildGridMoreRows(further, results, grid);
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
