#pragma once

#include <QString>

namespace zelvar::patlookup {

// One search as the clerk asked it: the text, the key it is searched by and where in the list
// the page to fetch begins. Made once from what was typed and chosen, carried with the rows it
// brought, and written out as the server's request in one place.
struct SearchRequest
{
    QString text;               // as typed, less a key letter's prefix
    QString key;                // the key's caption ("&Pat Name"), sent in capitals
    bool workflow = false;      // a workflow search: the caption is marked as one
    bool keepCase = false;      // the one key whose text is sent as typed
    QString position;           // the continuation key of the page to fetch; empty for the first

    // The same search, from the position the last page ended at.
    SearchRequest from(const QString& continuation) const
    {
        SearchRequest next = *this;
        next.position = continuation;
        return next;
    }

    // "|GET|KEY|SMITH, J|&PAT NAME|" and the position; upper case but for the one key.
    QString toString() const
    {
        const QString searched = text + QLatin1Char('|') + key + (workflow ? QStringLiteral("WRK") : QString())
            + QLatin1Char('|');
        return QStringLiteral("|GET|KEY|") + (keepCase ? searched : searched.toUpper()) + position;
    }
};

} // namespace zelvar::patlookup
