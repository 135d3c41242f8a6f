#ifndef REPLYSERVER_H
#define REPLYSERVER_H

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

// A WHOIS server on 127.0.0.1 and a free port, on a thread of its own: for
// each connection it reads the query line, sends the reply and closes.
class ReplyServer
{
public:
    explicit ReplyServer(std::string reply);
    ~ReplyServer();

    ReplyServer(const ReplyServer &) = delete;
    ReplyServer &operator=(const ReplyServer &) = delete;

    std::uint16_t port() const { return m_port; }
    const std::string &reply() const { return m_reply; }

private:
    void serve();

    const std::string m_reply;
    int m_listener = -1;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// A blocking exchange with a WHOIS server on 127.0.0.1, with nothing but
// POSIX sockets: send the query line, read until the server closes.
std::string plainExchange(std::uint16_t port, const std::string &query);

// A reply shaped like a real registry's: lines of about lineBytes bytes,
// each ended by CR LF, with a blank line every few lines.
std::string makeReply(int lines, int lineBytes);

#endif // REPLYSERVER_H
