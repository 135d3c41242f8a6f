#include "memo.h"
#include "replylines.h"

#include <QTest>

#include <string>
#include <vector>

// The reply-to-rows path: splitting on line feeds, then what a row shows.
class TestReplyLines : public QObject
{
    Q_OBJECT

private slots:
    void splitting_data();
    void splitting();
    void rowDisplay_data();
    void rowDisplay();
};

void TestReplyLines::splitting_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArrayList>("lines");

    QTest::newRow("CR LF line ends keep their CR") << QByteArray("a\r\nb\r\n")
                                                   << QByteArrayList{"a\r", "b\r"};
    QTest::newRow("blank CR LF line is a row of one CR")
        << QByteArray("a\r\n\r\nb\r\n") << QByteArrayList{"a\r", "\r", "b\r"};
    QTest::newRow("run of LF gives one break") << QByteArray("a\n\nb\n")
                                               << QByteArrayList{"a", "b"};
    QTest::newRow("leading LF gives nothing") << QByteArray("\n\nx") << QByteArrayList{"x"};
    QTest::newRow("no final LF") << QByteArray("a\nb") << QByteArrayList{"a", "b"};
    QTest::newRow("empty reply") << QByteArray() << QByteArrayList{};
    QTest::newRow("only LFs") << QByteArray("\n\n\n") << QByteArrayList{};
    QTest::newRow("CR inside a line is text") << QByteArray("a\rb\nc")
                                              << QByteArrayList{"a\rb", "c"};
    QTest::newRow("NUL is text") << QByteArray("a\0b\n\0", 5)
                                 << QByteArrayList{QByteArray("a\0b", 3), QByteArray("\0", 1)};
    QTest::newRow("lone CR") << QByteArray("\r") << QByteArrayList{"\r"};
}

void TestReplyLines::splitting()
{
    QFETCH(QByteArray, reply);
    QFETCH(QByteArrayList, lines);

    QByteArrayList got;
    forEachReplyLine(std::string_view(reply.constData(), static_cast<std::size_t>(reply.size())),
                     [&](std::string_view line) {
                         got.append(QByteArray(line.data(), static_cast<qsizetype>(line.size())));
                     });
    QCOMPARE(got, lines);
}

void TestReplyLines::rowDisplay_data()
{
    QTest::addColumn<QByteArray>("row");
    QTest::addColumn<QString>("shown");

    QTest::newRow("plain") << QByteArray("domain: example.kr") << QString("domain: example.kr");
    QTest::newRow("CR at the end is invisible") << QByteArray("a\r") << QString("a");
    QTest::newRow("row of one CR is blank") << QByteArray("\r") << QString();
    QTest::newRow("CR inside shows a symbol") << QByteArray("a\rb")
                                              << QString("a") + QChar(0x240D) + "b";
    QTest::newRow("tab kept") << QByteArray("a\tb") << QString("a\tb");
    QTest::newRow("byte per character") << QByteArray("\xe9") << QString(QChar(0xE9));
}

void TestReplyLines::rowDisplay()
{
    QFETCH(QByteArray, row);
    QFETCH(QString, shown);
    QCOMPARE(TMemo::displayText(std::string_view(row.constData(),
                                                 static_cast<std::size_t>(row.size()))),
             shown);
}

QTEST_APPLESS_MAIN(TestReplyLines)
#include "tst_replylines.moc"
