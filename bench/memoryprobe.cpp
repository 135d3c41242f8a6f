// Memory held by the shown window before and after a lookup of a large
// reply, or by a bare text box given the same rows one call each. One run
// per process, so that each starts from a fresh heap; prints one JSON line.
//
//   whoismemory ours|floor [lines]

#include "barebox.h"
#include "replyserver.h"

#include "idwhois.h"
#include "replylines.h"
#include "whoisapplication.h"
#include "whoismain.h"

#include <QPlainTextEdit>

#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

struct Sample
{
    long rssKiB = 0;
    long hwmKiB = 0;
    long heapKiB = 0; // bytes handed out by malloc, small and mapped blocks
};

Sample sample()
{
    Sample s;
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            s.rssKiB = std::atol(line.c_str() + 6);
        else if (line.rfind("VmHWM:", 0) == 0)
            s.hwmKiB = std::atol(line.c_str() + 6);
    }
    const struct mallinfo2 info = mallinfo2();
    s.heapKiB = static_cast<long>((info.uordblks + info.hblkhd) / 1024);
    return s;
}

void settle()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

} // namespace

int main(int argc, char **argv)
{
    const bool ours = argc > 1 && std::strcmp(argv[1], "ours") == 0;
    const int lines = argc > 2 ? std::atoi(argv[2]) : 100000;

    TApplication application(argc, argv);
    application.Initialize();
    ReplyServer server(makeReply(lines, 43));

    TfmMain window;
    QPlainTextEdit box;
    if (ours) {
        window.IdWhois->Host = "127.0.0.1";
        window.IdWhois->Port = server.port();
        window.edDomain->setText(QStringLiteral("example.kr"));
        window.show();
    } else {
        box.resize(641, 257);
        box.show();
    }
    settle();
    malloc_trim(0);
    const Sample before = sample();

    int rows = 0;
    if (ours) {
        window.btLookup->click();
        rows = window.meResults->blockCount();
    } else {
        const std::string reply = plainExchange(server.port(), "example.kr");
        appendRowsBare(&box, reply);
        rows = box.blockCount();
    }
    settle();
    const Sample after = sample();

    std::printf("{\"mode\": \"%s\", \"lines\": %d, \"rows\": %d, \"replyKiB\": %ld, "
                "\"rssBeforeKiB\": %ld, \"rssGrowthKiB\": %ld, \"peakGrowthKiB\": %ld, "
                "\"heapGrowthKiB\": %ld}\n",
                ours ? "ours" : "floor", lines, rows,
                static_cast<long>(server.reply().size() / 1024), before.rssKiB,
                after.rssKiB - before.rssKiB, after.hwmKiB - before.rssKiB,
                after.heapKiB - before.heapKiB);
    return 0;
}
