#include "speedbutton.h"

#include "eventdispatch.h"

#include "bmpimage.h"

#include <QFile>
#include <QIcon>

TSpeedButton::TSpeedButton(QWidget *parent)
    : QToolButton(parent)
{
    setFocusPolicy(Qt::NoFocus);
    connect(this, &QToolButton::clicked, this, [this] {
        dispatchEvent([this] {
            if (OnClick)
                OnClick(this);
        });
    });
}

void TSpeedButton::setGlyph(const QPixmap &glyph)
{
    m_glyph = glyph;
    updateIcon();
}

void TSpeedButton::setGlyph(const QString &bitmapFile)
{
    QFile file(bitmapFile);
    // A glyph is a few hundred bytes; a file far larger is not one.
    constexpr qint64 MaxGlyphFile = 1024 * 1024;
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxGlyphFile) {
        setGlyph(QPixmap());
        return;
    }
    setGlyph(QPixmap::fromImage(readBmpImage(file.read(MaxGlyphFile))));
}

void TSpeedButton::setNumGlyphs(int count)
{
    m_numGlyphs = qBound(1, count, 4);
    updateIcon();
}

void TSpeedButton::updateIcon()
{
    if (m_glyph.isNull()) {
        setIcon(QIcon());
        return;
    }
    QImage image = m_glyph.toImage().convertToFormat(QImage::Format_ARGB32);
    const QRgb transparent = image.pixel(0, image.height() - 1);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (line[x] == transparent)
                line[x] = qRgba(0, 0, 0, 0);
        }
    }

    const int width = image.width() / m_numGlyphs;
    QIcon icon;
    const auto addPart = [&](int index, QIcon::Mode mode) {
        const QImage part = image.copy(index * width, 0, width, image.height());
        icon.addPixmap(QPixmap::fromImage(part), mode);
        // Whole-number enlargements of their own, pixel for pixel, so the
        // glyph stays sharp on a scaled screen instead of being smoothed.
        for (int scale = 2; scale <= 3; ++scale) {
            QPixmap large = QPixmap::fromImage(
                part.scaled(part.size() * scale, Qt::IgnoreAspectRatio, Qt::FastTransformation));
            large.setDevicePixelRatio(scale);
            icon.addPixmap(large, mode);
        }
    };
    addPart(0, QIcon::Normal);
    if (m_numGlyphs > 1)
        addPart(1, QIcon::Disabled);
    setIcon(icon);
    setIconSize(QSize(width, image.height()));
}
