#include "speedbutton.h"

#include "eventdispatch.h"

#include "bmpimage.h"

#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QIconEngine>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

#include <algorithm>

namespace {

// Draws a glyph enlarged by whole pixels only, by the largest factor that
// fits the place it is given, centred there. A pattern of single pixels,
// such as the lookup glyph's chequer, survives only whole enlargements:
// smoothed to 1.5 times (a 150 % screen) it blurs into a pale smudge, and
// scaled by nearest pixels its squares come out unequal. So a 16-pixel glyph
// stays 16 pixels, sharp, in the middle of its 20 or 24 at 125 % and 150 %,
// and is 32 and 48 at 200 % and 300 %.
class GlyphIconEngine : public QIconEngine
{
public:
    GlyphIconEngine(const QImage &normal, const QImage &disabled)
        : m_normal(normal),
          m_disabled(disabled)
    {
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }

    // size is in device pixels.
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State /*state*/,
                         qreal /*scale*/) override
    {
        const QPixmap glyph = glyphFor(mode);
        if (glyph.isNull())
            return QPixmap();
        const int factor = std::min(size.width() / glyph.width(), size.height() / glyph.height());
        if (factor < 1)
            return glyph.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        QPixmap result(size);
        result.fill(Qt::transparent);
        QPainter painter(&result);
        const QSize enlarged = glyph.size() * factor;
        painter.drawPixmap(QRect(QPoint((size.width() - enlarged.width()) / 2,
                                        (size.height() - enlarged.height()) / 2),
                                 enlarged),
                           glyph);
        return result;
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal scale = painter->device()->devicePixelRatio();
        QPixmap pixmap = scaledPixmap(rect.size() * scale, mode, state, scale);
        pixmap.setDevicePixelRatio(scale);
        painter->drawPixmap(rect, pixmap);
    }

    QSize actualSize(const QSize &size, QIcon::Mode /*mode*/, QIcon::State /*state*/) override
    {
        return size;
    }

    QList<QSize> availableSizes(QIcon::Mode /*mode*/, QIcon::State /*state*/) override
    {
        return {m_normal.size()};
    }

    QIconEngine *clone() const override { return new GlyphIconEngine(m_normal, m_disabled); }

private:
    // A mode without an image of its own gets the style's version of the
    // normal one, as for any icon.
    QPixmap glyphFor(QIcon::Mode mode) const
    {
        QPixmap normal = QPixmap::fromImage(m_normal);
        if (mode == QIcon::Normal)
            return normal;
        if (mode == QIcon::Disabled && !m_disabled.isNull())
            return QPixmap::fromImage(m_disabled);
        QStyleOption option;
        option.palette = QApplication::palette();
        return QApplication::style()->generatedIconPixmap(mode, normal, &option);
    }

    QImage m_normal;
    QImage m_disabled;
};

} // namespace

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
    const QImage normal = image.copy(0, 0, width, image.height());
    const QImage disabled =
        m_numGlyphs > 1 ? image.copy(width, 0, width, image.height()) : QImage();
    setIcon(QIcon(new GlyphIconEngine(normal, disabled)));
    setIconSize(QSize(width, image.height()));
}
