#include "idwhois.h"

#include "asciifilter.h"
#include "hostconnect.h"
#include "replyshape.h"
#include "socketexchange.h"
#include "stagebound.h"
#include "whoiserror.h"

#include <QDeadlineTimer>

#include <cstring>

namespace {

QString seconds(std::chrono::milliseconds bound)
{
    return QString::number(static_cast<double>(bound.count()) / 1000.0);
}

QString sizeText(std::size_t bytes)
{
    constexpr std::size_t MiB = 1024 * 1024;
    if (bytes >= MiB && bytes % MiB == 0)
        return TIdWhois::tr("%1 MiB").arg(bytes / MiB);
    return TIdWhois::tr("%1 bytes").arg(bytes);
}

// The host as a message names it: a control character shows as its
// visible symbol, since a NUL would end the message early and a line break
// would split it.
QString shownHost(QString host)
{
    for (QChar &c : host) {
        if (c.unicode() < 0x20)
            c = QChar(0x2400 + c.unicode());
        else if (c.unicode() == 0x7F)
            c = QChar(0x2421);
    }
    return host;
}

[[noreturn]] void fail(const QString &host, std::uint16_t port, const QString &why)
{
    // One arg() for all three: a "%1" typed into the host stays as typed.
    throw EIdWhoisError(TIdWhois::tr("WHOIS query to \"%1\" port %2 failed: %3.")
                            .arg(shownHost(host), QString::number(port), why)
                            .toStdString());
}

} // namespace

TIdWhois::TIdWhois(QObject *owner)
    : QObject(owner)
{
}

std::string TIdWhois::WhoIs(const std::string &query)
{
    const QString host = QString::fromStdString(Host);

    // The query is one protocol line; its own line breaks would let the
    // text typed by the user become further lines of the exchange.
    if (query.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
        fail(host, Port,
             tr("the query contains a line break or a NUL character, so nothing was sent"));
    if (host.isEmpty())
        fail(host, Port, tr("no WHOIS server host is set"));
    // A time-out of zero or below would end its stage before it began; the
    // whole exchange's would lift the deadline instead. Refused, not guessed.
    const struct
    {
        std::chrono::milliseconds value;
        const char *stage;
    } timeouts[] = {
        {ResolveTimeout, QT_TR_NOOP("name resolution")},
        {ConnectTimeout, QT_TR_NOOP("connecting")},
        {ReadTimeout, QT_TR_NOOP("silence while sending or waiting")},
        {TotalTimeout, QT_TR_NOOP("the whole exchange")},
    };
    for (const auto &timeout : timeouts) {
        if (timeout.value.count() <= 0)
            fail(host, Port,
                 tr("the time-out for %1 is %2 s, and a time-out must be above zero, so nothing "
                    "was sent")
                     .arg(tr(timeout.stage), seconds(timeout.value)));
    }

    const QDeadlineTimer deadline(TotalTimeout.count());

    const ResolvedHost resolved =
        resolveHost(Host, Port, std::chrono::milliseconds(stageWaitMs(ResolveTimeout, deadline)));
    if (resolved.result == ResolvedHost::TimedOut)
        fail(host, Port, tr("timed out while looking up the host name"));
    if (resolved.result == ResolvedHost::NotFound)
        fail(host, Port, tr("the host was not found"));
    if (resolved.result == ResolvedHost::Failed)
        fail(host, Port,
             tr("could not start looking up the host name (%1)")
                 .arg(QString::fromLocal8Bit(std::strerror(resolved.error))));

    QString connectFailure;
    const SocketDescriptor socket =
        connectToFirst(resolved.addresses, ConnectTimeout, deadline, &connectFailure);
    if (!socket.isValid())
        fail(host, Port, connectFailure);

    std::string reply;
    ReplyShape shape(MaxReplyLines, MaxLineLength);
    const ExchangeResult exchange = exchangeQuery(socket.get(), query + "\r\n", reply, ReadTimeout,
                                                  deadline, MaxReplySize, shape);
    switch (exchange.outcome) {
    case ExchangeResult::Complete:
        break;
    case ExchangeResult::SendTimedOut:
        fail(host, Port, tr("timed out while sending the query"));
    case ExchangeResult::IdleTimedOut:
        fail(host, Port,
             tr("timed out waiting for the reply: nothing arrived for %1 s")
                 .arg(seconds(ReadTimeout)));
    case ExchangeResult::TimedOut:
        fail(host, Port,
             tr("timed out waiting for the reply: the whole exchange took longer than %1 s")
                 .arg(seconds(TotalTimeout)));
    case ExchangeResult::Reset:
        fail(host, Port, tr("the connection was reset before the reply was complete"));
    case ExchangeResult::TooLarge:
        fail(host, Port, tr("the reply is too large (more than %1)").arg(sizeText(MaxReplySize)));
    case ExchangeResult::TooManyLines:
        fail(host, Port,
             tr("the reply has too many lines to show (more than %1)").arg(MaxReplyLines));
    case ExchangeResult::LineTooLong:
        fail(host, Port,
             tr("the reply has a line too long to show (more than %1)")
                 .arg(sizeText(MaxLineLength)));
    case ExchangeResult::Failed:
        fail(host, Port,
             tr("the connection failed: %1")
                 .arg(QString::fromLocal8Bit(std::strerror(exchange.error))));
    }

    if (ASCIIFilter)
        reply = asciiFiltered(std::move(reply));
    return reply;
}
