#ifndef HOSTCONNECT_H
#define HOSTCONNECT_H

#include "socketdescriptor.h"

#include <QDeadlineTimer>
#include <QString>

#include <sys/socket.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// The way to a WHOIS server before the exchange: its host name resolved to
// addresses, then a TCP connection to the first of them that answers.

struct SocketAddress
{
    sockaddr_storage storage{};
    socklen_t length = 0;
};

struct ResolvedHost
{
    enum Result { Found, NotFound, TimedOut, Failed };

    Result result = NotFound;
    std::vector<SocketAddress> addresses; // in the resolver's order, port set
    int error = 0;                        // errno for Failed
};

// Resolves name (UTF-8) for port, waiting at most timeout. Address literals
// (IPv4, IPv6, IPv6 in brackets) need no lookup; names under the reserved
// top-level domain "invalid" are answered "not found" at once, as RFC 6761
// asks, and so are names holding blanks or control characters.
// The system resolver has no time-out of its own, so it runs on a detached
// thread that is simply abandoned when the wait runs out; Failed when that
// thread cannot be started.
ResolvedHost resolveHost(const std::string &name, std::uint16_t port,
                         std::chrono::milliseconds timeout);

// Connects to the first of addresses that answers, trying them in order,
// IPv6 and IPv4 alike. Each address gets perAddress at most (less when
// deadline comes first); one that refuses or times out is given up for the
// next. Returns the connected, non-blocking socket; or, when none answered,
// an invalid one and in *failure why the last address tried failed, in
// words for the failure message.
SocketDescriptor connectToFirst(const std::vector<SocketAddress> &addresses,
                                std::chrono::milliseconds perAddress,
                                const QDeadlineTimer &deadline, QString *failure);

#endif // HOSTCONNECT_H
