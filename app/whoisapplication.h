#ifndef WHOISAPPLICATION_H
#define WHOISAPPLICATION_H

#include <QApplication>

#include <exception>
#include <memory>
#include <vector>

class QWidget;

// The application object: owns the windows it creates, runs the event
// loop, and reports failures in a message box. Only the program's name is
// taken from the command line: the rest changes nothing.
class TApplication : public QApplication
{
    Q_OBJECT

public:
    TApplication(int &argc, char **argv);
    ~TApplication() override;

    void Initialize();

    // Creates a window owned by the application and stores it in ref. The
    // first window created is the main window: closing it ends the run.
    template <class TForm>
    void CreateForm(TForm *&ref)
    {
        auto form = std::make_unique<TForm>(nullptr);
        ref = form.get();
        adoptForm(std::move(form));
    }

    // Shows the main window and runs the event loop until it is closed.
    int Run();

    // Shows the failure's message in a message box and returns when the
    // user has dismissed it.
    void ShowException(const std::exception &e);

    // The default report of a failure raised in an event handler. A close
    // of the main window asked for while the handler ran is kept: once the
    // box is dismissed, the window closes.
    void HandleException(const std::exception &e);

private:
    void adoptForm(std::unique_ptr<QWidget> form);
    bool takeInWaitingClose();

    std::vector<std::unique_ptr<QWidget>> m_forms;
    QWidget *m_mainForm = nullptr;
};

// The one application object of the run, set while it exists.
extern TApplication *Application;

#endif // WHOISAPPLICATION_H
