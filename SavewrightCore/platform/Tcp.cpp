#include "Tcp.h"

#include "PosixFile.h"

#include <cerrno>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>

namespace Tcp {

bool connects(const QByteArray& host, int port, double timeoutSeconds) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.constData(), QByteArray::number(port).constData(), &hints, &found) != 0)
        return false;
    bool ok = false;
    for (addrinfo* a = found; a && !ok; a = a->ai_next) {
        const PosixFile::UniqueFd socket(
            ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol));
        if (!socket) continue;
        const int fd = socket.get();
        if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0) {
            ok = true;
        } else if (errno == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            int error = 0;
            socklen_t length = sizeof error;
            ok = ::poll(&p, 1, static_cast<int>(timeoutSeconds * 1000)) == 1 &&
                 ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
        }
    }
    ::freeaddrinfo(found);
    return ok;
}

} // namespace Tcp
