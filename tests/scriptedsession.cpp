// The real program, entry and window, through one scripted session: start,
// a lookup against a local server, a failed lookup, close. Used to run the
// whole program under Valgrind; prints what it saw and exits non-zero if a
// step did not behave.
#include "entry.h"
#include "idwhois.h"
#include "whoismain.h"
#include "whoistestserver.h"

#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <cstdio>

namespace {

int failures = 0;

void check(bool ok, const char *what)
{
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
    failures += ok ? 0 : 1;
}

void lookUp(const char *domain)
{
    fmMain->edDomain->setFocus();
    fmMain->edDomain->clear();
    QTest::keyClicks(fmMain->edDomain, domain);
    QTest::mouseClick(fmMain->btLookup, Qt::LeftButton);
}

void applyHost(const char *host)
{
    fmMain->Edit1->setText(QString::fromLatin1(host));
    QTest::mouseClick(fmMain->Button1, Qt::LeftButton);
}

} // namespace

int main(int argc, char *argv[])
{
    WhoisTestServer server("Domain Name: example.kr\r\n\r\nRegistrant: X\r\n");

    QTimer::singleShot(0, [&] {
        QString boxText;
        QTimer dismisser;
        QObject::connect(&dismisser, &QTimer::timeout, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                boxText = box->text();
                box->accept();
            }
        });
        dismisser.start(10);

        applyHost("127.0.0.1");
        fmMain->IdWhois->Port = server.port(); // a free port stands in for 43
        lookUp("example.kr");
        check(fmMain->meResults->blockCount() == 3, "the reply shows three rows");

        applyHost("whois.example.invalid");
        lookUp("example.kr");
        check(boxText.contains("the host was not found"), "the failed lookup is reported");
        check(fmMain->meResults->document()->isEmpty(), "the box is empty after the failure");

        fmMain->close();
    });

    const int code = runApplication(argc, argv, fmMain);
    check(code == 0, "the program exits with 0");
    return failures == 0 ? 0 : 1;
}
