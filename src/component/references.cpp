#include "references.h"

#include "runtimeerror.h"

namespace zelvar::component {
namespace {

template<typename T>
T& require(const std::shared_ptr<T>& ref)
{
    if (!ref)
        throw RuntimeError(RuntimeError::ObjectNotSet);
    return *ref;
}

} // namespace

References& references()
{
    thread_local References perThread;
    return perThread;
}

HostLink& hostLink() { return require(references().hostLink); }
ZelvarUtils& utils() { return require(references().utils); }
ZelvarSettings& settings() { return require(references().settings); }
ZelvarLayout& layout() { return require(references().layout); }
QString helpFile() { return references().helpFile; }
bool hasUtils() { return references().utils != nullptr; }

QString FieldDelimiter()
{
    const QString delimiter = settings().GetFieldDelimiter();
    return delimiter.isEmpty() ? QStringLiteral("\u00E7\u00E7") : delimiter;
}

namespace {

QString entryOf(const QStringList& table, QChar code)
{
    const qsizetype index = qsizetype(code.unicode()) - 64;
    if (index < 0 || index >= table.size())
        throw RuntimeError(RuntimeError::SubscriptOutOfRange);
    return table.at(index);
}

} // namespace

QString colourTableEntry(QChar code)
{
    return entryOf(utils().ColorTable(), code);
}

QString PaintColours::entry(QChar code, quint64 paintSerial)
{
    if (paintSerial == 0)
        return colourTableEntry(code);
    if (paintSerial != m_serial) {
        // A table the host fails to give is asked for again at the next cell.
        m_table = utils().ColorTable();
        m_serial = paintSerial;
    }
    return entryOf(m_table, code);
}

} // namespace zelvar::component
