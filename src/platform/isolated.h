#pragma once

#include <QByteArray>

#include <functional>

// Work that a hostile input could make run for ever, eat all memory or crash, run in a child
// process of its own: the desk waits at most the time limit, and whatever happens in the
// child, the component only sees an answer or the reason there is none.
namespace zelvar::platform {

struct IsolationLimits
{
    int timeLimitMs = 4000;
    qint64 maxOutputBytes = 8 * 1024 * 1024;
    // Address space the child may add to what it starts with (not enforced in sanitizer builds,
    // whose shadow memory takes terabytes of address space).
    qint64 maxExtraAddressSpace = qint64(2) * 1024 * 1024 * 1024;
};

struct IsolatedResult
{
    enum class Outcome { Done, TimedOut, TooLarge, Failed };
    Outcome outcome = Outcome::Failed;
    QByteArray output;
};

// Runs work in a forked child and returns what it returned. The child may use only what needs
// no other thread of this process (no Qt event loop, no widgets): it ends with _exit.
IsolatedResult runIsolated(const std::function<QByteArray()>& work, const IsolationLimits& limits = {});

} // namespace zelvar::platform
