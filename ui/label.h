#ifndef LABEL_H
#define LABEL_H

#include <QLabel>

// A caption that sizes itself to its text, keeping its top-left corner,
// so that a font wider than the one it was designed with never clips it.
class TLabel : public QLabel
{
    Q_OBJECT
    Q_PROPERTY(bool autoSize READ autoSize WRITE setAutoSize)

public:
    explicit TLabel(QWidget *parent = nullptr);

    bool autoSize() const { return m_autoSize; }
    void setAutoSize(bool on);

protected:
    bool event(QEvent *event) override;

private:
    void fitText();

    bool m_autoSize = true;
};

#endif // LABEL_H
