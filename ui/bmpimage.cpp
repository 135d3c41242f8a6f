#include "bmpimage.h"

#include <cstdint>
#include <cstdlib>

namespace {

std::uint32_t le(const QByteArray &bytes, qsizetype at, int size)
{
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

} // namespace

QImage readBmpImage(const QByteArray &bytes)
{
    constexpr qsizetype FileHeader = 14;
    if (bytes.size() < FileHeader + 40 || !bytes.startsWith("BM"))
        return {};
    const std::uint32_t pixelsAt = le(bytes, 10, 4);
    const std::uint32_t headerSize = le(bytes, FileHeader, 4);
    const auto width = static_cast<std::int32_t>(le(bytes, FileHeader + 4, 4));
    const auto rawHeight = static_cast<std::int32_t>(le(bytes, FileHeader + 8, 4));
    const std::uint32_t bits = le(bytes, FileHeader + 14, 2);
    const std::uint32_t compression = le(bytes, FileHeader + 16, 4);
    std::uint32_t colours = le(bytes, FileHeader + 32, 4);

    // A glyph is small; the bound keeps a bad header from asking for much.
    constexpr std::int32_t MaxSide = 4096;
    // Bounded before the sign comes off: the most negative height has no
    // positive counterpart.
    if (rawHeight < -MaxSide || rawHeight > MaxSide)
        return {};
    const std::int32_t height = rawHeight < 0 ? -rawHeight : rawHeight;
    const bool paletted = bits == 1 || bits == 4 || bits == 8;
    if (headerSize < 40 || width <= 0 || width > MaxSide || height <= 0 || compression != 0
        || (!paletted && bits != 24 && bits != 32))
        return {};
    if (paletted && (colours == 0 || colours > (1u << bits)))
        colours = 1u << bits;

    const qsizetype tableAt = FileHeader + headerSize;
    const qsizetype stride = ((qsizetype(width) * bits + 31) / 32) * 4;
    if (tableAt + qsizetype(paletted ? colours * 4 : 0) > bytes.size() || pixelsAt < tableAt
        || qsizetype(pixelsAt) + stride * height > bytes.size())
        return {};

    QImage image(width, height, QImage::Format_RGB32);
    QList<QRgb> table;
    for (std::uint32_t i = 0; paletted && i < colours; ++i)
        table.append(qRgb(static_cast<unsigned char>(bytes[tableAt + i * 4 + 2]),
                          static_cast<unsigned char>(bytes[tableAt + i * 4 + 1]),
                          static_cast<unsigned char>(bytes[tableAt + i * 4])));
    for (std::int32_t y = 0; y < height; ++y) {
        // Rows run bottom-up unless the height is negative.
        const qsizetype row = pixelsAt + stride * (rawHeight < 0 ? y : height - 1 - y);
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (std::int32_t x = 0; x < width; ++x) {
            if (paletted) {
                const qsizetype bit = qsizetype(x) * bits;
                const unsigned char byte = static_cast<unsigned char>(bytes[row + bit / 8]);
                const unsigned index = (byte >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
                line[x] = index < table.size() ? table[index] : qRgb(0, 0, 0);
            } else {
                const qsizetype at = row + qsizetype(x) * (bits / 8);
                line[x] = qRgb(static_cast<unsigned char>(bytes[at + 2]),
                               static_cast<unsigned char>(bytes[at + 1]),
                               static_cast<unsigned char>(bytes[at]));
            }
        }
    }
    return image;
}
