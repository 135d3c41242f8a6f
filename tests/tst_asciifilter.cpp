#include "asciifilter.h"

#include <QTest>

class TestAsciiFilter : public QObject
{
    Q_OBJECT

private slots:
    void reduces_data();
    void reduces();
};

void TestAsciiFilter::reduces_data()
{
    QTest::addColumn<QByteArray>("in");
    QTest::addColumn<QByteArray>("out");

    QTest::newRow("ASCII unchanged, controls too")
        << QByteArray("a\r\n\t\0\x7f", 6) << QByteArray("a\r\n\t\0\x7f", 6);
    QTest::newRow("two-byte character") << QByteArray("caf\xc3\xa9.kr") << QByteArray("caf?.kr");
    QTest::newRow("three-byte Hangul, one each")
        << QByteArray("\xed\x95\x9c\xea\xb8\x80") << QByteArray("??");
    QTest::newRow("four-byte character") << QByteArray("\xf0\x9f\x98\x80!") << QByteArray("?!");
    QTest::newRow("Latin-1 byte") << QByteArray("caf\xe9") << QByteArray("caf?");
    QTest::newRow("truncated sequence, one per byte") << QByteArray("\xe2\x82") << QByteArray("??");
    QTest::newRow("stray continuation bytes") << QByteArray("\x80\xbf") << QByteArray("??");
    QTest::newRow("overlong form") << QByteArray("\xc0\xaf") << QByteArray("??");
    QTest::newRow("overlong three- and four-byte forms")
        << QByteArray("\xe0\x9f\xbf\xf0\x8f\xbf\xbf") << QByteArray(7, '?');
    QTest::newRow("first and last of each range, one each") // U+0800, U+D7FF, U+10000, U+10FFFF
        << QByteArray("\xe0\xa0\x80\xed\x9f\xbf\xf0\x90\x80\x80\xf4\x8f\xbf\xbf")
        << QByteArray(4, '?');
    QTest::newRow("surrogate") << QByteArray("\xed\xa0\x80") << QByteArray("???");
    QTest::newRow("above U+10FFFF") << QByteArray("\xf4\x90\x80\x80") << QByteArray("????");
    QTest::newRow("F5 to FF never lead, one per byte")
        << QByteArray("\xf5\x80\x80\x80\xf7\xbf\xbf\xbf\xf8\xff") << QByteArray(10, '?');
    QTest::newRow("sequence cut by ASCII") << QByteArray("\xe2\x82x") << QByteArray("??x");
}

void TestAsciiFilter::reduces()
{
    QFETCH(QByteArray, in);
    QFETCH(QByteArray, out);
    const std::string filtered =
        asciiFiltered(std::string(in.constData(), static_cast<std::size_t>(in.size())));
    QCOMPARE(QByteArray(filtered.data(), static_cast<qsizetype>(filtered.size())), out);
}

QTEST_APPLESS_MAIN(TestAsciiFilter)
#include "tst_asciifilter.moc"
