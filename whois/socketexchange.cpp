#include "socketexchange.h"

#include "stagebound.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

namespace {

enum class Wait { Ready, Idle, Deadline, Error };

Wait waitFor(int descriptor, short events, std::chrono::milliseconds idle,
             const QDeadlineTimer &deadline, int *error)
{
    for (;;) {
        const qint64 left = deadlineLeftMs(deadline);
        const bool deadlineFirst = left <= idle.count();
        pollfd p{descriptor, events, 0};
        const int n = ::poll(&p, 1, pollWaitMs(std::min<qint64>(idle.count(), left)));
        if (n > 0)
            return Wait::Ready; // errors and hang-ups show up in the next send or recv
        if (n == 0)
            return deadlineFirst ? Wait::Deadline : Wait::Idle;
        if (errno != EINTR) {
            *error = errno;
            return Wait::Error;
        }
    }
}

ExchangeResult fromWait(Wait wait, bool sending, int error)
{
    ExchangeResult result;
    switch (wait) {
    case Wait::Idle:
        result.outcome = sending ? ExchangeResult::SendTimedOut : ExchangeResult::IdleTimedOut;
        break;
    case Wait::Deadline:
        result.outcome = sending ? ExchangeResult::SendTimedOut : ExchangeResult::TimedOut;
        break;
    default:
        result.outcome = ExchangeResult::Failed;
        result.error = error;
        break;
    }
    return result;
}

} // namespace

ExchangeResult exchangeQuery(int descriptor, const std::string &line, std::string &reply,
                             std::chrono::milliseconds idle, const QDeadlineTimer &deadline,
                             std::size_t maxReplySize, ReplyShape &shape)
{
    int error = 0;
    for (std::size_t sent = 0; sent < line.size();) {
        const ssize_t n = ::send(descriptor, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const Wait wait = waitFor(descriptor, POLLOUT, idle, deadline, &error);
            if (wait != Wait::Ready)
                return fromWait(wait, true, error);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            // The server stopped taking the query (closed or reset); what it
            // sent before that, or the reset itself, is read below.
            break;
        }
    }

    char buffer[16 * 1024];
    for (;;) {
        if (deadline.hasExpired()) // a server that never pauses still ends
            return {ExchangeResult::TimedOut, 0};
        const ssize_t n = ::recv(descriptor, buffer, sizeof buffer, 0);
        if (n > 0) {
            if (reply.size() + static_cast<std::size_t>(n) > maxReplySize)
                return {ExchangeResult::TooLarge, 0};
            switch (shape.add(std::string_view(buffer, static_cast<std::size_t>(n)))) {
            case ReplyShape::TooManyLines:
                return {ExchangeResult::TooManyLines, 0};
            case ReplyShape::LineTooLong:
                return {ExchangeResult::LineTooLong, 0};
            case ReplyShape::Fits:
                break;
            }
            reply.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0) {
            return {ExchangeResult::Complete, 0};
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            const Wait wait = waitFor(descriptor, POLLIN, idle, deadline, &error);
            if (wait != Wait::Ready)
                return fromWait(wait, false, error);
        } else if (errno == ECONNRESET) {
            return {ExchangeResult::Reset, 0};
        } else if (errno != EINTR) {
            return {ExchangeResult::Failed, errno};
        }
    }
}
