#ifndef STAGEBOUND_H
#define STAGEBOUND_H

#include <QDeadlineTimer>

#include <algorithm>
#include <chrono>
#include <limits>

// What is left of the whole exchange's deadline, in ms; one too far off for
// the clock to hold is Forever, and leaves the stages their own bounds.
inline qint64 deadlineLeftMs(const QDeadlineTimer &deadline)
{
    if (deadline.isForever())
        return std::numeric_limits<qint64>::max();
    return std::max<qint64>(deadline.remainingTime(), 0);
}

// A wait in ms as poll() takes it: never negative, which would mean no
// bound, and never past what an int holds.
inline int pollWaitMs(qint64 ms)
{
    return static_cast<int>(std::clamp<qint64>(ms, 0, std::numeric_limits<int>::max()));
}

// How long one stage may wait: its own bound, cut short by the deadline of
// the whole exchange.
inline int stageWaitMs(std::chrono::milliseconds stageBound, const QDeadlineTimer &deadline)
{
    return pollWaitMs(std::min<qint64>(stageBound.count(), deadlineLeftMs(deadline)));
}

#endif // STAGEBOUND_H
