#include "replylines.h"
#include "replypieces.h"
#include "replyshape.h"

#include <QTest>

#include <algorithm>
#include <string>
#include <string_view>

// What a line of a reply is: the split a whole reply gets, and the lines
// the client counts as the reply arrives in pieces, from one table.
class TestReplyLines : public QObject
{
    Q_OBJECT

private slots:
    void splitting_data();
    void splitting();
    void piecesMakeTheSameLines_data() { splitting_data(); }
    void piecesMakeTheSameLines();
    void shapeCountsTheSameLines_data() { splitting_data(); }
    void shapeCountsTheSameLines();
};

namespace {

std::string_view view(const QByteArray &bytes)
{
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

QByteArray bytesOf(std::string_view text)
{
    return {text.data(), static_cast<qsizetype>(text.size())};
}

} // namespace

void TestReplyLines::splitting_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArrayList>("lines");

    QTest::newRow("CR LF line ends keep their CR")
        << QByteArray("a\r\nb\r\n") << QByteArrayList{"a\r", "b\r"};
    QTest::newRow("blank CR LF line is a row of one CR")
        << QByteArray("a\r\n\r\nb\r\n") << QByteArrayList{"a\r", "\r", "b\r"};
    QTest::newRow("run of LF gives one break")
        << QByteArray("a\n\nb\n") << QByteArrayList{"a", "b"};
    QTest::newRow("leading LF gives nothing") << QByteArray("\n\nx") << QByteArrayList{"x"};
    QTest::newRow("no final LF") << QByteArray("a\nb") << QByteArrayList{"a", "b"};
    QTest::newRow("empty reply") << QByteArray() << QByteArrayList{};
    QTest::newRow("only LFs") << QByteArray("\n\n\n") << QByteArrayList{};
    QTest::newRow("CR inside a line is text")
        << QByteArray("a\rb\nc") << QByteArrayList{"a\rb", "c"};
    QTest::newRow("NUL is text") << QByteArray("a\0b\n\0", 5)
                                 << QByteArrayList{QByteArray("a\0b", 3), QByteArray("\0", 1)};
    QTest::newRow("lone CR") << QByteArray("\r") << QByteArrayList{"\r"};
    QTest::newRow("leading blank CR LF line")
        << QByteArray("\r\na\r\n") << QByteArrayList{"\r", "a\r"};
    QTest::newRow("all of these") << QByteArray("\n\na\r\n\r\nbb\n\n\nc\rc")
                                  << QByteArrayList{"a\r", "\r", "bb", "c\rc"};
}

void TestReplyLines::splitting()
{
    QFETCH(QByteArray, reply);
    QFETCH(QByteArrayList, lines);

    QByteArrayList got;
    forEachReplyLine(view(reply), [&](std::string_view line) { got.append(bytesOf(line)); });
    QCOMPARE(got, lines);
}

// Byte by byte, the runs of each line join up to the lines of the whole.
void TestReplyLines::piecesMakeTheSameLines()
{
    QFETCH(QByteArray, reply);
    QFETCH(QByteArrayList, lines);

    QByteArrayList got;
    ReplyLineSplitter splitter;
    for (char byte : reply) {
        splitter.add(std::string_view(&byte, 1), [&](std::string_view run, bool startsLine) {
            if (startsLine)
                got.append(QByteArray());
            else if (got.isEmpty())
                got.append("(a run before any line began)");
            got.last().append(bytesOf(run));
        });
    }
    QCOMPARE(got, lines);
}

// The line bounds count exactly the lines that the split gives, and
// measure the longest of them, wherever the reply is cut.
void TestReplyLines::shapeCountsTheSameLines()
{
    QFETCH(QByteArray, reply);
    QFETCH(QByteArrayList, lines);

    const auto count = static_cast<std::size_t>(lines.size());
    std::size_t longest = 0;
    for (const QByteArray &line : lines)
        longest = std::max(longest, static_cast<std::size_t>(line.size()));

    for (std::size_t cut = 0; cut <= view(reply).size(); ++cut) {
        QCOMPARE(shapeInTwoPieces(view(reply), cut, count, longest), ReplyShape::Fits);
        if (count > 0)
            QCOMPARE(shapeInTwoPieces(view(reply), cut, count - 1, longest),
                     ReplyShape::TooManyLines);
        if (longest > 0)
            QCOMPARE(shapeInTwoPieces(view(reply), cut, count, longest - 1),
                     ReplyShape::LineTooLong);
    }
}

QTEST_APPLESS_MAIN(TestReplyLines)
#include "tst_replylines.moc"
