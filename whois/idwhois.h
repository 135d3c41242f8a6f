#ifndef IDWHOIS_H
#define IDWHOIS_H

#include <QObject>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

// A WHOIS client (RFC 3912): sends one query line to Host on Port over TCP
// and returns everything the server sends until it closes the connection.
// The call blocks; every stage of it is bounded in time, and the reply is
// bounded in size. Failures are thrown as EIdWhoisError.
class TIdWhois : public QObject
{
    Q_OBJECT

public:
    static constexpr const char *DefaultHost = "whois.kr";
    static constexpr std::uint16_t DefaultPort = 43;

    // Name resolution, as a whole.
    static constexpr std::chrono::milliseconds DefaultResolveTimeout{10000};
    // Connecting, for each address of the host in turn.
    static constexpr std::chrono::milliseconds DefaultConnectTimeout{10000};
    // Silence while sending the query or waiting for the reply.
    static constexpr std::chrono::milliseconds DefaultReadTimeout{20000};
    // The whole exchange, from resolution to the server's close.
    static constexpr std::chrono::milliseconds DefaultTotalTimeout{60000};
    // Real replies are tens of kB; routing-registry listings a few MB.
    static constexpr std::size_t DefaultMaxReplySize = 8u * 1024u * 1024u;
    // What the results box can show promptly: each line costs a row, and a
    // line is laid out whole when it comes into view. Real replies run to
    // tens of thousands of lines of under a hundred characters.
    static constexpr std::size_t DefaultMaxReplyLines = 100000;
    static constexpr std::size_t DefaultMaxLineLength = 64u * 1024u;

    explicit TIdWhois(QObject *owner = nullptr);

    std::string Host = DefaultHost;
    std::uint16_t Port = DefaultPort;
    // When set, the reply holds only 7-bit characters (see asciiFiltered).
    bool ASCIIFilter = false;

    std::chrono::milliseconds ResolveTimeout = DefaultResolveTimeout;
    std::chrono::milliseconds ConnectTimeout = DefaultConnectTimeout;
    std::chrono::milliseconds ReadTimeout = DefaultReadTimeout;
    std::chrono::milliseconds TotalTimeout = DefaultTotalTimeout;
    std::size_t MaxReplySize = DefaultMaxReplySize;
    // Lines as the reply is shown: text between line feeds, blank ones
    // (a run of line feeds) not counted; lengths in bytes.
    std::size_t MaxReplyLines = DefaultMaxReplyLines;
    std::size_t MaxLineLength = DefaultMaxLineLength;

    // Asks the server in effect about query; returns the whole reply.
    std::string WhoIs(const std::string &query);
};

#endif // IDWHOIS_H
