#ifndef MESSAGEBOXWATCHER_H
#define MESSAGEBOXWATCHER_H

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

// Watches for modal message boxes while a test drives the window, notes
// their caption and text, and dismisses them as a user would.
class MessageBoxWatcher : public QObject
{
public:
    MessageBoxWatcher()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                captions << box->windowTitle();
                texts << box->text();
                shown << shownText(box);
                box->accept();
            }
        });
        m_timer.start(10);
    }

    QStringList captions;
    QStringList texts;
    // The text as the box displays it: Qt reads a label's text for screen
    // readers from what it renders, markup and entities resolved.
    QStringList shown;

private:
    static QString shownText(QMessageBox *box)
    {
        QStringList parts;
        for (QLabel *label : box->findChildren<QLabel *>()) {
            if (!label->isVisible())
                continue;
            const QString text =
                QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name);
            if (!text.isEmpty())
                parts << text;
        }
        return parts.join('\n');
    }

    QTimer m_timer;
};

#endif // MESSAGEBOXWATCHER_H
