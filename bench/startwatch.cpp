// Start-up time of a program seen from outside, on the X display: from
// just before the process is spawned until its first top-level window is
// mapped and painted. Then, after a second of idling, its peak resident
// memory and the shared libraries it has loaded; then it is terminated.
// Prints one JSON line per run.
//
//   startwatch PROGRAM [ARGS...]
//
// "Painted" is the first damage to the mapped window after which the
// window's image is no longer one flat colour: the server's own fill on
// mapping is flat, a painted window with controls and text is not.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>

#include <dirent.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <thread>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

bool looksPainted(Display *display, Window window)
{
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes) || attributes.map_state != IsViewable)
        return false;
    XImage *image =
        XGetImage(display, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
    if (!image)
        return false;
    std::set<unsigned long> colours;
    for (int y = 0; y < image->height && colours.size() < 3; y += 3)
        for (int x = 0; x < image->width && colours.size() < 3; x += 3)
            colours.insert(XGetPixel(image, x, y));
    XDestroyImage(image);
    return colours.size() >= 3;
}

long statusKiB(pid_t pid, const char *field)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    const std::string prefix = std::string(field) + ":";
    for (std::string line; std::getline(status, line);)
        if (line.rfind(prefix, 0) == 0)
            return std::atol(line.c_str() + prefix.size());
    return -1;
}

// CPU time the process's threads have run so far, from the scheduler's
// counts in nanoseconds: less moved by other load than the wall clock.
double cpuMs(pid_t pid)
{
    double total = 0;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task/";
    DIR *dir = opendir(tasks.c_str());
    if (!dir)
        return -1;
    while (const dirent *entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        std::ifstream schedstat(tasks + entry->d_name + "/schedstat");
        double runNs = 0;
        if (schedstat >> runNs)
            total += runNs / 1e6;
    }
    closedir(dir);
    return total;
}

// The shared objects mapped into the process, by path, sorted.
std::set<std::string> sharedLibraries(pid_t pid)
{
    std::set<std::string> libraries;
    std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
    for (std::string line; std::getline(maps, line);) {
        const std::size_t path = line.find('/');
        if (path != std::string::npos && line.find(".so", path) != std::string::npos)
            libraries.insert(line.substr(path));
    }
    return libraries;
}

std::string jsonList(const std::set<std::string> &items)
{
    std::string list = "[";
    for (const std::string &item : items) {
        list += list.size() > 1 ? ", \"" : "\"";
        for (char c : item)
            list += (c == '"' || c == '\\') ? std::string("\\") + c : std::string(1, c);
        list += '"';
    }
    return list + "]";
}

int ignoreErrors(Display *, XErrorEvent *)
{
    return 0; // windows may go before their damage objects are made
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: startwatch PROGRAM [ARGS...]\n");
        return 2;
    }
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "startwatch: cannot open the X display \"%s\"\n",
                     std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "");
        return 2;
    }
    int damageEvent = 0, damageError = 0;
    if (!XDamageQueryExtension(display, &damageEvent, &damageError)) {
        std::fprintf(stderr, "startwatch: the X server has no DAMAGE extension\n");
        return 2;
    }
    XSetErrorHandler(ignoreErrors);
    const Window root = DefaultRootWindow(display);
    XSelectInput(display, root, SubstructureNotifyMask);
    XSync(display, False);

    const Clock::time_point start = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[1], nullptr, nullptr, argv + 1, environ) != 0) {
        std::fprintf(stderr, "startwatch: cannot start %s\n", argv[1]);
        return 2;
    }

    std::set<Window> mapped;
    double paintedMs = -1;
    double mappedMs = -1;
    double paintedCpuMs = -1;
    const Clock::time_point giveUp = start + std::chrono::seconds(20);
    while (paintedMs < 0 && Clock::now() < giveUp) {
        if (!XPending(display)) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            continue;
        }
        XEvent event;
        XNextEvent(display, &event);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        if (event.type == CreateNotify && event.xcreatewindow.parent == root) {
            // Watched from its creation, so that no paint can be missed.
            XDamageCreate(display, event.xcreatewindow.window, XDamageReportNonEmpty);
        } else if (event.type == MapNotify && event.xmap.event == root) {
            mapped.insert(event.xmap.window);
            if (mappedMs < 0)
                mappedMs = ms;
        } else if (event.type == damageEvent + XDamageNotify) {
            const auto *damage = reinterpret_cast<XDamageNotifyEvent *>(&event);
            XDamageSubtract(display, damage->damage, None, None);
            if (mapped.count(damage->drawable) && looksPainted(display, damage->drawable)) {
                paintedMs = ms;
                paintedCpuMs = cpuMs(pid);
            }
        }
    }

    long peakKiB = -1, rssKiB = -1;
    std::set<std::string> libraries;
    if (paintedMs >= 0) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        peakKiB = statusKiB(pid, "VmHWM");
        rssKiB = statusKiB(pid, "VmRSS");
        libraries = sharedLibraries(pid);
    }
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    XCloseDisplay(display);
    if (paintedMs < 0) {
        std::fprintf(stderr, "startwatch: %s showed no painted window within 20 s\n", argv[1]);
        return 1;
    }
    std::printf(
        "{\"program\": \"%s\", \"mappedMs\": %.2f, \"paintedMs\": %.2f, \"paintedCpuMs\": %.2f, "
        "\"idlePeakKiB\": %ld, \"idleRssKiB\": %ld, \"libraries\": %s}\n",
        argv[1], mappedMs, paintedMs, paintedCpuMs, peakKiB, rssKiB, jsonList(libraries).c_str());
    return 0;
}
