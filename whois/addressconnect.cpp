#include "addressconnect.h"

#include "stagebound.h"

#include <QCoreApplication>
#include <QTcpSocket>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("TIdWhois", text);
}

QString describeConnectError(const QTcpSocket &socket)
{
    switch (socket.error()) {
    case QAbstractSocket::ConnectionRefusedError:
        return tr("the connection was refused");
    case QAbstractSocket::SocketTimeoutError:
        return tr("timed out while connecting");
    case QAbstractSocket::NetworkError: // unreachable network or host
        return tr("there is no route to the host (%1)").arg(socket.errorString().toLower());
    default:
        return tr("could not connect (%1)").arg(socket.errorString());
    }
}

} // namespace

QString connectToFirst(QTcpSocket &socket, const QList<QHostAddress> &addresses,
                       std::uint16_t port, std::chrono::milliseconds perAddress,
                       const QDeadlineTimer &deadline)
{
    QString error = tr("timed out while connecting");
    for (const QHostAddress &address : addresses) {
        if (deadline.hasExpired())
            break;
        socket.connectToHost(address, port);
        if (socket.waitForConnected(stageWaitMs(perAddress, deadline)))
            return {};
        error = describeConnectError(socket);
        socket.abort();
    }
    return error;
}
