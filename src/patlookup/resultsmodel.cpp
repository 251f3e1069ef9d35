#include "resultsmodel.h"

#include "component/conversions.h"

#include <QScopeGuard>

namespace zelvar::patlookup {

ResultsModel::ResultsModel(Send send, QObject* parent)
    : QAbstractTableModel(parent), m_send(std::move(send))
{
}

// The grid's columns after the keys: the table keeps one more than the header names.
int ResultsModel::shownColumns() const
{
    return qMax(m_results.ColumnBound - 1, 0);
}

void ResultsModel::announce(void (QAbstractItemModel::*end)())
{
    m_rows = m_results.RowsLoaded;
    m_columns = shownColumns();
    (this->*end)();
}

void ResultsModel::announceAppended()
{
    if (m_results.RowsLoaded > m_rows && shownColumns() == m_columns) {
        beginInsertRows({}, m_rows, m_results.RowsLoaded - 1);
        announce(&ResultsModel::endInsertRows);
    } else if (m_results.RowsLoaded != m_rows || shownColumns() != m_columns) {
        beginResetModel();
        announce(&ResultsModel::endResetModel);
    }
}

ResultsModel::Page ResultsModel::load(const SearchRequest& search, QString& errorText)
{
    // The reset ends on every way out: a host that fails while the page's messages are shown
    // must not leave views waiting for it.
    m_busy = true;
    beginResetModel();
    const auto end = qScopeGuard([this] {
        announce(&ResultsModel::endResetModel);
        m_busy = false;
    });
    m_request = search;
    m_searched = true;
    QStringList reply;
    if (!m_send(search.toString(), reply)) {
        // No rows, and no pages to follow: else every tick of the window's timer would send
        // the same request again, each waiting for the link's deadline.
        m_results = {};
        m_results.AllLoaded = true;
        return Page::Unanswered;
    }
    m_results.AllLoaded = false;
    return BuildGrid(reply, errorText, m_results, *m_grid) ? Page::Read : Page::Unreadable;
}

ResultsModel::Page ResultsModel::loadMore()
{
    if (m_busy || !canFetchMore({}))
        return Page::Read;
    // What was appended is announced on every way out, as a first page's reset is.
    m_busy = true;
    const auto end = qScopeGuard([this] {
        announceAppended();
        m_busy = false;
    });
    QStringList reply;
    if (!m_send(m_request.from(cell(0, 0)).toString(), reply))
        return Page::Unanswered;
    return BuildGridMoreRows(reply, m_results, *m_grid) ? Page::Read : Page::Unreadable;
}

void ResultsModel::clear()
{
    m_busy = true;
    beginResetModel();
    m_results = {};
    m_request = {};
    m_searched = false;
    announce(&ResultsModel::endResetModel);
    m_busy = false;
}

bool ResultsModel::isPatientRow(qint32 row) const
{
    return row >= 1 && row <= m_results.table.rowBound() && component::Val(cell(0, row)) != 0.0;
}

int ResultsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int ResultsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_columns;
}

namespace {

// A cell's text without what the server adds for the grid: its alignment and colours, or the
// mark of a message row.
QString shownText(const QString& cell)
{
    if (cell.endsWith(QChar(0x0002)))
        return cell.chopped(1);
    return cell.size() >= 3 ? cell.chopped(3) : QString();
}

} // namespace

QVariant ResultsModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const qint32 row = index.row() + 1;
    switch (role) {
    case Qt::DisplayRole:
        return shownText(cell(index.column() + 1, row));
    case KeyRole:
        return component::Val(cell(0, row));
    default:
        return {};
    }
}

QVariant ResultsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= m_columns)
        return QAbstractTableModel::headerData(section, orientation, role);
    return shownText(cell(section + 1, 0));
}

bool ResultsModel::canFetchMore(const QModelIndex& parent) const
{
    return !parent.isValid() && m_searched && !m_results.AllLoaded;
}

void ResultsModel::fetchMore(const QModelIndex& parent)
{
    if (parent.isValid())
        return;
    // Asked by a view (or a tester) while a page is read or announced, as it hears of the
    // change: a page read then would arrive inside the notice of another. It is asked for
    // once that is over.
    if (m_busy) {
        QMetaObject::invokeMethod(this, [this] { loadMore(); }, Qt::QueuedConnection);
        return;
    }
    loadMore();
}

} // namespace zelvar::patlookup
