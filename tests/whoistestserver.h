#ifndef WHOISTESTSERVER_H
#define WHOISTESTSERVER_H

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A WHOIS server for tests, on a loopback address and a free port. It runs
// on a thread of its own, since the client under test blocks the thread
// that calls it. Each connection: read the query line, then behave as the
// mode says.
class WhoisTestServer
{
public:
    enum class Mode {
        Reply,             // send the reply (any bytes, NUL among them), then close
        CloseWithoutReply, // read the query, close without sending anything
        Silent,            // accept, read, never answer, keep the connection open
        Drip,              // send one byte of the reply every 20 ms, forever
        ResetMidReply,     // send the reply, then reset the connection
        Endless,           // stream the reply over and over, never closing
        Refuse,            // hold the port without listening: connecting is refused
        Unanswered,        // listen with a full backlog: connecting never completes
        NeverReads,        // accept, never read, keep the connection open
    };

    // port 0 takes a free one.
    explicit WhoisTestServer(std::string reply = {}, Mode mode = Mode::Reply,
                             const char *address = "127.0.0.1", std::uint16_t port = 0);
    ~WhoisTestServer();

    WhoisTestServer(const WhoisTestServer &) = delete;
    WhoisTestServer &operator=(const WhoisTestServer &) = delete;

    // The port is held (and, but for Refuse, listened on).
    bool isListening() const { return m_listener >= 0; }
    std::uint16_t port() const { return m_port; }
    int connectionCount() const { return m_connections.load(); }
    // Everything the last client sent before its query line ended or it
    // closed; waits up to two seconds for a connection to have been served.
    std::string received();

private:
    void serve();
    void handle(int client);

    std::string m_reply;
    Mode m_mode;
    int m_listener = -1;
    std::vector<int> m_backlog; // our own connections that fill the queue
    std::uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connections{0};
    std::mutex m_mutex;
    std::condition_variable m_served;
    bool m_hasReceived = false;
    std::string m_received;
    std::thread m_thread;
};

#endif // WHOISTESTSERVER_H
