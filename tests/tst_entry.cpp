#include <QProcess>
#include <QTest>

// The entry, run as a process of its own with a window that cannot be made.
class TestEntry : public QObject
{
    Q_OBJECT

private slots:
    void failedWindowIsReportedAndExitsZero();
};

void TestEntry::failedWindowIsReportedAndExitsZero()
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(FAILING_FORM_APP), {});
    QVERIFY(process.waitForFinished(20000));

    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    QVERIFY2(out.contains("text: The stored window description could not be read."),
             qPrintable(out));
    QVERIFY2(out.contains("caption: failingformapp"), qPrintable(out));
    QVERIFY2(out.contains("other windows: 0"), qPrintable(out));
}

QTEST_GUILESS_MAIN(TestEntry)
#include "tst_entry.moc"
