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

} // namespace zelvar::component
