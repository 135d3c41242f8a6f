#include "label.h"

#include <QEvent>

TLabel::TLabel(QWidget *parent)
    : QLabel(parent)
{
}

void TLabel::setAutoSize(bool on)
{
    m_autoSize = on;
    fitText();
}

bool TLabel::event(QEvent *event)
{
    const bool handled = QLabel::event(event);
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::FontChange:
    case QEvent::StyleChange:
        fitText();
        break;
    default:
        break;
    }
    return handled;
}

void TLabel::fitText()
{
    if (!m_autoSize)
        return;
    const QSize hint = sizeHint();
    if (hint.width() > width() || hint.height() > height())
        resize(qMax(width(), hint.width()), qMax(height(), hint.height()));
}
