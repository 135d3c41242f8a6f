#ifndef HOSTLOOKUP_H
#define HOSTLOOKUP_H

#include <QHostAddress>
#include <QList>
#include <QString>

#include <chrono>

// Result of turning a WHOIS server's host name into addresses.
struct HostLookup
{
    enum Result { Found, NotFound, TimedOut };

    Result result = NotFound;
    QList<QHostAddress> addresses;
};

// Resolves name, waiting at most timeout. Address literals (IPv4, IPv6,
// IPv6 in brackets) need no lookup; names under the reserved top-level
// domain "invalid" are answered "not found" at once, as RFC 6761 asks, and
// so are names holding blanks or control characters.
// The system resolver has no time-out of its own, so it runs on a
// detached thread that is simply abandoned when the wait runs out.
HostLookup lookUpHost(const QString &name, std::chrono::milliseconds timeout);

#endif // HOSTLOOKUP_H
