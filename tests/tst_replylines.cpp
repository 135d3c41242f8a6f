#include "memo.h"
#include "replylines.h"

#include <QScrollBar>
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
    void rowsInTheBox_data();
    void rowsInTheBox();
    void boxFollowsTheLastRow();
    void undoLeavesTheRows();
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
    QTest::newRow("leading blank CR LF line")
        << QByteArray("\r\na\r\n") << QByteArrayList{"\r", "a\r"};
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
    QTest::newRow("every CR at the end is invisible") << QByteArray("a\r\r\r") << QString("a");
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

// The rows a person reads in the box after a reply, blank ones included.
void TestReplyLines::rowsInTheBox_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("rows");

    QTest::newRow("leading blank line") << QByteArray("\r\na\r\nb\r\n")
                                        << QStringList{"", "a", "b"};
    QTest::newRow("two leading blank lines") << QByteArray("\r\n\r\na\r\n")
                                             << QStringList{"", "", "a"};
    QTest::newRow("blank lines inside and at the end")
        << QByteArray("a\r\n\r\nb\r\n\r\n") << QStringList{"a", "", "b", ""};
    QTest::newRow("LF only") << QByteArray("\n\na\n\nb") << QStringList{"a", "b"};
    QTest::newRow("one row") << QByteArray("a") << QStringList{"a"};
}

void TestReplyLines::rowsInTheBox()
{
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, rows);

    TMemo box;
    box.setPlainText("rows of an earlier lookup\n\n");
    box.Clear();
    forEachReplyLine(std::string_view(reply.constData(), static_cast<std::size_t>(reply.size())),
                     [&](std::string_view line) { box.Add(line); });
    QCOMPARE(box.blockCount(), rows.size());
    QCOMPARE(box.toPlainText(), rows.join('\n'));
}

// A reply longer than the box ends with its last rows in view, as when
// each row scrolled the box on its own.
void TestReplyLines::boxFollowsTheLastRow()
{
    TMemo box;
    box.resize(300, 100);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    for (int i = 0; i < 500; ++i)
        box.Add("row " + std::to_string(i));
    QCoreApplication::processEvents();
    QScrollBar *bar = box.verticalScrollBar();
    QVERIFY(bar->maximum() > 400);
    QCOMPARE(bar->value(), bar->maximum());

    // Scrolled back by the user, the box stays where it was for more rows.
    bar->setValue(10);
    box.Add("one more");
    QCoreApplication::processEvents();
    QCOMPARE(bar->value(), 10);
    QCOMPARE(box.blockCount(), 501);
}

// The rows are the program's output: Ctrl+Z does not take them apart, but
// still takes back what a person typed into the box.
void TestReplyLines::undoLeavesTheRows()
{
    TMemo box;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    box.setPlainText("rows of an earlier lookup");
    box.Clear();
    for (const char *row : {"alpha", "beta", "gamma"})
        box.Add(row);
    QCoreApplication::processEvents();
    const auto undo = [&] { QTest::keyClick(&box, Qt::Key_Z, Qt::ControlModifier); };
    for (int i = 0; i < 3; ++i)
        undo();
    QCOMPARE(box.toPlainText(), QString("alpha\nbeta\ngamma"));

    box.moveCursor(QTextCursor::End);
    QTest::keyClicks(&box, " typed");
    QCOMPARE(box.toPlainText(), QString("alpha\nbeta\ngamma typed"));
    undo();
    QCOMPARE(box.toPlainText(), QString("alpha\nbeta\ngamma"));
    undo();
    QCOMPARE(box.toPlainText(), QString("alpha\nbeta\ngamma"));
}

QTEST_MAIN(TestReplyLines)
#include "tst_replylines.moc"
