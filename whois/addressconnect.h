#ifndef ADDRESSCONNECT_H
#define ADDRESSCONNECT_H

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QList>
#include <QString>

#include <chrono>
#include <cstdint>

class QTcpSocket;

// Connects socket to port on the first of addresses that answers, trying
// them in order, IPv6 and IPv4 alike. Each address gets perAddress at most
// (less when deadline comes first); one that refuses or times out is given
// up for the next. Returns an empty string when connected, else why the
// last address tried failed, in words for the failure message.
QString connectToFirst(QTcpSocket &socket, const QList<QHostAddress> &addresses,
                       std::uint16_t port, std::chrono::milliseconds perAddress,
                       const QDeadlineTimer &deadline);

#endif // ADDRESSCONNECT_H
