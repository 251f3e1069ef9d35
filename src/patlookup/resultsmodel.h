#pragma once

#include "component/references.h"
#include "replies/tabularreply.h"
#include "searchrequest.h"

namespace zelvar::patlookup {

// What the result grid shows, kept by its window: the rows the server sent, the row the user is
// on, and the host's colours as the paint in progress read them. The grid paints from it and
// tells it when the user moves; nothing is read back from the grid while it paints.
struct ResultsModel
{
    replies::SearchResults rows;
    SearchRequest request;      // the search the rows answer
    // The grid row of the current cell as the grid last reported it; 0 when there is none
    // (before the first cell is entered, or once the rows it was on are gone).
    qint32 currentRow = 0;
    component::PaintColours colours;
};

} // namespace zelvar::patlookup
