#include "buildgrid.h"

#include "component/references.h"
#include "platform/messagebox.h"

#include <exception>

namespace zelvar::patlookup {

using replies::GridShape;
using replies::PageReading;
using replies::ReplyMessage;

namespace {

void applyShape(const PageReading& reading, const replies::SearchResults& results, ReplyGrid& grid)
{
    switch (reading.shape) {
    case GridShape::Untouched:
        break;
    case GridShape::SingleCell:
        grid.SetRowCount(1);
        grid.SetColCount(1);
        break;
    case GridShape::Counted:
        grid.SetColCount(reading.gridColumns);
        grid.SetRowCount(reading.gridRows);
        for (qsizetype k = 0; k < reading.columnWidths.size(); ++k) {
            const qint32 column = qint32(k + 1);
            grid.SetColWidths(column, column, reading.columnWidths.at(k));
        }
        break;
    }
}

// Applies a page to the grid with painting suspended; painting is resumed on every way out,
// even when a call into the host made while showing the messages fails.
bool apply(const PageReading& reading, const replies::SearchResults& results, ReplyGrid& grid)
{
    grid.LockUpdates(true);
    std::exception_ptr pending;
    try {
        applyShape(reading, results, grid);
        showReplyMessages(reading.messages);
    } catch (...) {
        pending = std::current_exception();
    }
    grid.LockUpdates(false);
    if (pending)
        std::rethrow_exception(pending);
    return reading.success;
}

} // namespace

void showReplyMessages(const QList<ReplyMessage>& messages)
{
    for (const ReplyMessage& message : messages) {
        if (message.kind == ReplyMessage::Report) {
            component::utils().ReportError(message.text);
            continue;
        }
        const QString title = message.hostTitle ? component::utils().GetMessageTitle() : message.title;
        platform::messageBox(message.text, message.kind == ReplyMessage::CriticalBox ? platform::Critical
                                                                                        : platform::OkOnly,
                             title);
    }
}

bool BuildGrid(const QStringList& lines, QString& errorText, replies::SearchResults& results, ReplyGrid& grid)
{
    const PageReading reading = replies::readFirstPage(lines, results, component::utils(), component::settings(),
                                                          grid.MaxRows());
    errorText = reading.errorText;
    return apply(reading, results, grid);
}

bool BuildGridMoreRows(const QStringList& lines, replies::SearchResults& results, ReplyGrid& grid)
{
    return apply(replies::readFurtherPage(lines, results, component::utils()), results, grid);
}

} // namespace zelvar::patlookup
