#include "memo.h"
#include "replylines.h"

#include <QScrollBar>
#include <QTest>

#include <string>

// The results box: what a row shows, and the rows a reply leaves in it.
class TestMemo : public QObject
{
    Q_OBJECT

private slots:
    void rowDisplay_data();
    void rowDisplay();
    void rowsInTheBox_data();
    void rowsInTheBox();
    void boxFollowsTheLastRow();
    void undoLeavesTheRows();
};

void TestMemo::rowDisplay_data()
{
    QTest::addColumn<QByteArray>("row");
    QTest::addColumn<QString>("shown");

    QTest::newRow("plain") << QByteArray("domain: example.kr") << QString("domain: example.kr");
    QTest::newRow("CR at the end is invisible") << QByteArray("a\r") << QString("a");
    QTest::newRow("every CR at the end is invisible") << QByteArray("a\r\r\r") << QString("a");
    QTest::newRow("row of one CR is blank") << QByteArray("\r") << QString();
    QTest::newRow("CR inside shows a symbol")
        << QByteArray("a\rb") << QString("a") + QChar(0x240D) + "b";
    QTest::newRow("tab kept") << QByteArray("a\tb") << QString("a\tb");
    QTest::newRow("byte per character") << QByteArray("\xe9") << QString(QChar(0xE9));
}

void TestMemo::rowDisplay()
{
    QFETCH(QByteArray, row);
    QFETCH(QString, shown);
    QCOMPARE(
        TMemo::displayText(std::string_view(row.constData(), static_cast<std::size_t>(row.size()))),
        shown);
}

// The rows a person reads in the box after a reply, blank ones included.
void TestMemo::rowsInTheBox_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("rows");

    QTest::newRow("leading blank line")
        << QByteArray("\r\na\r\nb\r\n") << QStringList{"", "a", "b"};
    QTest::newRow("two leading blank lines")
        << QByteArray("\r\n\r\na\r\n") << QStringList{"", "", "a"};
    QTest::newRow("blank lines inside and at the end")
        << QByteArray("a\r\n\r\nb\r\n\r\n") << QStringList{"a", "", "b", ""};
    QTest::newRow("LF only") << QByteArray("\n\na\n\nb") << QStringList{"a", "b"};
    QTest::newRow("one row") << QByteArray("a") << QStringList{"a"};
}

void TestMemo::rowsInTheBox()
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
void TestMemo::boxFollowsTheLastRow()
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
void TestMemo::undoLeavesTheRows()
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

QTEST_MAIN(TestMemo)
#include "tst_memo.moc"
