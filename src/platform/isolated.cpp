#include "isolated.h"

#include <QDeadlineTimer>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer) || __has_feature(thread_sanitizer)
#define ZELVAR_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ZELVAR_SANITIZED 1
#endif

namespace zelvar::platform {
namespace {

bool writeAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t put = ::write(fd, data, size);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        data += put;
        size -= size_t(put);
    }
    return true;
}

#ifndef ZELVAR_SANITIZED
qint64 addressSpaceInUse()
{
    const int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    char text[64] = {};
    const ssize_t got = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    return got > 0 ? std::strtoll(text, nullptr, 10) * ::sysconf(_SC_PAGESIZE) : 0;
}
#endif

[[noreturn]] void runChild(int fd, const std::function<QByteArray()>& work, const IsolationLimits& limits)
{
    // The first second past the parent's limit the processor stops it anyway.
    const rlim_t seconds = rlim_t(limits.timeLimitMs / 1000 + 2);
    const rlimit cpu{seconds, seconds};
    ::setrlimit(RLIMIT_CPU, &cpu);
#ifndef ZELVAR_SANITIZED
    const rlim_t space = rlim_t(addressSpaceInUse() + limits.maxExtraAddressSpace);
    const rlimit address{space, space};
    ::setrlimit(RLIMIT_AS, &address);
#endif
    int code = 1;
    try {
        const QByteArray answer = work();
        // The length first: an answer cut short by a crash is never taken for a whole one.
        const quint64 length = quint64(answer.size());
        if (writeAll(fd, reinterpret_cast<const char*>(&length), sizeof length)
            && writeAll(fd, answer.constData(), size_t(answer.size())))
            code = 0;
    } catch (...) {
        code = 2;
    }
    ::_exit(code);
}

void endChild(pid_t child, bool kill)
{
    if (kill)
        ::kill(child, SIGKILL);
    // A host that ignores SIGCHLD has its children reaped for it: ECHILD is fine.
    while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
}

} // namespace

IsolatedResult runIsolated(const std::function<QByteArray()>& work, const IsolationLimits& limits)
{
    IsolatedResult result;
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return result;
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return result;
    }
    if (child == 0) {
        ::close(pipeFds[0]);
        runChild(pipeFds[1], work, limits);
    }
    ::close(pipeFds[1]);
    const int fd = pipeFds[0];

    QDeadlineTimer deadline(limits.timeLimitMs);
    QByteArray received;
    const qint64 ceiling = qint64(sizeof(quint64)) + limits.maxOutputBytes;
    char buffer[65536];
    bool ended = false;
    while (!ended) {
        pollfd wait{fd, POLLIN, 0};
        const int ready = ::poll(&wait, 1, int(qMax<qint64>(0, deadline.remainingTime())));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0) {
            result.outcome = IsolatedResult::Outcome::TimedOut;
            break;
        }
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            ended = true;
            break;
        }
        received.append(buffer, got);
        if (received.size() > ceiling) {
            result.outcome = IsolatedResult::Outcome::TooLarge;
            break;
        }
    }
    ::close(fd);
    endChild(child, !ended);
    if (!ended)
        return result;

    quint64 length = 0;
    if (received.size() >= qsizetype(sizeof length))
        std::memcpy(&length, received.constData(), sizeof length);
    if (received.size() < qsizetype(sizeof length) || length != quint64(received.size()) - sizeof length)
        return result;   // the child died before it had answered
    if (qint64(length) > limits.maxOutputBytes) {
        result.outcome = IsolatedResult::Outcome::TooLarge;
        return result;
    }
    result.outcome = IsolatedResult::Outcome::Done;
    result.output = received.mid(sizeof length);
    return result;
}

} // namespace zelvar::platform
