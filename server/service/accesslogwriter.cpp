#include "accesslogwriter.h"

namespace zelvar::service {

void AccessLogWriter::record(AccessEntry entry, ServiceStore& tables)
{
    Pending mine{std::move(entry), false, nullptr};
    std::unique_lock lock(m_mutex);
    m_waiting.push_back(&mine);
    while (!mine.done) {
        if (m_writing) {
            m_written.wait(lock);
            continue;
        }
        // This worker writes what is waiting, its own entry among it.
        m_writing = true;
        std::vector<Pending*> batch;
        batch.swap(m_waiting);
        lock.unlock();
        std::exception_ptr error;
        try {
            QList<AccessEntry> entries;
            entries.reserve(qsizetype(batch.size()));
            for (const Pending* p : batch)
                entries.append(p->entry);
            tables.logAccesses(entries);
        } catch (...) {
            error = std::current_exception();
        }
        lock.lock();
        for (Pending* p : batch) {
            p->error = error;
            p->done = true;
        }
        m_writing = false;
        m_written.notify_all();
    }
    if (mine.error)
        std::rethrow_exception(mine.error);
}

} // namespace zelvar::service
