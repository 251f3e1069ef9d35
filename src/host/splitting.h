#pragma once

#include <QString>
#include <QStringList>

namespace zelvar::host {

// Splits text at every delimiter into pieces, writing over the strings already in the list: a
// caller that splits line after line into the same list allocates nothing once its pieces
// have grown to fit. False, and no pieces, without a delimiter.
bool splitPieces(const QString& text, const QString& delimiter, QStringList& pieces);

} // namespace zelvar::host
