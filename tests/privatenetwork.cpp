#include "privatenetwork.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr char Skipped = 'S';
constexpr char Result = 'R';

bool writeFile(const char *path, const std::string &text)
{
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    return ok;
}

bool enterNamespaces(int flags)
{
    if (::unshare(flags) == 0)
        return true;
    // Without privilege, a user namespace of our own grants it; we are root
    // in it, mapped to our own user outside.
    const uid_t uid = ::getuid();
    const gid_t gid = ::getgid();
    if (::unshare(CLONE_NEWUSER | flags) != 0)
        return false;
    return writeFile("/proc/self/setgroups", "deny")
        && writeFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1")
        && writeFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1");
}

bool bringUpLoopback()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    ifreq request{};
    std::strcpy(request.ifr_name, "lo");
    bool ok = ::ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags |= IFF_UP;
    ok = ok && ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    ::close(fd);
    return ok;
}

// A name server on 127.0.0.1 port 53 that never answers, and the resolver
// configuration of this mount namespace pointed at it. The socket stays
// open for the child's life.
bool silenceResolver()
{
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return false;
    char path[] = "/tmp/resolv.conf.XXXXXX";
    const int file = ::mkstemp(path);
    if (file < 0)
        return false;
    const std::string conf = "nameserver 127.0.0.1\n";
    const bool written = ::write(file, conf.data(), conf.size()) == static_cast<ssize_t>(conf.size());
    ::close(file);
    const bool mounted = written && ::mount(path, "/etc/resolv.conf", nullptr, MS_BIND, nullptr) == 0;
    ::unlink(path); // the mount keeps the file
    if (!mounted)
        return false;
    const int server = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(53);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return server >= 0
        && ::bind(server, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
}

void sendAll(int fd, const std::string &text)
{
    for (std::size_t sent = 0; sent < text.size();) {
        const ssize_t n = ::write(fd, text.data() + sent, text.size() - sent);
        if (n <= 0)
            return;
        sent += static_cast<std::size_t>(n);
    }
}

} // namespace

std::optional<std::string> PrivateNetwork::run(const std::function<std::string()> &work,
                                               Resolver resolver)
{
    int channel[2];
    if (::pipe2(channel, O_CLOEXEC) != 0)
        return std::nullopt;
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(channel[0]);
        ::close(channel[1]);
        return std::nullopt;
    }
    if (child == 0) {
        ::close(channel[0]);
        const int flags = CLONE_NEWNET | (resolver == SilentResolver ? CLONE_NEWNS : 0);
        if (!enterNamespaces(flags) || !bringUpLoopback()
            || (resolver == SilentResolver && !silenceResolver())) {
            sendAll(channel[1], std::string(1, Skipped));
            ::_exit(0);
        }
        sendAll(channel[1], Result + work());
        ::_exit(0);
    }

    ::close(channel[1]);
    std::string output;
    for (;;) {
        pollfd p{channel[0], POLLIN, 0};
        if (::poll(&p, 1, 60000) <= 0) {
            ::kill(child, SIGKILL); // a hung child fails the test, never the run
            break;
        }
        char buffer[4096];
        const ssize_t n = ::read(channel[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        output.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(channel[0]);
    ::waitpid(child, nullptr, 0);
    if (output.empty() || output.front() != Result)
        return output.empty() ? std::optional<std::string>("(the child process gave no result)")
                              : std::nullopt;
    return output.substr(1);
}
