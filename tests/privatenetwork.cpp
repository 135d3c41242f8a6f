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
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>

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

// Puts a file holding text over path, for this mount namespace only.
bool mountText(const char *path, const std::string &text)
{
    char file[] = "/tmp/privatenetwork.XXXXXX";
    const int fd = ::mkstemp(file);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size())
        && ::fchmod(fd, 0644) == 0;
    ::close(fd);
    const bool mounted = written && ::mount(file, path, nullptr, MS_BIND, nullptr) == 0;
    ::unlink(file); // the mount keeps the file
    return mounted;
}

std::string fileText(const char *path)
{
    std::ifstream file(path);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The answer to a DNS query: for an address (A) query, 127.0.0.1; for any
// other, no record. Empty when the query cannot be read.
std::string dnsAnswer(const std::string &query)
{
    constexpr std::size_t HeaderSize = 12;
    std::size_t at = HeaderSize;
    while (at < query.size() && query[at] != 0)
        at += 1 + static_cast<unsigned char>(query[at]);
    const std::size_t questionEnd = at + 1 + 4; // the root label, type, class
    if (query.size() < questionEnd)
        return {};
    const bool addressQuery = query[at + 1] == 0 && query[at + 2] == 1;
    std::string answer = query.substr(0, 2);      // the query's id
    answer += std::string("\x81\x80\0\x01\0", 5); // an answer, no error; one question
    answer += addressQuery ? std::string("\x01", 1) : std::string("\0", 1);
    answer += std::string(4, '\0'); // no authority, no additional
    answer += query.substr(HeaderSize, questionEnd - HeaderSize);
    if (addressQuery) // the question's name, A, IN, 60 s
        answer += std::string("\xc0\x0c\0\x01\0\x01\0\0\0\x3c\0\x04\x7f\0\0\x01", 16);
    return answer;
}

// Answers DNS queries on server, none before a second has passed since the
// first one came.
void answerLate(int server)
{
    std::optional<std::chrono::steady_clock::time_point> first;
    for (;;) {
        char query[512];
        sockaddr_storage from{};
        socklen_t fromLength = sizeof from;
        const ssize_t n = ::recvfrom(server, query, sizeof query, 0,
                                     reinterpret_cast<sockaddr *>(&from), &fromLength);
        if (n < 0)
            return;
        if (!first)
            first = std::chrono::steady_clock::now();
        std::this_thread::sleep_until(*first + std::chrono::seconds(1));
        const std::string answer = dnsAnswer(std::string(query, static_cast<std::size_t>(n)));
        if (!answer.empty())
            ::sendto(server, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr *>(&from),
                     fromLength);
    }
}

// A name server on 127.0.0.1 port 53, and the resolver configuration of
// this mount namespace pointed at it. The silent one takes queries and
// never answers; its socket stays open for the child's life, and so does
// the late one's thread.
bool startNameServer(PrivateNetwork::Resolver resolver)
{
    if (!mountText("/etc/resolv.conf", "nameserver 127.0.0.1\n"))
        return false;
    const int server = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(53);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (server < 0 || ::bind(server, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
        return false;
    if (resolver == PrivateNetwork::LateResolver)
        std::thread(answerLate, server).detach();
    return true;
}

bool mapToLoopback(const std::vector<std::string> &names)
{
    std::string hosts;
    for (const std::string &name : names)
        hosts += "127.0.0.1 " + name + "\n";
    return mountText("/etc/hosts", hosts + fileText("/etc/hosts"));
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
                                               Resolver resolver,
                                               const std::vector<std::string> &loopbackNames)
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
        const bool ownFiles = resolver != SystemResolver || !loopbackNames.empty();
        const int flags = CLONE_NEWNET | (ownFiles ? CLONE_NEWNS : 0);
        // The files mounted over stay in this mount namespace.
        if (!enterNamespaces(flags) || !bringUpLoopback()
            || (ownFiles && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            || (resolver != SystemResolver && !startNameServer(resolver))
            || (!loopbackNames.empty() && !mapToLoopback(loopbackNames))) {
            sendAll(channel[1], std::string(1, Skipped));
            ::_exit(0);
        }
        std::string result;
        try {
            result = work();
        } catch (const std::exception &e) { // told at once, not left to a crash handler
            result = std::string("(an exception escaped: ") + e.what() + ")";
        }
        sendAll(channel[1], Result + result);
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
