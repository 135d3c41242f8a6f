#include "replyserver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

sockaddr_in loopback(std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

void sendAll(int fd, const char *data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

} // namespace

ReplyServer::ReplyServer(std::string reply)
    : m_reply(std::move(reply))
{
    m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (::bind(m_listener, reinterpret_cast<sockaddr *>(&address), length) != 0
        || ::listen(m_listener, 64) != 0) {
        std::perror("bench WHOIS server on 127.0.0.1");
        std::exit(1);
    }
    getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length);
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { serve(); });
}

ReplyServer::~ReplyServer()
{
    m_stop = true;
    m_thread.join();
    ::close(m_listener);
}

void ReplyServer::serve()
{
    while (!m_stop) {
        pollfd p{m_listener, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        const int client = ::accept(m_listener, nullptr, nullptr);
        if (client < 0)
            continue;
        // The query line: read up to its line feed.
        char buffer[1024];
        for (bool done = false; !done;) {
            const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            for (ssize_t i = 0; i < n; ++i)
                done = done || buffer[i] == '\n';
        }
        sendAll(client, m_reply.data(), m_reply.size());
        ::shutdown(client, SHUT_WR);
        // Wait for the client's close, so the port is not left in TIME_WAIT here.
        while (::recv(client, buffer, sizeof buffer, 0) > 0) {
        }
        ::close(client);
    }
}

std::string plainExchange(std::uint16_t port, const std::string &query)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = loopback(port);
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        std::perror("connecting to the bench WHOIS server");
        std::exit(1);
    }
    const std::string line = query + "\r\n";
    sendAll(fd, line.data(), line.size());
    std::string reply;
    char buffer[16 * 1024];
    for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
        reply.append(buffer, static_cast<std::size_t>(n));
    ::close(fd);
    return reply;
}

std::string makeReply(int lines, int lineBytes)
{
    static const char *const fields[] = {
        "Domain Name",
        "Registrant",
        "Registrant Address",
        "Registrant Zip Code",
        "Administrative Contact(AC)",
        "AC E-Mail",
        "AC Phone Number",
        "Registered Date",
        "Last Updated Date",
        "Expiration Date",
        "Publishes",
        "Authorized Agency",
        "Primary Name Server",
        "Host Name",
        "Secondary Name Server",
        "DNSSEC",
    };
    std::string reply;
    reply.reserve(static_cast<std::size_t>(lines) * static_cast<std::size_t>(lineBytes + 2));
    for (int i = 0; i < lines; ++i) {
        if (i % 8 == 7) {
            reply += "\r\n";
            continue;
        }
        std::string line = fields[i % 16];
        line.resize(30, ' ');
        line += ": ";
        for (int j = 0; static_cast<int>(line.size()) < lineBytes; ++j)
            line += static_cast<char>('a' + (i * 7 + j) % 26);
        reply += line;
        reply += "\r\n";
    }
    return reply;
}
