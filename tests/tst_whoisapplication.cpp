#include "idwhois.h"
#include "messageboxwatcher.h"
#include "whoisapplication.h"
#include "whoismain.h"

#include <QTest>

#include <memory>

// The application object's report of a failure raised in the window: a
// message box with the failure's message, after which the window goes on.
class TestWhoisApplication : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void failureShownInABox();
    void failureMessageShownAsTyped_data();
    void failureMessageShownAsTyped();

private:
    void lookUpAt(const QString &host);

    std::unique_ptr<TfmMain> m_form;
};

void TestWhoisApplication::init()
{
    m_form = std::make_unique<TfmMain>();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
}

void TestWhoisApplication::cleanup()
{
    m_form.reset();
}

void TestWhoisApplication::lookUpAt(const QString &host)
{
    m_form->Edit1->setText(host);
    QTest::mouseClick(m_form->Button1, Qt::LeftButton);
    m_form->edDomain->setFocus();
    QTest::keyClicks(m_form->edDomain, "example.kr");
    QTest::keyClick(m_form->edDomain, Qt::Key_Return);
}

void TestWhoisApplication::failureShownInABox()
{
    MessageBoxWatcher watcher;
    lookUpAt("whois.example.invalid");
    QCOMPARE(watcher.texts,
             QStringList{R"(WHOIS query to "whois.example.invalid" port 43 failed: the host )"
                         "was not found."});
    QCOMPARE(watcher.captions, QStringList{QCoreApplication::applicationName()});
    QVERIFY(m_form->isVisible());

    // The window goes on: the next failure is reported the same way.
    lookUpAt("other.example.invalid");
    QCOMPARE(watcher.texts.size(), 2);
}

void TestWhoisApplication::failureMessageShownAsTyped_data()
{
    // Each host holds a blank, so it is "not found" without asking a resolver.
    QTest::addColumn<QString>("host");
    QTest::newRow("tags") << "<b>x</b> y.invalid";
    QTest::newRow("entity") << "a &amp; b.invalid";
    QTest::newRow("line break") << "a<br>b .invalid";
}

void TestWhoisApplication::failureMessageShownAsTyped()
{
    QFETCH(QString, host);
    MessageBoxWatcher watcher;
    lookUpAt(host);
    QCOMPARE(watcher.shown.size(), 1);
    QVERIFY2(watcher.shown.first().startsWith("WHOIS query to \"" + host + "\" port 43 failed:"),
             qPrintable(watcher.shown.first()));
}

int main(int argc, char *argv[])
{
    TApplication application(argc, argv);
    application.Initialize();
    TestWhoisApplication test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_whoisapplication.moc"
