#ifndef MESSAGEBOXWATCHER_H
#define MESSAGEBOXWATCHER_H

#include <QApplication>
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
                box->accept();
            }
        });
        m_timer.start(10);
    }

    QStringList captions;
    QStringList texts;

private:
    QTimer m_timer;
};

#endif // MESSAGEBOXWATCHER_H
