#include "hostconnect.h"
#include "idwhois.h"
#include "lookupoutcome.h"
#include "privatenetwork.h"
#include "stagebound.h"
#include "whoiserror.h"
#include "whoistestserver.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTest>

#include <netdb.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <system_error>
#include <thread>

using namespace std::chrono_literals;

// The WHOIS client against servers started here on loopback.
class TestIdWhois : public QObject
{
    Q_OBJECT

private slots:
    void defaults();
    void sendsQueryLine();
    void returnsReplyByteForByte_data();
    void returnsReplyByteForByte();
    void againstServers_data();
    void againstServers();
    void replyShapeBounds_data();
    void replyShapeBounds();
    void shippedBoundsInMessages_data();
    void shippedBoundsInMessages();
    void sendingIsBounded();
    void timeOutSettings_data();
    void timeOutSettings();
    void stageWaits();
    void connectMovesToTheNextAddress_data();
    void connectMovesToTheNextAddress();
    void connectReportsTheLastFailure();
    void inPrivateNetwork_data();
    void inPrivateNetwork();
    void resolverThatNeverAnswers();
    void namesNeverAsked_data();
    void namesNeverAsked();
    void abandonedResolverFinishesSafely();
    void resolverThreadThatCannotStart();
    void queriesSentAsTheyAre_data();
    void queriesSentAsTheyAre();
    void asciiFilterLeavesSevenBits();
    void lineBreakInQuerySendsNothing();
};

namespace {

constexpr int NoServer = -1;

std::string whoisAt(const char *host, std::uint16_t port, const std::string &query,
                    bool asciiFilter = false)
{
    TIdWhois client;
    client.Host = host;
    client.Port = port;
    client.ASCIIFilter = asciiFilter;
    client.ReadTimeout = 5s;
    return client.WhoIs(query);
}

QByteArray bytes(const std::string &s)
{
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

int openDescriptors()
{
    return static_cast<int>(QDir("/proc/self/fd").entryList(QDir::Files | QDir::System).size());
}

int runningThreads()
{
    return static_cast<int>(
        QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

// The addresses of the literals, in order, as a host name would give them.
std::vector<SocketAddress> addressesOf(std::initializer_list<const char *> literals,
                                       std::uint16_t port)
{
    std::vector<SocketAddress> addresses;
    for (const char *literal : literals) {
        const ResolvedHost resolved = resolveHost(literal, port, 1s);
        addresses.insert(addresses.end(), resolved.addresses.begin(), resolved.addresses.end());
    }
    return addresses;
}

QString peerOf(const SocketDescriptor &socket)
{
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    char text[NI_MAXHOST] = {};
    if (getpeername(socket.get(), reinterpret_cast<sockaddr *>(&peer), &length) != 0
        || getnameinfo(reinterpret_cast<sockaddr *>(&peer), length, text, sizeof text, nullptr, 0,
                       NI_NUMERICHOST)
            != 0)
        return {};
    return QString::fromLatin1(text);
}

} // namespace

void TestIdWhois::defaults()
{
    TIdWhois client;
    QCOMPARE(client.Host, std::string("whois.kr"));
    QCOMPARE(client.Port, std::uint16_t(43));
    QCOMPARE(client.ASCIIFilter, false);
    // Bounds a user would accept: a broken address is given up in seconds,
    // silence in well under a minute, the whole exchange within one.
    QCOMPARE(client.ResolveTimeout, 10s);
    QCOMPARE(client.ConnectTimeout, 10s);
    QCOMPARE(client.ReadTimeout, 20s);
    QCOMPARE(client.TotalTimeout, 60s);
    QCOMPARE(client.MaxReplySize, std::size_t(8 * 1024 * 1024));
    QCOMPARE(client.MaxReplyLines, std::size_t(100000));
    QCOMPARE(client.MaxLineLength, std::size_t(64 * 1024));
}

void TestIdWhois::sendsQueryLine()
{
    WhoisTestServer server("ok\r\n");
    QVERIFY(server.isListening());
    whoisAt("127.0.0.1", server.port(), "example.kr");
    QCOMPARE(bytes(server.received()), QByteArray("example.kr\r\n"));
    QCOMPARE(server.connectionCount(), 1);
}

void TestIdWhois::returnsReplyByteForByte_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("CR LF") << QByteArray("Domain Name: example.kr\r\n\r\nRegistrant: X\r\n");
    QTest::newRow("LF") << QByteArray("a\n\nb\n");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("no final line end") << QByteArray("last line");
    QTest::newRow("larger than one read") << (QByteArray(999, 'w') + '\n').repeated(300);
}

void TestIdWhois::returnsReplyByteForByte()
{
    QFETCH(QByteArray, reply);
    WhoisTestServer server(reply.toStdString());
    QVERIFY(server.isListening());
    QCOMPARE(bytes(whoisAt("127.0.0.1", server.port(), "example.kr")), reply);
}

void TestIdWhois::againstServers_data()
{
    using Mode = WhoisTestServer::Mode;
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("mode"); // a WhoisTestServer::Mode, or NoServer
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("expected"); // the reply returned, if no failure
    QTest::addColumn<QString>("failure"); // the message, %1 standing for the port, %2 for the host

    const QString prefix = R"(WHOIS query to "%2" port %1 failed: )";
    QByteArray binary("a\0b\r\n\xff\xfe\x80 \xc3\xa9\n\0", 13);

    QTest::newRow("IPv4 reply") << "127.0.0.1" << int(Mode::Reply) << QByteArray("x\r\n")
                                << QByteArray("x\r\n") << "";
    QTest::newRow("IPv6 reply") << "::1" << int(Mode::Reply) << QByteArray("y\n")
                                << QByteArray("y\n") << "";
    QTest::newRow("IPv6 in brackets")
        << "[::1]" << int(Mode::Reply) << QByteArray("z") << QByteArray("z") << "";
    QTest::newRow("close without a reply")
        << "127.0.0.1" << int(Mode::CloseWithoutReply) << QByteArray() << QByteArray() << "";
    QTest::newRow("NUL and high bytes kept")
        << "127.0.0.1" << int(Mode::Reply) << binary << binary << "";
    QTest::newRow("refused") << "127.0.0.1" << int(Mode::Refuse) << QByteArray() << QByteArray()
                             << prefix + "the connection was refused.";
    QTest::newRow("refused on IPv6") << "::1" << int(Mode::Refuse) << QByteArray() << QByteArray()
                                     << prefix + "the connection was refused.";
    QTest::newRow("connecting never completes")
        << "127.0.0.1" << int(Mode::Unanswered) << QByteArray() << QByteArray()
        << prefix + "timed out while connecting.";
    QTest::newRow("connecting never completes on IPv6")
        << "::1" << int(Mode::Unanswered) << QByteArray() << QByteArray()
        << prefix + "timed out while connecting.";
    QTest::newRow("accepts, stays silent")
        << "127.0.0.1" << int(Mode::Silent) << QByteArray() << QByteArray()
        << prefix + "timed out waiting for the reply: nothing arrived for 0.4 s.";
    QTest::newRow("drips forever")
        << "127.0.0.1" << int(Mode::Drip) << QByteArray("drip") << QByteArray()
        << prefix + "timed out waiting for the reply: the whole exchange took longer than 1.5 s.";
    QTest::newRow("reset mid-reply")
        << "127.0.0.1" << int(Mode::ResetMidReply) << QByteArray("Domain Name: ex") << QByteArray()
        << prefix + "the connection was reset before the reply was complete.";
    QTest::newRow("endless stream")
        << "::1" << int(Mode::Endless) << QByteArray(4096, 'e') << QByteArray()
        << prefix + "the reply is too large (more than 65536 bytes).";
    const QByteArray atTheCap = (QByteArray(63, 'c') + '\n').repeated(1024);
    QTest::newRow("reply of exactly the byte cap")
        << "127.0.0.1" << int(Mode::Reply) << atTheCap << atTheCap << "";
    QTest::newRow("one byte past the cap")
        << "127.0.0.1" << int(Mode::Reply) << atTheCap + 'c' << QByteArray()
        << prefix + "the reply is too large (more than 65536 bytes).";
    QTest::newRow("unresolvable") << "whois.example.invalid" << NoServer << QByteArray()
                                  << QByteArray() << prefix + "the host was not found.";
    QTest::newRow("300-character name")
        << QString(292, 'a') + ".invalid" << NoServer << QByteArray() << QByteArray()
        << prefix + "the host was not found.";
    QTest::newRow("blanks around the host") << " 127.0.0.1 " << NoServer << QByteArray()
                                            << QByteArray() << prefix + "the host was not found.";
    QTest::newRow("percent signs in the host")
        << "a%1b%2.invalid" << NoServer << QByteArray() << QByteArray()
        << prefix + "the host was not found.";
    // Should one reach the client: the server listens on the part before
    // the NUL, and the message names the host whole, the NUL made visible.
    QTest::newRow("NUL inside the host")
        << QString::fromLatin1("127.0.0.1\0x", 11) << int(Mode::Reply) << QByteArray("reached")
        << QByteArray()
        << QString(R"(WHOIS query to "127.0.0.1)") + QChar(0x2400)
            + R"(x" port %1 failed: the host was not found.)";
    QTest::newRow("empty host") << "" << NoServer << QByteArray() << QByteArray()
                                << prefix + "no WHOIS server host is set.";
}

void TestIdWhois::againstServers()
{
    QFETCH(QString, host);
    QFETCH(int, mode);
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, expected);
    QFETCH(QString, failure);

    const QString address = host.startsWith('[') ? host.mid(1, host.size() - 2) : host;
    const int descriptorsBefore = openDescriptors();
    std::unique_ptr<WhoisTestServer> server;
    std::uint16_t port = 43;
    if (mode != NoServer) {
        server = std::make_unique<WhoisTestServer>(reply.toStdString(), WhoisTestServer::Mode(mode),
                                                   qPrintable(address));
        QVERIFY(server->isListening());
        port = server->port();
    }

    TIdWhois client;
    client.Host = host.toStdString();
    client.Port = port;
    client.ConnectTimeout = 300ms;
    client.ReadTimeout = 400ms;
    client.TotalTimeout = 1500ms;
    client.MaxReplySize = 64 * 1024;
    try {
        const std::string got = client.WhoIs("example.kr");
        QVERIFY2(failure.isEmpty(), "the query succeeded");
        QCOMPARE(bytes(got), expected);
    } catch (const EIdWhoisError &e) {
        // The port first: the host may hold a "%1" of its own.
        QCOMPARE(QString::fromStdString(e.what()),
                 QString(failure).replace("%1", QString::number(port)).replace("%2", host));
    }
    // Every socket of the attempt is closed, whichever way it ended (the
    // server's own go with it).
    server.reset();
    QCOMPARE(openDescriptors(), descriptorsBefore);
}

// Lines as the results box shows them: blank ones, a run of line feeds,
// are not counted; a blank CR LF line is a row of one CR and is.
void TestIdWhois::replyShapeBounds_data()
{
    using Mode = WhoisTestServer::Mode;
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("failure"); // empty: the reply comes back whole

    const QString tooMany = "the reply has too many lines to show (more than 100).";
    const QString tooLong = "the reply has a line too long to show (more than 20000 bytes).";
    const QByteArray atLength(20000, 'x'); // longer than one read of the socket

    QTest::newRow("lines at the bound")
        << int(Mode::Reply) << QByteArray("line\r\n").repeated(100) << "";
    QTest::newRow("one line past")
        << int(Mode::Reply) << QByteArray("line\r\n").repeated(101) << tooMany;
    QTest::newRow("last line without LF past")
        << int(Mode::Reply) << QByteArray("a\n").repeated(100) + "b" << tooMany;
    QTest::newRow("runs of LF make no lines")
        << int(Mode::Reply) << "\n\n" + QByteArray("a\n\n\n").repeated(100) << "";
    QTest::newRow("blank CR LF lines count")
        << int(Mode::Reply) << QByteArray("a\r\n\r\n").repeated(51) << tooMany;
    QTest::newRow("endless short lines") << int(Mode::Endless) << QByteArray("e\n") << tooMany;
    QTest::newRow("a CR at the end counts") << int(Mode::Reply) << atLength + "\r" << tooLong;
    QTest::newRow("lines at the length")
        << int(Mode::Reply) << (atLength + "\n").repeated(3) + atLength << "";
    QTest::newRow("one byte past") << int(Mode::Reply) << "a\n" + atLength + "x\nb" << tooLong;
    QTest::newRow("endless line") << int(Mode::Endless) << QByteArray(4096, 'e') << tooLong;
}

void TestIdWhois::replyShapeBounds()
{
    QFETCH(int, mode);
    QFETCH(QByteArray, reply);
    QFETCH(QString, failure);

    WhoisTestServer server(reply.toStdString(), WhoisTestServer::Mode(mode));
    QVERIFY(server.isListening());
    TIdWhois client;
    client.Host = "127.0.0.1";
    client.Port = server.port();
    client.ReadTimeout = 2s;
    client.MaxReplyLines = 100;
    client.MaxLineLength = 20000;
    try {
        const std::string got = client.WhoIs("example.kr");
        QVERIFY2(failure.isEmpty(), "the query succeeded");
        QCOMPARE(bytes(got), reply);
    } catch (const EIdWhoisError &e) {
        QCOMPARE(QString::fromStdString(e.what()),
                 QString(R"(WHOIS query to "127.0.0.1" port %1 failed: )").arg(server.port())
                     + failure);
    }
}

// The shipped bounds, as a person reads them in the failure message.
void TestIdWhois::shippedBoundsInMessages_data()
{
    QTest::addColumn<QByteArray>("endless");
    QTest::addColumn<QString>("reason");

    QTest::newRow("reply size") << QByteArray(60000, 'e') + '\n'
                                << "the reply is too large (more than 8 MiB).";
    QTest::newRow("lines") << QByteArray("e\r\n")
                           << "the reply has too many lines to show (more than 100000).";
    QTest::newRow("line length") << QByteArray(
        4096, 'e') << "the reply has a line too long to show (more than 65536 bytes).";
}

void TestIdWhois::shippedBoundsInMessages()
{
    QFETCH(QByteArray, endless);
    QFETCH(QString, reason);

    WhoisTestServer server(endless.toStdString(), WhoisTestServer::Mode::Endless);
    QVERIFY(server.isListening());
    TIdWhois client;
    client.Host = "127.0.0.1";
    client.Port = server.port();
    QCOMPARE(QString::fromStdString(failureOf(client)),
             QString(R"(WHOIS query to "127.0.0.1" port %1 failed: )").arg(server.port()) + reason);
}

// A server that never reads: the query stops going out once the buffers on
// the way are full, and the silence bound ends the wait.
void TestIdWhois::sendingIsBounded()
{
    WhoisTestServer server({}, WhoisTestServer::Mode::NeverReads);
    QVERIFY(server.isListening());
    TIdWhois client;
    client.Host = "127.0.0.1";
    client.Port = server.port();
    client.ReadTimeout = 400ms;
    try {
        client.WhoIs(std::string(8 * 1024 * 1024, 'q'));
        QFAIL("the query succeeded");
    } catch (const EIdWhoisError &e) {
        QCOMPARE(QString::fromStdString(e.what()),
                 QString(R"(WHOIS query to "127.0.0.1" port %1 failed: timed out while sending )"
                         "the query.")
                     .arg(server.port()));
    }
}

void TestIdWhois::timeOutSettings_data()
{
    QTest::addColumn<int>("setting"); // resolution, connecting, silence, whole exchange
    QTest::addColumn<qint64>("ms");
    QTest::addColumn<QString>("failure"); // empty: the reply comes back

    const QString refused = "the time-out for %1 is %2 s, and a time-out must be above zero, "
                            "so nothing was sent.";
    QTest::newRow("resolution zero") << 0 << qint64(0) << refused.arg("name resolution", "0");
    QTest::newRow("connecting negative") << 1 << qint64(-1000) << refused.arg("connecting", "-1");
    QTest::newRow("silence negative")
        << 2 << qint64(-1) << refused.arg("silence while sending or waiting", "-0.001");
    QTest::newRow("whole exchange negative")
        << 3 << qint64(-1) << refused.arg("the whole exchange", "-0.001");
    // Too far off for the clock: the stages keep their own bounds.
    QTest::newRow("whole exchange of a thousand years")
        << 3 << qint64(1000) * 365 * 24 * 3600 * 1000 << "";
}

void TestIdWhois::timeOutSettings()
{
    QFETCH(int, setting);
    QFETCH(qint64, ms);
    QFETCH(QString, failure);

    WhoisTestServer server("ok");
    QVERIFY(server.isListening());
    TIdWhois client;
    client.Host = "127.0.0.1";
    client.Port = server.port();
    std::chrono::milliseconds *const settings[] = {&client.ResolveTimeout, &client.ConnectTimeout,
                                                   &client.ReadTimeout, &client.TotalTimeout};
    *settings[setting] = std::chrono::milliseconds(ms);
    const QString prefix =
        QString(R"(WHOIS query to "127.0.0.1" port %1 failed: )").arg(server.port());
    QCOMPARE(QString::fromStdString(failureOf(client)),
             failure.isEmpty() ? QString("returned: ok") : prefix + failure);
    if (!failure.isEmpty())
        QCOMPARE(server.connectionCount(), 0);
}

// A stage's wait as poll() takes it: never past what an int holds, and the
// stage's own bound where the whole exchange has no deadline.
void TestIdWhois::stageWaits()
{
    QCOMPARE(stageWaitMs(5s, QDeadlineTimer(QDeadlineTimer::Forever)), 5000);
    QCOMPARE(stageWaitMs(std::chrono::milliseconds(3'000'000'000), QDeadlineTimer(4'000'000'000)),
             std::numeric_limits<int>::max());
    QCOMPARE(stageWaitMs(5s, QDeadlineTimer(0)), 0);
}

void TestIdWhois::connectMovesToTheNextAddress_data()
{
    using Mode = WhoisTestServer::Mode;
    QTest::addColumn<int>("firstMode");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");

    QTest::newRow("IPv6 refuses, IPv4 answers") << int(Mode::Refuse) << "::1"
                                                << "127.0.0.1";
    QTest::newRow("IPv4 refuses, IPv6 answers") << int(Mode::Refuse) << "127.0.0.1"
                                                << "::1";
    QTest::newRow("IPv6 never completes, IPv4 answers") << int(Mode::Unanswered) << "::1"
                                                        << "127.0.0.1";
    QTest::newRow("IPv4 never completes, IPv6 answers") << int(Mode::Unanswered) << "127.0.0.1"
                                                        << "::1";
}

void TestIdWhois::connectMovesToTheNextAddress()
{
    QFETCH(int, firstMode);
    QFETCH(QString, first);
    QFETCH(QString, second);

    const int descriptorsBefore = openDescriptors();
    auto good =
        std::make_unique<WhoisTestServer>("ok", WhoisTestServer::Mode::Reply, qPrintable(second));
    QVERIFY(good->isListening());
    // The broken address on the same port, as one host's two addresses would be.
    auto broken = std::make_unique<WhoisTestServer>(std::string(), WhoisTestServer::Mode(firstMode),
                                                    qPrintable(first), good->port());
    if (!broken->isListening())
        QSKIP("the same port is taken on the other address");

    QString failure;
    {
        const SocketDescriptor socket =
            connectToFirst(addressesOf({qPrintable(first), qPrintable(second)}, good->port()),
                           300ms, QDeadlineTimer(5000), &failure);
        QVERIFY2(socket.isValid(), qPrintable(failure));
        QCOMPARE(peerOf(socket), second);
    }
    // The socket given up and the one connected are both closed.
    good.reset();
    broken.reset();
    QCOMPARE(openDescriptors(), descriptorsBefore);
}

void TestIdWhois::connectReportsTheLastFailure()
{
    WhoisTestServer unanswered({}, WhoisTestServer::Mode::Unanswered, "::1");
    QVERIFY(unanswered.isListening());
    WhoisTestServer refusing({}, WhoisTestServer::Mode::Refuse, "127.0.0.1", unanswered.port());
    if (!refusing.isListening())
        QSKIP("the same port is taken on the other address");

    const std::vector<SocketAddress> addresses =
        addressesOf({"::1", "127.0.0.1"}, unanswered.port());
    QCOMPARE(addresses.size(), std::size_t(2));
    const int descriptorsBefore = openDescriptors();
    QString failure;
    QVERIFY(!connectToFirst(addresses, 300ms, QDeadlineTimer(5000), &failure).isValid());
    QCOMPARE(failure, QString("the connection was refused"));
    // The overall deadline cuts the wait on an address short, and the rest
    // are not tried.
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!connectToFirst(addresses, 5000ms, QDeadlineTimer(300), &failure).isValid());
    QCOMPARE(failure, QString("timed out while connecting"));
    QVERIFY(clock.elapsed() < 3000);
    QCOMPARE(openDescriptors(), descriptorsBefore);
}

// Faults that loopback cannot show, in a network of the test's own where
// only loopback exists: addresses with no route, and one the system
// refuses to connect to at all.
void TestIdWhois::inPrivateNetwork_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("failure");

    const QString prefix = R"(WHOIS query to "%1" port 4343 failed: )";
    QTest::newRow("IPv4, no route")
        << "192.0.2.1"
        << prefix.arg("192.0.2.1") + "there is no route to the host (network is unreachable).";
    QTest::newRow("IPv6 link-local without an interface")
        << "fe80::1" << prefix.arg("fe80::1") + "could not connect (Invalid argument).";
    QTest::newRow("IPv6 in brackets, no route")
        << "[2001:db8::1]"
        << prefix.arg("[2001:db8::1]") + "there is no route to the host (network is unreachable).";
    // A name looked up by the system resolver, from the hosts file: found,
    // and connected to.
    QTest::newRow("localhost, nothing listening")
        << "localhost" << prefix.arg("localhost") + "the connection was refused.";
}

void TestIdWhois::inPrivateNetwork()
{
    QFETCH(QString, host);
    QFETCH(QString, failure);
    const std::optional<std::string> result = PrivateNetwork::run([&] {
        TIdWhois client;
        client.Host = host.toStdString();
        client.Port = 4343;
        client.ConnectTimeout = 2s;
        const int descriptorsBefore = openDescriptors();
        std::string outcome = failureOf(client);
        if (openDescriptors() != descriptorsBefore)
            outcome += " (a descriptor was left open)";
        return outcome;
    });
    if (!result)
        QSKIP("no network namespace can be made here");
    QCOMPARE(QString::fromStdString(*result), failure);
}

void TestIdWhois::resolverThatNeverAnswers()
{
    const std::optional<std::string> result = PrivateNetwork::run(
        [] {
            WhoisTestServer server("found\n", WhoisTestServer::Mode::Reply, "127.0.0.1", 4343);
            TIdWhois client;
            client.Port = 4343;
            client.ResolveTimeout = 300ms;
            // The hosts file answers without the name server...
            client.Host = "localhost";
            std::string outcome = failureOf(client) + "|";
            // ...a name it lacks waits for the silent one, up to the bound.
            client.Host = "whois.example";
            QElapsedTimer clock;
            clock.start();
            outcome += failureOf(client);
            return outcome + (clock.elapsed() < 3000 ? "" : " (too late)");
        },
        PrivateNetwork::SilentResolver);
    if (!result)
        QSKIP("no network namespace can be made here");
    QCOMPARE(QString::fromStdString(*result),
             QString("returned: found\n|WHOIS query to \"whois.example\" port 4343 failed: "
                     "timed out while looking up the host name."));
}

// Names that are "not found" without asking the resolver. Here one asked
// would meet a silent name server and time out instead, and none can reach
// a real one.
void TestIdWhois::namesNeverAsked_data()
{
    QTest::addColumn<QString>("host");
    QTest::newRow("under the reserved domain") << "whois.example.invalid";
    QTest::newRow("reserved, in capitals, with a final dot") << "WHOIS.Example.INVALID.";
    QTest::newRow("the reserved name itself") << "invalid";
    QTest::newRow("Hangul under the reserved domain")
        << QString::fromUtf8("\xed\x9b\x84\xec\x9d\xb4\xec\xa6\x88.invalid"); // 후이즈.invalid
    QTest::newRow("a blank inside") << "whois .example";
    QTest::newRow("a tab at the end") << "whois.example\t";
    QTest::newRow("NUL inside") << QString::fromLatin1("whois.example\0x", 15);
    QTest::newRow("DEL inside") << "whois\x7f.example";
}

void TestIdWhois::namesNeverAsked()
{
    QFETCH(QString, host);
    const std::optional<std::string> result = PrivateNetwork::run(
        [&] {
            TIdWhois client;
            client.Host = host.toStdString();
            client.Port = 4343;
            client.ResolveTimeout = 300ms;
            return failureOf(client);
        },
        PrivateNetwork::SilentResolver);
    if (!result)
        QSKIP("no network namespace can be made here");
    QString named = host;
    named.replace(QChar('\t'), QChar(0x2409))
        .replace(QChar('\0'), QChar(0x2400))
        .replace(QChar(0x7f), QChar(0x2421));
    QCOMPARE(
        QString::fromStdString(*result),
        QString(R"(WHOIS query to "%1" port 4343 failed: the host was not found.)").arg(named));
}

// The name server answers after the lookup has given up on it: the
// resolver's thread takes the answer and ends, touching nothing the lookup
// left behind, while the process lives on (so that the sanitizers see the
// thread through to its end).
void TestIdWhois::abandonedResolverFinishesSafely()
{
    const std::optional<std::string> result = PrivateNetwork::run(
        [] {
            WhoisTestServer server("late\n", WhoisTestServer::Mode::Reply, "127.0.0.1", 4343);
            const int threadsBefore = runningThreads();
            TIdWhois client;
            client.Host = "whois.example";
            client.Port = 4343;
            client.ResolveTimeout = 300ms;
            std::string outcome = failureOf(client);
            if (runningThreads() == threadsBefore)
                outcome += " (the resolver was not left waiting)";
            const QDeadlineTimer wait(10000);
            while (runningThreads() > threadsBefore && !wait.hasExpired())
                std::this_thread::sleep_for(20ms);
            if (runningThreads() > threadsBefore)
                outcome += " (the resolver's thread never ended)";
            // The answer was a real one: asked again, the server is found,
            // as soon as the answer comes rather than when the bound runs out.
            client.ResolveTimeout = 20s;
            QElapsedTimer clock;
            clock.start();
            outcome += "|" + failureOf(client);
            return outcome + (clock.elapsed() < 10000 ? "" : " (taken only at the bound)");
        },
        PrivateNetwork::LateResolver);
    if (!result)
        QSKIP("no network namespace can be made here");
    QCOMPARE(QString::fromStdString(*result),
             QString("WHOIS query to \"whois.example\" port 4343 failed: timed out while looking "
                     "up the host name.|returned: late\n"));
}

// Out of threads, the lookup fails as any other does, naming host and port.
void TestIdWhois::resolverThreadThatCannotStart()
{
    const std::optional<std::string> result = PrivateNetwork::run([] {
        // No process of this user may start another thread. Root is exempt
        // from the limit, so leave it where that is allowed (in a user
        // namespace of our own it is not, and there the limit holds).
        if (::geteuid() == 0 && ::setuid(65534) != 0 && errno != EINVAL)
            return std::string("(cannot leave root)");
        const rlimit none{0, 0};
        if (::setrlimit(RLIMIT_NPROC, &none) != 0)
            return std::string("(cannot limit threads)");
        try {
            std::thread([] {}).join();
            return std::string("(a thread still starts)");
        } catch (const std::system_error &) {
        }
        TIdWhois client;
        client.Host = "whois.example";
        client.Port = 4343;
        return failureOf(client);
    });
    if (!result)
        QSKIP("no network namespace can be made here");
    QCOMPARE(QString::fromStdString(*result),
             QString("WHOIS query to \"whois.example\" port 4343 failed: could not start looking "
                     "up the host name (%1).")
                 .arg(QString::fromLocal8Bit(std::strerror(EAGAIN))));
}

void TestIdWhois::queriesSentAsTheyAre_data()
{
    QTest::addColumn<QByteArray>("query");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("64 KiB") << QByteArray(64 * 1024, 'q');
    QTest::newRow("blanks and case kept") << QByteArray(" Example.KR ");
}

void TestIdWhois::queriesSentAsTheyAre()
{
    QFETCH(QByteArray, query);
    WhoisTestServer server("ok");
    QCOMPARE(whoisAt("127.0.0.1", server.port(), query.toStdString()), std::string("ok"));
    QCOMPARE(bytes(server.received()), query + "\r\n");
}

void TestIdWhois::asciiFilterLeavesSevenBits()
{
    std::string reply = "Registrant: \xed\x99\x8d\xea\xb8\xb8\xeb\x8f\x99\r\nName: caf\xe9\r\n";
    for (int byte = 0; byte < 256; ++byte)
        reply.push_back(static_cast<char>(byte));
    WhoisTestServer server(reply);
    const std::string filtered = whoisAt("127.0.0.1", server.port(), "example.kr", true);
    for (unsigned char c : filtered)
        QVERIFY2(c < 128, qPrintable(QString::number(c)));
    QVERIFY(filtered.rfind("Registrant: ???\r\nName: caf?\r\n", 0) == 0);
}

void TestIdWhois::lineBreakInQuerySendsNothing()
{
    WhoisTestServer server("ok");
    for (const std::string &query :
         {std::string("a\r\nb"), std::string("a\0b", 3), std::string("a\n")}) {
        QVERIFY_THROWS_EXCEPTION(EIdWhoisError, whoisAt("127.0.0.1", server.port(), query));
    }
    QTest::qWait(50);
    QCOMPARE(server.connectionCount(), 0);
}

QTEST_GUILESS_MAIN(TestIdWhois)
#include "tst_idwhois.moc"
