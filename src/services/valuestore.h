#pragma once

#include <QString>
#include <QVariant>

#include <functional>
#include <optional>

// The per-user value store behind QueryRegValue and SetRegValue, for callers that must tell a
// store that failed (busy in another process past the wait, unwritable) from a missing value,
// and that need several reads and writes to take effect together or not at all.
namespace zelvar::services {

// How long a call waits for a store that another process holds.
constexpr int kValueStoreWaitMs = 5000;

class ValueStoreTransaction
{
public:
    virtual ~ValueStoreTransaction() = default;
    // The value (text or 32-bit number; the empty text when there is none), or nothing when
    // the store failed.
    virtual std::optional<QVariant> read(quint32 root, const QString& subKey, const QString& name) = 0;
    // Stores the value with SetRegValue's rules (kind, trimming); false when the store failed.
    // A value that cannot be converted raises the conversion's error, as SetRegValue does.
    virtual bool write(quint32 root, const QString& subKey, const QString& name, const QVariant& value) = 0;
};

// Runs body in one transaction of the store, waiting at most waitMs for it. Everything the body
// wrote is kept only when it returns true and the store commits; otherwise nothing is. False
// when the store could not be had or did not commit.
bool inValueStoreTransaction(const std::function<bool(ValueStoreTransaction&)>& body, int waitMs = kValueStoreWaitMs);

} // namespace zelvar::services
