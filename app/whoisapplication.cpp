#include "whoisapplication.h"

#include <QFont>
#include <QMessageBox>
#include <QWidget>

TApplication *Application = nullptr;

TApplication::TApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
    Application = this;
}

TApplication::~TApplication()
{
    // The windows go before the application object they belong to.
    m_forms.clear();
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
