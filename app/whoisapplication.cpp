#include "whoisapplication.h"

#include "accessibility.h"
#include "failurereport.h"

#include <QEvent>
#include <QFont>
#include <QMessageBox>
#include <QWidget>

TApplication *Application = nullptr;

namespace {

// Qt takes options of its own from the arguments it is given (-title,
// -style, -geometry, -reverse, -platform, -display, ...). The program takes
// none, so Qt sees only the program's name; the display still comes from
// the environment.
int nameOnlyArgc = 1;
char *nameOnlyArgv[2] = {nullptr, nullptr};

char **nameOnly(char **argv)
{
    static char fallback[] = "whoislookup";
    nameOnlyArgc = 1;
    nameOnlyArgv[0] = argv && argv[0] ? argv[0] : fallback;
    return nameOnlyArgv;
}

// Held while the window-system events that came in during a handler are
// taken in: input is dropped (a key or click must not start work inside the
// report of a failure; the box, once up, would drop it too), and a close
// asked of the form is noted instead of done.
class CloseCatcher : public QObject
{
public:
    explicit CloseCatcher(QWidget *form)
        : m_form(form)
    {
        QCoreApplication::instance()->installEventFilter(this);
    }

    bool closeAsked() const { return m_closeAsked; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!event->spontaneous())
            return false;
        if (event->type() == QEvent::Close && watched == m_form) {
            event->ignore();
            m_closeAsked = true;
            return true;
        }
        return event->isInputEvent();
    }

private:
    QWidget *m_form;
    bool m_closeAsked = false;
};

} // namespace

TApplication::TApplication(int & /*argc*/, char **argv)
    : QApplication(nameOnlyArgc, nameOnly(argv))
{
    Application = this;
    installAccessibleRoles();
    setFailureReport([this](const std::exception &e) { HandleException(e); });
}

TApplication::~TApplication()
{
    // The windows go before the application object they belong to.
    m_forms.clear();
    setFailureReport(nullptr);
    removeAccessibleRoles();
    Application = nullptr;
}

void TApplication::Initialize()
{
    // The window is designed in MS Sans Serif, which Linux lacks; Liberation
    // Sans is near its widths, so captions fit the designed label sizes.
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Microsoft Sans Serif"),
                                QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
}

void TApplication::adoptForm(std::unique_ptr<QWidget> form)
{
    if (!m_mainForm)
        m_mainForm = form.get();
    m_forms.push_back(std::move(form));
}

int TApplication::Run()
{
    if (!m_mainForm)
        return 0;
    m_mainForm->show();
    return exec();
}

void TApplication::ShowException(const std::exception &e)
{
    QWidget *parent = m_mainForm && m_mainForm->isVisible() ? m_mainForm : nullptr;
    QMessageBox box(QMessageBox::Critical, applicationName(), QString::fromStdString(e.what()),
                    QMessageBox::Ok, parent);
    // The message may carry text the user typed or a server sent: never markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool TApplication::takeInWaitingClose()
{
    if (!m_mainForm || !m_mainForm->isVisible())
        return false;
    // A close asked for while the handler held the event loop (Alt+F4 during
    // a lookup) is still in the window system's queue. Once the box is up
    // the window is blocked, and Qt drops a close of a blocked window; so
    // it is taken in now, after a round trip to the window system brings
    // in all it has sent.
    CloseCatcher catcher(m_mainForm);
    sync();
    return catcher.closeAsked();
}

void TApplication::HandleException(const std::exception &e)
{
    const bool closeAsked = takeInWaitingClose();
    ShowException(e);
    if (closeAsked)
        m_mainForm->close();
}
