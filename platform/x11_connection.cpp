// The connection to the X server named by DISPLAY, made here rather than by xcb_connect so that
// a server that never answers cannot hold the program: the whole exchange has a deadline.
#include "x11_connection.h"

#include <X11/X.h>
#include <X11/Xauth.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "x11_deadline.h"

namespace {

int Connected(int fd, const sockaddr* address, socklen_t size)
{
    if (fd < 0) {
        return -1;
    }
    WatchSocket(fd);
    if (connect(fd, address, size) == 0) {
        return fd;
    }
    const int error = errno;  // the caller tells the deadline (EINTR) from a refusal
    WatchSocket(-1);
    close(fd);
    errno = error;
    return -1;
}

// A local display: the abstract socket first, as libxcb does, then the socket file. An abstract
// name starts with a zero byte and is counted without a terminator; a path is counted with one.
int ConnectLocal(int display)
{
    const size_t leading_zeros[] = {1, 0};
    for (const size_t zero : leading_zeros) {
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        const int length = snprintf(address.sun_path + zero, sizeof address.sun_path - zero,
                                    "/tmp/.X11-unix/X%d", display);
        const socklen_t size = socklen_t(offsetof(sockaddr_un, sun_path) + size_t(length) + 1);
        const int fd = Connected(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0),
                                 reinterpret_cast<sockaddr*>(&address), size);
        if (fd >= 0 || errno == EINTR) {
            return fd;
        }
    }
    return -1;
}

int ConnectTcp(const char* host, int display)
{
    if (display < 0 || display > 65535 - 6000) {
        return -1;
    }
    // An IPv6 address comes in brackets.
    char name[256];
    const size_t length = strlen(host);
    const bool bracketed = length >= 2 && host[0] == '[' && host[length - 1] == ']';
    snprintf(name, sizeof name, "%.*s", int(bracketed ? length - 2 : length), bracketed ? host + 1 : host);
    char port[8];
    snprintf(port, sizeof port, "%d", 6000 + display);

    addrinfo hints = {};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name, port, &hints, &found) != 0) {
        return -1;
    }
    int fd = -1;
    for (addrinfo* a = found; a != nullptr && fd < 0; a = a->ai_next) {
        fd = Connected(socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol), a->ai_addr,
                       a->ai_addrlen);
        if (fd < 0 && errno == EINTR) {
            break;
        }
    }
    freeaddrinfo(found);
    return fd;
}

bool IsLoopback(const sockaddr_storage& peer)
{
    if (peer.ss_family == AF_INET) {
        return (ntohl(reinterpret_cast<const sockaddr_in&>(peer).sin_addr.s_addr) >> 24) == 127;
    }
    if (peer.ss_family == AF_INET6) {
        const in6_addr& address = reinterpret_cast<const sockaddr_in6&>(peer).sin6_addr;
        return IN6_IS_ADDR_LOOPBACK(&address);
    }
    return true;
}

// The MIT-MAGIC-COOKIE-1 entry of the user's authority file for this connection, found the way
// libxcb finds it: local and loopback connections by host name, others by peer address.
Xauth* FindCookie(int fd, int display)
{
    sockaddr_storage peer = {};
    socklen_t size = sizeof peer;
    getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &size);

    unsigned short family = FamilyLocal;
    const char* address = nullptr;
    size_t address_length = 0;
    char hostname[256] = {};
    if (!IsLoopback(peer) && peer.ss_family == AF_INET) {
        family = FamilyInternet;
        address = reinterpret_cast<const char*>(&reinterpret_cast<const sockaddr_in&>(peer).sin_addr);
        address_length = 4;
    } else if (!IsLoopback(peer) && peer.ss_family == AF_INET6) {
        family = FamilyInternet6;
        address = reinterpret_cast<const char*>(&reinterpret_cast<const sockaddr_in6&>(peer).sin6_addr);
        address_length = 16;
    } else {
        gethostname(hostname, sizeof hostname - 1);
        address = hostname;
        address_length = strlen(hostname);
    }

    char number[16];
    const int number_length = snprintf(number, sizeof number, "%d", display);
    char cookie_name[] = "MIT-MAGIC-COOKIE-1";
    char* names[] = {cookie_name};
    const int name_lengths[] = {int(sizeof cookie_name - 1)};
    return XauGetBestAuthByAddr(family, static_cast<unsigned short>(address_length), address,
                                static_cast<unsigned short>(number_length), number, 1, names, name_lengths);
}

xcb_connection_t* ConnectTo(const char* host, int display)
{
    const bool local = host[0] == '\0' || strcmp(host, "unix") == 0;
    const int fd = local ? ConnectLocal(display) : ConnectTcp(host, display);
    if (fd < 0) {
        return nullptr;
    }
    Xauth* cookie = FindCookie(fd, display);
    xcb_auth_info_t auth = {};
    if (cookie != nullptr) {
        auth = {cookie->name_length, cookie->name, cookie->data_length, cookie->data};
    }
    // From here libxcb owns the socket, and closes it on failure too. It writes a server's
    // refusal straight to file descriptor 2; this program never writes there for a display.
    const int saved_stderr = fcntl(2, F_DUPFD_CLOEXEC, 3);
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0) {
        dup2(null, 2);
        close(null);
    }
    xcb_connection_t* connection = xcb_connect_to_fd(fd, cookie != nullptr ? &auth : nullptr);
    if (saved_stderr >= 0) {
        dup2(saved_stderr, 2);
        close(saved_stderr);
    } else {
        close(2);
    }
    if (cookie != nullptr) {
        XauDisposeAuth(cookie);
    }
    if (xcb_connection_has_error(connection)) {
        WatchSocket(-1);
        xcb_disconnect(connection);
        return nullptr;
    }
    return connection;
}

}  // namespace

xcb_connection_t* X11Connect(int* screen)
{
    char* host = nullptr;
    int display = 0;
    if (!xcb_parse_display(nullptr, &host, &display, screen)) {
        return nullptr;
    }
    ArmDeadline();
    xcb_connection_t* connection = ConnectTo(host, display);
    free(host);
    if (connection == nullptr) {
        DisarmDeadline();
    }
    return connection;
}

void X11Disconnect(xcb_connection_t* connection)
{
    WatchSocket(-1);
    xcb_disconnect(connection);
    DisarmDeadline();
}
