// Time of a lookup end to end in the window, and of the display of large
// replies, each beside its floor measured in the same run.

#include "barebox.h"
#include "replyserver.h"

#include "idwhois.h"
#include "replylines.h"
#include "whoisapplication.h"
#include "whoismain.h"

#include <QPlainTextEdit>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

extern char **environ;

namespace {

constexpr int LookupLines = 120;
constexpr int LookupLineBytes = 64; // about 7 kB in all
constexpr int LargeLineBytes = 43;  // 100,000 lines make about 3.8 MiB
const std::string Domain = "example.kr";

TfmMain *window()
{
    static TfmMain *form = [] {
        auto *w = new TfmMain;
        w->show();
        QCoreApplication::processEvents();
        return w;
    }();
    return form;
}

// A bare text box the size of the results box, shown, as the floor.
QPlainTextEdit *bareBox()
{
    static QPlainTextEdit *box = [] {
        auto *b = new QPlainTextEdit;
        b->resize(window()->meResults->size());
        b->show();
        QCoreApplication::processEvents();
        return b;
    }();
    return box;
}

ReplyServer &lookupServer()
{
    static ReplyServer server(makeReply(LookupLines, LookupLineBytes));
    return server;
}

const std::string &largeReply(int lines)
{
    static std::map<int, std::string> replies;
    auto it = replies.find(lines);
    if (it == replies.end())
        it = replies.emplace(lines, makeReply(lines, LargeLineBytes)).first;
    return it->second;
}

// Lets the event loop run what a lookup left for it, then paints the box:
// the rows are on the screen when this returns.
void showNow(QPlainTextEdit *box)
{
    QCoreApplication::processEvents();
    box->viewport()->repaint();
}

template <class Bench>
auto *withStatistics(Bench *b)
{
    return b->UseRealTime()
        ->Unit(benchmark::kMillisecond)
        ->ComputeStatistics(
            "min",
            [](const std::vector<double> &v) { return *std::min_element(v.begin(), v.end()); })
        ->ComputeStatistics("max", [](const std::vector<double> &v) {
            return *std::max_element(v.begin(), v.end());
        });
}

// A click on the lookup button, until the rows are on the screen.
void BM_LookupWindow(benchmark::State &state)
{
    TfmMain *w = window();
    w->IdWhois->Host = "127.0.0.1";
    w->IdWhois->Port = lookupServer().port();
    w->edDomain->setText(QString::fromStdString(Domain));
    for ([[maybe_unused]] auto _ : state) {
        w->btLookup->click();
        showNow(w->meResults);
    }
    if (w->meResults->blockCount() != LookupLines)
        state.SkipWithError("the results box does not hold one row per reply line");
}

// The floor: a bare blocking exchange, then the same rows, one call each.
void BM_LookupFloor(benchmark::State &state)
{
    QPlainTextEdit *box = bareBox();
    for ([[maybe_unused]] auto _ : state) {
        box->clear();
        appendRowsBare(box, plainExchange(lookupServer().port(), Domain));
        showNow(box);
    }
}

// Debian's whois client as a whole process, writing to /dev/null.
void BM_LookupWhoisClient(benchmark::State &state)
{
    const std::string port = std::to_string(lookupServer().port());
    std::vector<std::string> args = {"whois", "-h", "127.0.0.1", "-p", port, Domain};
    std::vector<char *> argv;
    argv.reserve(args.size() + 1);
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    for ([[maybe_unused]] auto _ : state) {
        pid_t pid = 0;
        if (posix_spawnp(&pid, "whois", &actions, nullptr, argv.data(), environ) != 0) {
            state.SkipWithError("the whois client is not installed");
            break;
        }
        int status = 0;
        waitpid(pid, &status, 0);
    }
    posix_spawn_file_actions_destroy(&actions);
}

// The lookup's display path: the reply split and added row by row to the
// window's results box.
void BM_DisplayOurs(benchmark::State &state)
{
    TfmMain *w = window();
    const std::string &reply = largeReply(static_cast<int>(state.range(0)));
    for ([[maybe_unused]] auto _ : state) {
        state.PauseTiming();
        w->meResults->Clear();
        state.ResumeTiming();
        forEachReplyLine(reply, [w](std::string_view line) { w->meResults->Add(line); });
        showNow(w->meResults);
    }
    state.counters["rows"] = w->meResults->blockCount();
}

// Times fill on the bare shown box, emptied before each run outside the timing.
template <class Fill>
void timeBareBox(benchmark::State &state, Fill fill)
{
    QPlainTextEdit *box = bareBox();
    const std::string &reply = largeReply(static_cast<int>(state.range(0)));
    for ([[maybe_unused]] auto _ : state) {
        state.PauseTiming();
        box->clear();
        state.ResumeTiming();
        fill(box, reply);
        showNow(box);
    }
    state.counters["rows"] = box->blockCount();
}

// Floor: the same rows, one appendPlainText each, into a bare shown box.
void BM_DisplayPerRowFloor(benchmark::State &state)
{
    timeBareBox(state,
                [](QPlainTextEdit *box, const std::string &reply) { appendRowsBare(box, reply); });
}

// What the box costs without the row-by-row rule: the whole text at once.
void BM_DisplaySetPlainText(benchmark::State &state)
{
    timeBareBox(state, [](QPlainTextEdit *box, const std::string &reply) {
        box->setPlainText(QString::fromLatin1(reply.data(), static_cast<qsizetype>(reply.size())));
    });
}

void registerAll()
{
    withStatistics(benchmark::RegisterBenchmark("lookup/window", BM_LookupWindow))->Repetitions(15);
    withStatistics(benchmark::RegisterBenchmark("lookup/floor", BM_LookupFloor))->Repetitions(15);
    withStatistics(benchmark::RegisterBenchmark("lookup/whois-client", BM_LookupWhoisClient))
        ->Repetitions(15);
    // Fewer repetitions of the long runs keep the whole bench in minutes.
    const std::pair<int, int> sizes[] = {{1000, 15}, {10000, 7}, {100000, 3}};
    for (const auto &[lines, repetitions] : sizes) {
        withStatistics(benchmark::RegisterBenchmark("display/ours", BM_DisplayOurs))
            ->Arg(lines)
            ->Iterations(1)
            ->Repetitions(repetitions);
        withStatistics(benchmark::RegisterBenchmark("display/per-row-floor", BM_DisplayPerRowFloor))
            ->Arg(lines)
            ->Iterations(1)
            ->Repetitions(repetitions);
        withStatistics(benchmark::RegisterBenchmark("display/setPlainText", BM_DisplaySetPlainText))
            ->Arg(lines)
            ->Iterations(1)
            ->Repetitions(repetitions);
    }
}

} // namespace

int main(int argc, char **argv)
{
    TApplication application(argc, argv);
    application.Initialize();
    benchmark::Initialize(&argc, argv);
    registerAll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
