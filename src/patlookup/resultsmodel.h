#pragma once

#include "buildgrid.h"
#include "component/references.h"
#include "replies/tabularreply.h"
#include "searchrequest.h"

#include <QAbstractTableModel>

#include <functional>

namespace zelvar::patlookup {

// What the result grid shows, kept by its window: the rows the server sent for one search, the
// row the user is on, and the host's colours as the paint in progress read them. It pages itself
// as Qt's models that fetch more do: its rows are the rows loaded, canFetchMore() says whether
// the server has more, and fetchMore() asks for the next page and appends it. The server's count
// of the whole list is a property of its own.
//
// The grid paints from it (grid row r is the model's row r - 1; grid column c its column c - 1,
// grid column 0 being the rows' keys) and tells it when the user moves; nothing is read back
// from the grid.
class ResultsModel : public QAbstractTableModel
{
    Q_OBJECT
    // The lines of the whole list as the first page's header gave them ("942", "1000+" for at
    // least); empty when it gave none.
    Q_PROPERTY(QString knownTotal READ knownTotal)

public:
    // Sends a request and fills reply with the server's lines; false when it went unanswered.
    using Send = std::function<bool(const QString& request, QStringList& reply)>;
    enum class Page { Read, Unanswered, Unreadable };
    enum Role { KeyRole = Qt::UserRole + 1 };   // a row's key: its account, 0 for a message row

    explicit ResultsModel(Send send, QObject* parent = nullptr);

    // The grid a page shapes (its row and column counts, widths) as it is read.
    void setReplyGrid(ReplyGrid& grid) { m_grid = &grid; }

    // A new search: its first page, in place of every row before. errorText says why an
    // unreadable page was refused (empty when a message has been shown already). An unanswered
    // search has no pages to follow.
    Page load(const SearchRequest& search, QString& errorText);
    // The search's next page, appended to the rows.
    Page loadMore();
    // No rows and no search.
    void clear();

    const SearchRequest& request() const { return m_request; }
    const replies::SearchResults& results() const { return m_results; }
    qint32 rowsLoaded() const { return m_results.RowsLoaded; }
    qint32 columnBound() const { return m_results.ColumnBound; }
    bool allLoaded() const { return m_results.AllLoaded; }
    QString knownTotal() const { return m_results.KnownTotal; }
    // The page was one patient's row: the lookup may answer without showing itself.
    bool singleHit() const { return m_results.SingleHit; }
    void forgetSingleHit() { m_results.SingleHit = false; }
    // A cell as the server sent it, in grid numbering (row 0 the headings, column 0 the keys).
    QString cell(qint32 column, qint32 row) const { return m_results.table.cell(column, row); }
    // Whether a grid row is loaded and holds a patient (a message row's key is 0).
    bool isPatientRow(qint32 row) const;

    // The grid row the user is on as the grid last reported it; 0 when there is none.
    qint32 currentRow() const { return m_currentRow; }
    void setCurrentRow(qint32 row) { m_currentRow = row; }
    component::PaintColours& colours() { return m_colours; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

private:
    int shownColumns() const;
    // Ends the notice of a change (end, one of the model's own), with the counts views are
    // told following the table from then on, not while the reader fills it.
    void announce(void (QAbstractItemModel::*end)());
    // Announces the rows a further page appended (a reset if it changed the columns).
    void announceAppended();

    Send m_send;
    NullReplyGrid m_noGrid;
    ReplyGrid* m_grid = &m_noGrid;
    replies::SearchResults m_results;
    SearchRequest m_request;
    bool m_searched = false;
    bool m_busy = false;            // a page is being read or announced (see fetchMore)
    int m_rows = 0;
    int m_columns = 0;
    qint32 m_currentRow = 0;
    component::PaintColours m_colours;
};

} // namespace zelvar::patlookup
