#ifndef FAILUREREPORT_H
#define FAILUREREPORT_H

#include <exception>
#include <functional>

// How a failure raised in one of the window's event handlers reaches the
// person: whoever runs the windows (the application object) installs the
// report; the windows only hand their failures to it.
using FailureReport = std::function<void(const std::exception &failure)>;

// Installs report as the way failures are reported; an empty one removes it.
void setFailureReport(FailureReport report);

// Reports failure through the installed report. With none installed, the
// failure is written to the log, so it is never lost.
void reportFailure(const std::exception &failure);

#endif // FAILUREREPORT_H
