#include "whoisapplication.h"

#include "accessibility.h"
#include "failurereport.h"

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

void TApplication::HandleException(const std::exception &e)
{
    ShowException(e);
}
