#include "idwhois.h"
#include "whoiserror.h"
#include "whoistestserver.h"

#include <QTest>

#include <string>

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
    void failures_data();
    void failures();
    void asciiFilterLeavesSevenBits();
    void lineBreakInQuerySendsNothing();
};

namespace {

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

} // namespace

void TestIdWhois::defaults()
{
    TIdWhois client;
    QCOMPARE(client.Host, std::string("whois.kr"));
    QCOMPARE(client.Port, std::uint16_t(43));
    QCOMPARE(client.ASCIIFilter, false);
    // Bounds a user would accept: a broken address is given up in seconds,
    // silence in well under a minute, the whole exchange within one.
    QVERIFY(client.ResolveTimeout <= 10s);
    QVERIFY(client.ConnectTimeout <= 10s);
    QVERIFY(client.ReadTimeout >= 20s && client.ReadTimeout <= 30s);
    QCOMPARE(client.TotalTimeout, 60s);
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
    QTest::newRow("larger than one read") << QByteArray(300000, 'w');
}

void TestIdWhois::returnsReplyByteForByte()
{
    QFETCH(QByteArray, reply);
    WhoisTestServer server(reply.toStdString());
    QVERIFY(server.isListening());
    QCOMPARE(bytes(whoisAt("127.0.0.1", server.port(), "example.kr")), reply);
}

void TestIdWhois::failures_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("refusedPort");
    QTest::addColumn<QString>("message");

    QTest::newRow("refused") << "127.0.0.1" << true
                             << R"(WHOIS query to "127.0.0.1" port %1 failed: the connection was refused.)";
    QTest::newRow("unresolvable") << "whois.example.invalid" << false
                                  << R"(WHOIS query to "whois.example.invalid" port %1 failed: the host was not found.)";
    QTest::newRow("empty host") << "" << false
                                << R"(WHOIS query to "" port %1 failed: no WHOIS server host is set.)";
}

void TestIdWhois::failures()
{
    QFETCH(QString, host);
    QFETCH(bool, refusedPort);
    QFETCH(QString, message);

    const std::uint16_t port = refusedPort ? WhoisTestServer::refusingPort() : 43;
    try {
        whoisAt(host.toStdString().c_str(), port, "example.kr");
        QFAIL("the query succeeded");
    } catch (const EIdWhoisError &e) {
        QCOMPARE(QString::fromStdString(e.what()), message.arg(port));
    }
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
    for (const std::string &query : {std::string("a\r\nb"), std::string("a\0b", 3), std::string("a\n")}) {
        QVERIFY_THROWS_EXCEPTION(EIdWhoisError, whoisAt("127.0.0.1", server.port(), query));
    }
    QTest::qWait(50);
    QCOMPARE(server.connectionCount(), 0);
}

QTEST_GUILESS_MAIN(TestIdWhois)
#include "tst_idwhois.moc"
