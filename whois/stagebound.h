#ifndef STAGEBOUND_H
#define STAGEBOUND_H

#include <QDeadlineTimer>

#include <algorithm>
#include <chrono>

// How long one stage may wait: its own bound, cut short by the deadline of
// the whole exchange.
inline int stageWaitMs(std::chrono::milliseconds stageBound, const QDeadlineTimer &deadline)
{
    const qint64 left = std::max<qint64>(deadline.remainingTime(), 0);
    return static_cast<int>(std::min<qint64>(stageBound.count(), left));
}

#endif // STAGEBOUND_H
