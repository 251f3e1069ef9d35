#pragma once

#include "database.h"

namespace zelvar::practice {

// A database from before layouts were numbered, brought to what the first numbered layout
// expects of the tables it has: keys computed for every patient, the visit order, the clerk
// of each access. Sniffed from what it has; a new database has none of it and is left alone.
// Runs inside the first step's transaction, before that layout's tables and indexes are made.
void upgradeEarlierLayout(Database& db);

// After the first layout's tables are made: an access log kept by account alone is moved into
// its blocks.
void moveEarlierAccessLog(Database& db);

} // namespace zelvar::practice
