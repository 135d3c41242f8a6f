#ifndef SOCKETEXCHANGE_H
#define SOCKETEXCHANGE_H

#include "replyshape.h"

#include <QDeadlineTimer>

#include <chrono>
#include <cstddef>
#include <string>

// The byte exchange of one WHOIS query on a connected, non-blocking socket
// descriptor: send the query line, then read until the server closes. A
// connection reset before the close stays a failure, never a shorter reply,
// and the reading stops at the first byte past a bound.
struct ExchangeResult
{
    enum Outcome {
        Complete,     // the server closed the connection: reply is whole
        SendTimedOut, // the query could not be sent within the bounds
        IdleTimedOut, // nothing arrived for the idle bound
        TimedOut,     // the overall deadline passed
        Reset,        // the connection was reset before the server closed
        TooLarge,     // the reply outgrew the cap
        TooManyLines, // the reply has more lines than shape allows
        LineTooLong,  // a line of the reply is longer than shape allows
        Failed,       // any other socket error; see error
    };

    Outcome outcome = Complete;
    int error = 0; // errno for Failed
};

ExchangeResult exchangeQuery(int descriptor, const std::string &line, std::string &reply,
                             std::chrono::milliseconds idle, const QDeadlineTimer &deadline,
                             std::size_t maxReplySize, ReplyShape &shape);

#endif // SOCKETEXCHANGE_H
