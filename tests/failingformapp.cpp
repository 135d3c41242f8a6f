// The program's entry with a window whose creation fails. It prints what
// the failure report showed, dismisses it, and exits with the entry's code.
#include "entry.h"

#include <QMessageBox>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <stdexcept>

class TFailingForm : public QWidget
{
public:
    explicit TFailingForm(QWidget *owner)
        : QWidget(owner)
    {
        auto *watcher = new QTimer(QCoreApplication::instance());
        QObject::connect(watcher, &QTimer::timeout, [] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            int otherWindows = 0;
            for (QWidget *w : QApplication::topLevelWidgets())
                otherWindows += (w != box && w->isVisible()) ? 1 : 0;
            std::printf("caption: %s\ntext: %s\nother windows: %d\n",
                        qPrintable(box->windowTitle()), qPrintable(box->text()), otherWindows);
            std::fflush(stdout);
            box->accept();
        });
        watcher->start(10);
        throw std::runtime_error("The stored window description could not be read.");
    }
};

TFailingForm *failingForm = nullptr;

int main(int argc, char *argv[])
{
    return runApplication(argc, argv, failingForm);
}
