#ifndef BMPIMAGE_H
#define BMPIMAGE_H

#include <QByteArray>
#include <QImage>

// Decodes an uncompressed Windows bitmap (BITMAPINFOHEADER or later; 1, 4
// or 8 bits with a colour table, or 24 or 32 bits), as glyphs are stored.
// Returns a null image for anything else or anything malformed.
//
// Qt's own image reading would first look through every image-format
// plugin (and load some of them) before its built-in BMP reader gets the
// file; for one small glyph at start-up that costs more than the decoding.
QImage readBmpImage(const QByteArray &bytes);

#endif // BMPIMAGE_H
