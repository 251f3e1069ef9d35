// The lookup window's reply records, received and then painted through its style answer.
#include "fuzzsupport.h"

#include "lookupsch/frmlookupsch.h"

using namespace zelvar;

static lookupsch::frmLookupSch* window = nullptr;

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzz::initialise(argc, argv);
    // One window for all inputs (building one per input is most of the cost); each input
    // starts from empty slots and an empty grid.
    window = lookupsch::frmLookupSch::Load().release();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    window->Grids = {};
    window->ClearGrid(*window->grdLookupSch);
    const QStringList records = fuzz::lines(data, size);
    for (const QString& record : records)
        window->AsyncReceive(record);
    QAbstractItemModel* model = window->grdLookupSch->model();
    for (int r = 0; r < qMin(model->rowCount(), 6); ++r) {
        for (int c = 0; c < qMin(model->columnCount(), 6); ++c)
            model->data(model->index(r, c), Qt::DisplayRole);
    }
    for (int c = 0; c < qMin(model->columnCount(), 6); ++c)
        model->headerData(c, Qt::Horizontal, Qt::DisplayRole);
    window->SetReturnValue(1);
    return 0;
}
