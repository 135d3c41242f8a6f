#ifndef FAILURERECORDER_H
#define FAILURERECORDER_H

#include "failurereport.h"

#include <QStringList>

// Takes the place of the application object's report while a window test
// runs: notes the message of each failure the window reports.
class FailureRecorder
{
public:
    FailureRecorder()
    {
        setFailureReport([this](const std::exception &e) { texts << QString::fromUtf8(e.what()); });
    }
    ~FailureRecorder() { setFailureReport(nullptr); }
    FailureRecorder(const FailureRecorder &) = delete;
    FailureRecorder &operator=(const FailureRecorder &) = delete;

    QStringList texts;
};

#endif // FAILURERECORDER_H
