#include "whoistestserver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

int bindLoopback(const char *address, int type, std::uint16_t *port)
{
    // *port 0 asks for a free port; the one bound is stored back.
    sockaddr_storage storage{};
    socklen_t length = 0;
    const bool v6 = std::strchr(address, ':') != nullptr;
    if (v6) {
        auto *in6 = reinterpret_cast<sockaddr_in6 *>(&storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(*port);
        inet_pton(AF_INET6, address, &in6->sin6_addr);
        length = sizeof *in6;
    } else {
        auto *in4 = reinterpret_cast<sockaddr_in *>(&storage);
        in4->sin_family = AF_INET;
        in4->sin_port = htons(*port);
        inet_pton(AF_INET, address, &in4->sin_addr);
        length = sizeof *in4;
    }
    const int fd = ::socket(v6 ? AF_INET6 : AF_INET, type, 0);
    if (fd < 0)
        return -1;
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(fd, reinterpret_cast<sockaddr *>(&storage), length) != 0) {
        ::close(fd);
        return -1;
    }
    getsockname(fd, reinterpret_cast<sockaddr *>(&storage), &length);
    *port = ntohs(v6 ? reinterpret_cast<sockaddr_in6 *>(&storage)->sin6_port
                     : reinterpret_cast<sockaddr_in *>(&storage)->sin_port);
    return fd;
}

bool waitReadable(int fd, int ms)
{
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, ms) > 0;
}

// Connects to the listener's own address without blocking; true once the
// handshake completed within ms.
bool connectsWithin(int fd, int listener, int ms)
{
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    getsockname(listener, reinterpret_cast<sockaddr *>(&storage), &length);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&storage), length) == 0)
        return true;
    if (errno != EINPROGRESS)
        return false;
    pollfd p{fd, POLLOUT, 0};
    int error = 0;
    socklen_t size = sizeof error;
    return ::poll(&p, 1, ms) > 0 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0
        && error == 0;
}

} // namespace

WhoisTestServer::WhoisTestServer(std::string reply, Mode mode, const char *address,
                                 std::uint16_t port)
    : m_reply(std::move(reply)),
      m_mode(mode),
      m_port(port)
{
    m_listener = bindLoopback(address, SOCK_STREAM, &m_port);
    if (m_listener < 0 || m_mode == Mode::Refuse)
        return;
    if (m_mode == Mode::NeverReads) {
        // A small receive buffer, which accepted connections inherit: what
        // is sent to them soon stops.
        const int size = 4096;
        setsockopt(m_listener, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    }
    // Backlog 0 leaves room for about one pending connection; once our own
    // connections fill the queue, the kernel drops further handshakes.
    const bool unanswered = m_mode == Mode::Unanswered;
    if (::listen(m_listener, unanswered ? 0 : 16) != 0) {
        ::close(m_listener);
        m_listener = -1;
        return;
    }
    if (unanswered) {
        for (int i = 0; i < 16; ++i) {
            const int fd = ::socket(std::strchr(address, ':') ? AF_INET6 : AF_INET,
                                    SOCK_STREAM | SOCK_NONBLOCK, 0);
            m_backlog.push_back(fd);
            if (!connectsWithin(fd, m_listener, 200))
                return; // the queue is full
        }
        ::close(m_listener); // never filled: no use as a test of connect time-outs
        m_listener = -1;
        return;
    }
    m_thread = std::thread([this] { serve(); });
}

WhoisTestServer::~WhoisTestServer()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    for (int fd : m_backlog)
        ::close(fd);
    if (m_listener >= 0)
        ::close(m_listener);
}

std::string WhoisTestServer::received()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_served.wait_for(lock, std::chrono::seconds(2), [this] { return m_hasReceived; });
    return m_received;
}

void WhoisTestServer::serve()
{
    while (!m_stop) {
        if (!waitReadable(m_listener, 20))
            continue;
        const int client = ::accept(m_listener, nullptr, nullptr);
        if (client < 0)
            continue;
        ++m_connections;
        handle(client);
        ::close(client);
    }
}

void WhoisTestServer::handle(int client)
{
    if (m_mode == Mode::NeverReads) {
        while (!m_stop)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return;
    }
    std::string query;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!m_stop && query.find("\r\n") == std::string::npos
           && std::chrono::steady_clock::now() < deadline) {
        if (!waitReadable(client, 20))
            continue;
        char buffer[65536];
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        query.append(buffer, static_cast<std::size_t>(n));
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_received = query;
        m_hasReceived = true;
    }
    m_served.notify_all();

    const auto sendAll = [&](const char *data, std::size_t size) {
        for (std::size_t sent = 0; sent < size && !m_stop;) {
            pollfd p{client, POLLOUT, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            const ssize_t n = ::send(client, data + sent, size - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0 && errno != EAGAIN)
                return false;
            sent += n > 0 ? static_cast<std::size_t>(n) : 0;
        }
        return !m_stop;
    };

    switch (m_mode) {
    case Mode::Reply:
        sendAll(m_reply.data(), m_reply.size());
        break;
    case Mode::CloseWithoutReply:
    case Mode::Refuse:
    case Mode::Unanswered:
    case Mode::NeverReads:
        break;
    case Mode::Silent:
        while (!m_stop)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        break;
    case Mode::Drip:
        for (std::size_t i = 0; !m_reply.empty() && sendAll(&m_reply[i % m_reply.size()], 1); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        break;
    case Mode::ResetMidReply: {
        sendAll(m_reply.data(), m_reply.size());
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const linger abortive{1, 0}; // closing now sends a reset, not a FIN
        setsockopt(client, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
        break;
    }
    case Mode::Endless:
        while (!m_reply.empty() && sendAll(m_reply.data(), m_reply.size())) {
        }
        break;
    }
}
