#include "hostconnect.h"

#include "stagebound.h"

#include <QCoreApplication>

#include <netdb.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("TIdWhois", text);
}

bool isReservedInvalidName(QString name)
{
    if (name.endsWith(QLatin1Char('.')))
        name.chop(1);
    return name.compare(QLatin1String("invalid"), Qt::CaseInsensitive) == 0
        || name.endsWith(QLatin1String(".invalid"), Qt::CaseInsensitive);
}

// Blanks and control characters occur in no host name; such a name (one
// typed with blanks around it, say) never goes to the resolver.
bool hasBlankOrControl(const QString &name)
{
    return std::any_of(name.begin(), name.end(),
                       [](QChar c) { return c.isSpace() || c.category() == QChar::Other_Control; });
}

std::vector<SocketAddress> addressesOf(const addrinfo *list)
{
    std::vector<SocketAddress> addresses;
    for (const addrinfo *info = list; info; info = info->ai_next) {
        if (info->ai_addrlen > sizeof(sockaddr_storage))
            continue;
        SocketAddress address;
        std::memcpy(&address.storage, info->ai_addr, info->ai_addrlen);
        address.length = info->ai_addrlen;
        addresses.push_back(address);
    }
    return addresses;
}

// getaddrinfo for a stream socket; flags decide whether it may ask the
// network. An empty result means the name was not found.
std::vector<SocketAddress> getAddresses(const std::string &name, const std::string &service,
                                        int flags)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = flags | AI_NUMERICSERV;
    addrinfo *list = nullptr;
    if (::getaddrinfo(name.c_str(), service.c_str(), &hints, &list) != 0)
        return {};
    std::vector<SocketAddress> addresses = addressesOf(list);
    ::freeaddrinfo(list);
    return addresses;
}

struct PendingLookup
{
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::vector<SocketAddress> addresses;
};

QString describeConnectError(int error)
{
    const QString reason = QString::fromLocal8Bit(std::strerror(error));
    switch (error) {
    case ECONNREFUSED:
        return tr("the connection was refused");
    case ETIMEDOUT:
        return tr("timed out while connecting");
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ENETDOWN:
    case EHOSTDOWN:
        return tr("there is no route to the host (%1)").arg(reason.toLower());
    default:
        return tr("could not connect (%1)").arg(reason);
    }
}

// Connects descriptor to address within waitMs; 0 once connected, else the
// error, ETIMEDOUT when the wait ran out.
int connectWithin(int descriptor, const SocketAddress &address, int waitMs)
{
    if (::connect(descriptor, reinterpret_cast<const sockaddr *>(&address.storage), address.length)
        == 0)
        return 0;
    // Interrupted, the connect goes on in the background just the same.
    if (errno != EINPROGRESS && errno != EINTR)
        return errno;
    const QDeadlineTimer wait(waitMs);
    for (;;) {
        pollfd p{descriptor, POLLOUT, 0};
        const int n = ::poll(&p, 1, static_cast<int>(std::max<qint64>(wait.remainingTime(), 0)));
        if (n > 0)
            break;
        if (n == 0)
            return ETIMEDOUT;
        if (errno != EINTR)
            return errno;
    }
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(descriptor, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
        return errno;
    return error;
}

} // namespace

ResolvedHost resolveHost(const std::string &name, std::uint16_t port,
                         std::chrono::milliseconds timeout)
{
    ResolvedHost resolved;
    const QString text = QString::fromStdString(name);
    if (text.isEmpty() || hasBlankOrControl(text))
        return resolved;

    const std::string service = std::to_string(port);
    std::string literal = name;
    if (literal.size() > 2 && literal.front() == '[' && literal.back() == ']')
        literal = literal.substr(1, literal.size() - 2);
    resolved.addresses = getAddresses(literal, service, AI_NUMERICHOST);
    if (!resolved.addresses.empty()) {
        resolved.result = ResolvedHost::Found;
        return resolved;
    }
    if (isReservedInvalidName(text))
        return resolved;

    // AI_IDN: a name in another script is looked up by its ASCII form, the
    // only one DNS knows. No AI_ADDRCONFIG: with loopback alone up it would
    // hide names that resolve to loopback.
    auto pending = std::make_shared<PendingLookup>();
    try {
        std::thread([pending, name, service] {
            std::vector<SocketAddress> addresses = getAddresses(name, service, AI_IDN);
            std::lock_guard<std::mutex> lock(pending->mutex);
            pending->addresses = std::move(addresses);
            pending->done = true;
            pending->finished.notify_one();
        }).detach();
    } catch (const std::system_error &e) {
        // Out of threads or of memory for one: a failure of this lookup,
        // told like any other.
        resolved.result = ResolvedHost::Failed;
        resolved.error = e.code().value();
        return resolved;
    }

    std::unique_lock<std::mutex> lock(pending->mutex);
    if (!pending->finished.wait_for(lock, timeout, [&] { return pending->done; })) {
        resolved.result = ResolvedHost::TimedOut;
        return resolved;
    }
    resolved.addresses = std::move(pending->addresses);
    if (!resolved.addresses.empty())
        resolved.result = ResolvedHost::Found;
    return resolved;
}

SocketDescriptor connectToFirst(const std::vector<SocketAddress> &addresses,
                                std::chrono::milliseconds perAddress,
                                const QDeadlineTimer &deadline, QString *failure)
{
    int error = ETIMEDOUT;
    for (const SocketAddress &address : addresses) {
        if (deadline.hasExpired())
            break;
        SocketDescriptor socket(
            ::socket(address.storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        if (!socket.isValid()) {
            error = errno; // this address family may be off here; the next may do
            continue;
        }
        error = connectWithin(socket.get(), address, stageWaitMs(perAddress, deadline));
        if (error == 0)
            return socket;
    }
    *failure = describeConnectError(error);
    return {};
}
