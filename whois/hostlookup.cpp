#include "hostlookup.h"

#include <QHostInfo>

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace {

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

struct PendingLookup
{
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    QHostInfo info;
};

} // namespace

HostLookup lookUpHost(const QString &name, std::chrono::milliseconds timeout)
{
    HostLookup lookup;
    if (name.isEmpty() || hasBlankOrControl(name)) // QHostAddress would trim blanks
        return lookup;

    QString literal = name;
    if (literal.startsWith(QLatin1Char('[')) && literal.endsWith(QLatin1Char(']')))
        literal = literal.mid(1, literal.size() - 2);
    QHostAddress address;
    if (address.setAddress(literal)) {
        lookup.result = HostLookup::Found;
        lookup.addresses.append(address);
        return lookup;
    }
    if (isReservedInvalidName(name))
        return lookup;

    auto pending = std::make_shared<PendingLookup>();
    std::thread([pending, name] {
        QHostInfo info = QHostInfo::fromName(name);
        std::lock_guard<std::mutex> lock(pending->mutex);
        pending->info = std::move(info);
        pending->done = true;
        pending->finished.notify_one();
    }).detach();

    std::unique_lock<std::mutex> lock(pending->mutex);
    if (!pending->finished.wait_for(lock, timeout, [&] { return pending->done; })) {
        lookup.result = HostLookup::TimedOut;
        return lookup;
    }
    if (pending->info.error() == QHostInfo::NoError && !pending->info.addresses().isEmpty()) {
        lookup.result = HostLookup::Found;
        lookup.addresses = pending->info.addresses();
    }
    return lookup;
}
