#include "speedbutton.h"

#include "eventdispatch.h"

#include <QBitmap>
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
    const auto part = [&](int index) {
        return QPixmap::fromImage(image.copy(index * width, 0, width, image.height()));
    };
    QIcon icon;
    icon.addPixmap(part(0), QIcon::Normal);
    if (m_numGlyphs > 1)
        icon.addPixmap(part(1), QIcon::Disabled);
    setIcon(icon);
    setIconSize(QSize(width, image.height()));
}
