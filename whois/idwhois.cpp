#include "idwhois.h"

#include "asciifilter.h"
#include "hostlookup.h"
#include "whoiserror.h"

#include <QDeadlineTimer>
#include <QTcpSocket>

#include <algorithm>

namespace {

int waitMs(std::chrono::milliseconds stageBound, const QDeadlineTimer &deadline)
{
    const qint64 left = std::max<qint64>(deadline.remainingTime(), 0);
    return static_cast<int>(std::min<qint64>(stageBound.count(), left));
}

QString describeSocketError(const QTcpSocket &socket)
{
    switch (socket.error()) {
    case QAbstractSocket::ConnectionRefusedError:
        return TIdWhois::tr("the connection was refused");
    case QAbstractSocket::NetworkError:
        return TIdWhois::tr("the network reported: %1").arg(socket.errorString());
    default:
        return socket.errorString();
    }
}

} // namespace

TIdWhois::TIdWhois(QObject *owner)
    : QObject(owner)
{
}

std::string TIdWhois::WhoIs(const std::string &query)
{
    const QString host = QString::fromStdString(Host);
    const auto fail = [&](const QString &why) {
        throw EIdWhoisError(tr("WHOIS query to \"%1\" port %2 failed: %3.")
                                .arg(host)
                                .arg(Port)
                                .arg(why)
                                .toStdString());
    };

    // The query is one protocol line; its own line breaks would let the
    // text typed by the user become further lines of the exchange.
    if (query.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
        fail(tr("the query contains a line break or a NUL character, so nothing was sent"));
    if (host.isEmpty())
        fail(tr("no WHOIS server host is set"));

    const QDeadlineTimer deadline(TotalTimeout.count());

    const HostLookup lookup =
        lookUpHost(host, std::chrono::milliseconds(waitMs(ResolveTimeout, deadline)));
    if (lookup.result == HostLookup::TimedOut)
        fail(tr("timed out while looking up the host name"));
    if (lookup.result == HostLookup::NotFound)
        fail(tr("the host was not found"));

    QTcpSocket socket;
    QString connectError;
    for (const QHostAddress &address : lookup.addresses) {
        if (deadline.hasExpired())
            break;
        socket.connectToHost(address, Port);
        if (socket.waitForConnected(waitMs(ConnectTimeout, deadline)))
            break;
        connectError = socket.error() == QAbstractSocket::SocketTimeoutError
            ? tr("timed out while connecting")
            : describeSocketError(socket);
        socket.abort();
    }
    if (socket.state() != QAbstractSocket::ConnectedState)
        fail(connectError.isEmpty() ? tr("timed out while connecting") : connectError);

    // Keeps Qt's own buffer small whatever the server chooses to send.
    socket.setReadBufferSize(64 * 1024);

    const std::string line = query + "\r\n";
    socket.write(line.data(), static_cast<qint64>(line.size()));
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(waitMs(ReadTimeout, deadline))) {
            if (socket.error() == QAbstractSocket::SocketTimeoutError)
                fail(tr("timed out while sending the query"));
            break; // the server may close early; what it sent is still read below
        }
    }

    std::string reply;
    char buffer[16 * 1024];
    for (;;) {
        for (qint64 n; (n = socket.read(buffer, sizeof buffer)) > 0;) {
            if (reply.size() + static_cast<std::size_t>(n) > MaxReplySize)
                fail(tr("the reply is larger than %1 bytes").arg(MaxReplySize));
            reply.append(buffer, static_cast<std::size_t>(n));
        }
        if (socket.state() != QAbstractSocket::ConnectedState)
            break;
        if (!socket.waitForReadyRead(waitMs(ReadTimeout, deadline))) {
            if (socket.error() == QAbstractSocket::RemoteHostClosedError)
                continue; // the normal end: drain what is left, then stop
            if (socket.error() == QAbstractSocket::SocketTimeoutError)
                fail(tr("timed out waiting for the reply"));
            fail(describeSocketError(socket));
        }
    }

    return ASCIIFilter ? asciiFiltered(reply) : reply;
}
