#include "splitting.h"

#include <algorithm>

namespace zelvar::host {
namespace {

void splitInto(QStringView text, QChar delimiter, QStringList& pieces)
{
    qsizetype count = 0;
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = text.indexOf(delimiter, from);
        const QStringView piece = text.sliced(from, (at < 0 ? text.size() : at) - from);
        if (count < pieces.size()) {
            QString& target = pieces[count];
            target.resize(piece.size());
            std::copy(piece.begin(), piece.end(), target.begin());
        } else {
            pieces.append(piece.toString());
        }
        ++count;
        if (at < 0)
            break;
        from = at + 1;
    }
    pieces.resize(count);
}

} // namespace

bool splitPieces(const QString& text, const QString& delimiter, QStringList& pieces)
{
    if (delimiter.isEmpty()) {
        pieces.clear();
        return false;
    }
    // The text may be one of the pieces themselves; it is then split into a fresh list.
    const bool textIsAPiece = &text >= pieces.constData() && &text < pieces.constData() + pieces.size();
    if (delimiter.size() == 1 && !textIsAPiece)
        splitInto(text, delimiter.front(), pieces);
    else
        pieces = text.split(delimiter);
    return true;
}

} // namespace zelvar::host
