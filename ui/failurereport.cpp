#include "failurereport.h"

#include <QtGlobal>

#include <utility>

namespace {

FailureReport &installedReport()
{
    static FailureReport report;
    return report;
}

} // namespace

void setFailureReport(FailureReport report)
{
    installedReport() = std::move(report);
}

void reportFailure(const std::exception &failure)
{
    if (const FailureReport &report = installedReport())
        report(failure);
    else
        qCritical("%s", failure.what());
}
