#ifndef SPEEDBUTTON_H
#define SPEEDBUTTON_H

#include <QPixmap>
#include <QToolButton>

#include <functional>

// A button that never takes the focus and shows a glyph: a bitmap holding
// numGlyphs images side by side (normal first, then disabled), whose
// bottom-left pixel gives the transparent colour. Its click calls OnClick.
class TSpeedButton : public QToolButton
{
    Q_OBJECT
    Q_PROPERTY(QPixmap glyph READ glyph WRITE setGlyph)
    Q_PROPERTY(int numGlyphs READ numGlyphs WRITE setNumGlyphs)

public:
    using TNotifyEvent = std::function<void(QObject *sender)>;

    explicit TSpeedButton(QWidget *parent = nullptr);

    QPixmap glyph() const { return m_glyph; }
    void setGlyph(const QPixmap &glyph);
    // The glyph from a BMP file or resource, as the window's form gives it.
    void setGlyph(const QString &bitmapFile);
    int numGlyphs() const { return m_numGlyphs; }
    void setNumGlyphs(int count);

    // The handler bound to the click event; empty means none.
    TNotifyEvent OnClick;

private:
    void updateIcon();

    QPixmap m_glyph;
    int m_numGlyphs = 1;
};

#endif // SPEEDBUTTON_H
