// The costliest replies that the client's bounds let through, and replies
// just past each bound, looked up in the shown window against a WHOIS
// server on 127.0.0.1. One shape per process, so that the peak memory is
// the whole program's for that shape alone; the server runs in a child
// process, so its copy of the reply is not counted. Prints one JSON line.
//
//   worstshapes SHAPE        (worstshapes list: the shapes)

#include "replyserver.h"

#include "idwhois.h"
#include "whoisapplication.h"
#include "whoismain.h"

#include <QElapsedTimer>
#include <QScrollBar>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <string>

namespace {

constexpr std::size_t Cap = TIdWhois::DefaultMaxReplySize;
constexpr std::size_t Lines = TIdWhois::DefaultMaxReplyLines;
constexpr std::size_t LineLength = TIdWhois::DefaultMaxLineLength; // CR included

// Text of length bytes: words and blanks, or one unbroken run.
std::string text(std::size_t length, bool unbroken)
{
    if (unbroken)
        return std::string(length, 'x');
    std::string s;
    while (s.size() < length)
        s += "word" + std::to_string(s.size() % 997) + ' ';
    s.resize(length);
    return s;
}

// count CR LF lines of length bytes each, CR included.
std::string lines(std::size_t count, std::size_t length, bool unbroken)
{
    const std::string line = text(length - 1, unbroken) + "\r\n";
    std::string reply;
    reply.reserve(count * line.size());
    for (std::size_t i = 0; i < count; ++i)
        reply += line;
    return reply;
}

const std::map<std::string, std::function<std::string()>> &shapes()
{
    static const std::map<std::string, std::function<std::string()>> all = {
        // Within every bound; each as costly as the bounds allow in its way.
        {"short-rows", [] { return lines(Lines, 1, false); }},
        {"full-rows", [] { return lines(Lines, Cap / Lines - 1, false); }},
        {"unbroken-lines", [] { return lines(Cap / (LineLength + 1), LineLength, true); }},
        {"long-lines", [] { return lines(Cap / (LineLength + 1), LineLength, false); }},
        {"mix",
         [] {
             // Unbroken lines at the length bound, each followed by short rows,
             // to the byte cap with the rows just within their bound.
             const std::size_t blocks = Cap / (LineLength + 1 + 800 * 10);
             std::string reply;
             for (std::size_t i = 0; i < blocks; ++i)
                 reply += lines(1, LineLength, true) + lines(800, 8, false);
             return reply;
         }},
        // Just past one bound each.
        {"past-lines", [] { return lines(Lines + 1, 1, false); }},
        {"past-length", [] { return lines(1, LineLength + 1, true); }},
        {"past-size", [] { return lines(Cap / 60000 + 1, 60000, false); }},
    };
    return all;
}

long statusKiB(const char *key)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(key, 0) == 0)
            return std::atol(line.c_str() + std::strlen(key));
    }
    return 0;
}

struct Served
{
    std::uint16_t port = 0;
    std::size_t replyBytes = 0;
};

// Makes the reply and serves it from a child process, so that neither its
// making nor the server's copy counts in this process's memory.
Served serveInChild(const std::function<std::string()> &make, pid_t *child)
{
    int channel[2];
    if (pipe(channel) != 0)
        std::exit(1);
    *child = fork();
    if (*child == 0) {
        ReplyServer server(make());
        const Served served{server.port(), server.reply().size()};
        if (write(channel[1], &served, sizeof served) != sizeof served)
            _exit(1);
        pause();
        _exit(0);
    }
    Served served;
    if (read(channel[0], &served, sizeof served) != sizeof served)
        std::exit(1);
    close(channel[0]);
    close(channel[1]);
    return served;
}

} // namespace

int main(int argc, char **argv)
{
    const std::string name = argc > 1 ? argv[1] : "list";
    const auto shape = shapes().find(name);
    if (shape == shapes().end()) {
        for (const auto &[key, make] : shapes())
            std::printf("%s\n", key.c_str());
        return name == "list" ? 0 : 2;
    }

    pid_t child = 0;
    const Served served = serveInChild(shape->second, &child);

    TApplication application(argc, argv);
    application.Initialize();
    TfmMain window;
    window.IdWhois->Host = "127.0.0.1";
    window.IdWhois->Port = served.port;
    window.edDomain->setText(QStringLiteral("example.kr"));
    window.show();
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    const long idleKiB = statusKiB("VmRSS:");

    // Click to rows shown: the handler, then the event loop's catching up
    // and a paint of the window. A failure is timed in the client itself,
    // since the window would wait in its message box.
    QElapsedTimer clock;
    std::string failure;
    clock.start();
    try {
        if (name.rfind("past-", 0) == 0) {
            window.IdWhois->WhoIs("example.kr");
        } else {
            window.btLookup->click();
            QCoreApplication::processEvents();
            window.repaint();
        }
    } catch (const std::exception &e) {
        failure = e.what();
    }
    const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    const long shownPeakKiB = statusKiB("VmHWM:");

    // Then read through it all, page by page from the top, as a person
    // scrolling would: every row gets laid out on the way. The longest
    // page turn is how long the window can hold while scrolling.
    double longestPageMs = 0;
    if (failure.empty()) {
        QScrollBar *bar = window.meResults->verticalScrollBar();
        bar->setValue(0);
        window.meResults->viewport()->repaint();
        for (int last = -1; bar->value() != last;) {
            last = bar->value();
            clock.restart();
            bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
            window.meResults->viewport()->repaint();
            longestPageMs =
                std::max(longestPageMs, static_cast<double>(clock.nsecsElapsed()) / 1e6);
        }
    }

    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    std::printf("{\"shape\": \"%s\", \"replyBytes\": %zu, \"rows\": %d, \"ms\": %.1f, "
                "\"idleRssMiB\": %.1f, \"peakRssMiB\": %.1f, \"longestPageMs\": %.1f, "
                "\"readThroughPeakRssMiB\": %.1f, \"failure\": \"%s\"}\n",
                name.c_str(), served.replyBytes, window.meResults->blockCount(), ms,
                static_cast<double>(idleKiB) / 1024, static_cast<double>(shownPeakKiB) / 1024,
                longestPageMs, static_cast<double>(statusKiB("VmHWM:")) / 1024,
                failure.empty() ? "" : failure.substr(failure.find("failed: ") + 8).c_str());
    return 0;
}
