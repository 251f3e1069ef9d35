// What a desk (or anyone who reaches the port) sends the practice server: the request reader
// takes any bytes, answers or refuses, and never reads past what it was given.
#include "fuzzsupport.h"

#include "service/connection.h"

#include <sys/socket.h>
#include <unistd.h>

using namespace zelvar;

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzz::initialise(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 60000)
        return 0;       // more than the socket holds without a reader
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0)
        return 0;
    const int buffer = 256 * 1024;
    ::setsockopt(pair[1], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    ::setsockopt(pair[0], SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    [[maybe_unused]] const ssize_t written = ::write(pair[1], data, size);
    ::shutdown(pair[1], SHUT_WR);
    {
        service::Connection connection(pair[0], QStringLiteral("fuzz"), nullptr);
        QString why;
        connection.open(why);
        service::HttpRequest request;
        for (int i = 0; i < 64; ++i) {
            const service::ReadFailure failure = connection.readRequest(request, 4096);
            if (failure.kind != service::ReadFailure::None)
                break;
            if (request.body.size() > 4096)
                __builtin_trap();
        }
    }
    ::close(pair[1]);
    return 0;
}
