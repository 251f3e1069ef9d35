#pragma once

#include "practice/servicestore.h"

#include <condition_variable>
#include <mutex>
#include <vector>

namespace zelvar::service {

using practice::AccessEntry;
using practice::ServiceStore;

// The access log as the workers write it, with group commit: a worker's entry joins the
// entries waiting; whichever worker finds no write under way writes them all, on its own
// connection, in one transaction, while the others wait for theirs to be in. Every entry is
// in the database before its answer leaves, writes never contend with one another, and many
// searches share one commit.
class AccessLogWriter
{
public:
    // Returns when the entry is in the database; throws (the database's error) when it could
    // not be written: the caller does not show what it cannot account for.
    void record(AccessEntry entry, ServiceStore& tables);

private:
    struct Pending
    {
        AccessEntry entry;
        bool done = false;
        std::exception_ptr error;
    };

    std::mutex m_mutex;
    std::condition_variable m_written;
    std::vector<Pending*> m_waiting;
    bool m_writing = false;
};

} // namespace zelvar::service
