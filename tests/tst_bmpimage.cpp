#include "bmpimage.h"

#include <QBuffer>
#include <QFile>
#include <QTest>
#include <QtEndian>

// The glyph decoder against Qt's own BMP reader, and against broken files.
class TestBmpImage : public QObject
{
    Q_OBJECT

private slots:
    void readsAsQtDoes_data();
    void readsAsQtDoes();
    void refusesMalformed_data();
    void refusesMalformed();
};

namespace {

QByteArray glyphFile()
{
    QFile file(":/whoismain/lookup.bmp");
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QImage readByQt(const QByteArray &bmp)
{
    QImage image;
    image.loadFromData(bmp, "BMP");
    return image.convertToFormat(QImage::Format_RGB32);
}

QByteArray writtenByQt(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    return bytes;
}

// A test picture with every pixel different from its neighbours.
QImage pattern(QImage::Format format, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x * 37 % 256, y * 53 % 256, (x * y) % 256));
    return image.convertToFormat(format);
}

// The bitmap turned top-down, as a negative height says.
QByteArray topDown(const QByteArray &bmp)
{
    const qint32 height = qFromLittleEndian<qint32>(bmp.constData() + 22);
    const qint32 width = qFromLittleEndian<qint32>(bmp.constData() + 18);
    const quint16 bits = qFromLittleEndian<quint16>(bmp.constData() + 28);
    const quint32 pixelsAt = qFromLittleEndian<quint32>(bmp.constData() + 10);
    const int stride = ((width * bits + 31) / 32) * 4;
    QByteArray flipped = bmp;
    for (int y = 0; y < height; ++y)
        flipped.replace(pixelsAt + y * stride, stride,
                        bmp.mid(pixelsAt + (height - 1 - y) * stride, stride));
    char negative[4];
    qToLittleEndian<qint32>(-height, negative);
    flipped.replace(22, 4, negative, 4);
    return flipped;
}

} // namespace

void TestBmpImage::readsAsQtDoes_data()
{
    QTest::addColumn<QByteArray>("bmp");
    QTest::addColumn<QByteArray>("expected"); // a bitmap Qt reads the same picture from
    const QByteArray glyph = glyphFile();
    QVERIFY(!glyph.isEmpty());
    QTest::newRow("the lookup glyph, 4 bits") << glyph << glyph;
    // A colour count of 0 means all the bit depth allows; one past that is
    // read as that.
    QTest::newRow("colour count 0")
        << QByteArray(glyph).replace(46, 4, QByteArray(4, '\0')) << glyph;
    QTest::newRow("colour count past 16")
        << QByteArray(glyph).replace(46, 4, QByteArray("\0\0\x01\0", 4)) << glyph;
    for (auto [name, format] :
         {std::pair{"1 bit", QImage::Format_Mono}, std::pair{"8 bits", QImage::Format_Indexed8},
          std::pair{"24 bits", QImage::Format_RGB888},
          std::pair{"32 bits", QImage::Format_RGB32}}) {
        // Odd widths, so that rows carry padding.
        const QByteArray bmp = writtenByQt(pattern(format, 13, 7));
        QTest::newRow(name) << bmp << bmp;
        QTest::newRow(qPrintable(QString(name) + ", top-down")) << topDown(bmp) << bmp;
    }
}

void TestBmpImage::readsAsQtDoes()
{
    QFETCH(QByteArray, bmp);
    QFETCH(QByteArray, expected);
    const QImage ours = readBmpImage(bmp);
    QVERIFY(!ours.isNull());
    QCOMPARE(ours, readByQt(expected));
}

void TestBmpImage::refusesMalformed_data()
{
    QTest::addColumn<QByteArray>("bmp");
    const QByteArray glyph = glyphFile();
    const auto patched = [&](int at, const QByteArray &value) {
        QByteArray bmp = glyph;
        return bmp.replace(at, value.size(), value);
    };
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("not a bitmap") << QByteArray("GIF89a").append(60, '\0');
    QTest::newRow("header only") << glyph.left(54);
    QTest::newRow("last row cut short") << glyph.left(glyph.size() - 1);
    QTest::newRow("run-length compressed") << patched(30, QByteArray("\x02\0\0\0", 4));
    QTest::newRow("no width") << patched(18, QByteArray(4, '\0'));
    QTest::newRow("huge height") << patched(22, QByteArray("\0\0\x10\0", 4));
    QTest::newRow("most negative height") << patched(22, QByteArray("\0\0\0\x80", 4));
    QTest::newRow("16 bits") << patched(28, QByteArray("\x10\0", 2));
    QTest::newRow("pixels inside the header") << patched(10, QByteArray("\x10\0\0\0", 4));
    QTest::newRow("OS/2 core header") << patched(14, QByteArray("\x0c\0\0\0", 4));
    // 8 bits at half the height: the pixels still fit, a table of all 256
    // colours does not.
    QTest::newRow("colour table past the end") << patched(22, QByteArray("\x08\0\0\0", 4))
                                                      .replace(28, 2, QByteArray("\x08\0", 2))
                                                      .replace(46, 4, QByteArray(4, '\0'));
    QTest::newRow("wider than 4096") << writtenByQt(pattern(QImage::Format_Mono, 4097, 1));
}

void TestBmpImage::refusesMalformed()
{
    QFETCH(QByteArray, bmp);
    QVERIFY(readBmpImage(bmp).isNull());
}

QTEST_GUILESS_MAIN(TestBmpImage)
#include "tst_bmpimage.moc"
