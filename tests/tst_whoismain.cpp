#include "failurerecorder.h"
#include "idwhois.h"
#include "privatenetwork.h"
#include "whoismain.h"
#include "whoistestserver.h"

#include <QInputMethodEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>

#include <memory>
#include <optional>
#include <string>

// The window, driven through its controls as a user drives it.
class TestWhoisMain : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void stateAtStart();
    void layoutAsDesigned();
    void glyphHasTwoStates();
    void glyphSharpWhenScaled_data();
    void glyphSharpWhenScaled();
    void tabCycle();
    void enterInDomainLooksUp();
    void lookupButtonLooksUp();
    void enterElsewhereDoesNotLookUp();
    void hangulGoesOutAsUtf8();
    void hangulHostFoundByItsAsciiForm();
    void secondLookupReplacesRows();
    void crLfReplyShowsOneRowPerLine();
    void failedLookupReportsAndRecovers();
    void button1AppliesHostAsTyped();
    void scrollBarsWhenSmaller();
    void silentServerTimesOutAndRecovers();
    void replyPastABoundShowsNothing();
    void enterCallsBoundClickWithWindowAsSender();

private:
    QStringList rows() const;
    void pointAt(const WhoisTestServer &server);
    void typeDomainAndPressEnter(const QString &domain);

    std::unique_ptr<TfmMain> m_form;
};

void TestWhoisMain::init()
{
    m_form = std::make_unique<TfmMain>();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
}

void TestWhoisMain::cleanup()
{
    m_form.reset();
}

QStringList TestWhoisMain::rows() const
{
    QStringList result;
    const QTextDocument *document = m_form->meResults->document();
    if (document->isEmpty())
        return result;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
        result << block.text();
    return result;
}

void TestWhoisMain::pointAt(const WhoisTestServer &server)
{
    m_form->IdWhois->Host = "127.0.0.1";
    m_form->IdWhois->Port = server.port();
}

void TestWhoisMain::typeDomainAndPressEnter(const QString &domain)
{
    m_form->edDomain->setFocus();
    m_form->edDomain->clear();
    QTest::keyClicks(m_form->edDomain, domain);
    QTest::keyClick(m_form->edDomain, Qt::Key_Return);
}

void TestWhoisMain::stateAtStart()
{
    QCOMPARE(m_form->windowTitle(), QString("WhoIs Lookup"));
    QVERIFY(m_form->edDomain->text().isEmpty());
    QCOMPARE(QApplication::focusWidget(), m_form->edDomain);
    QVERIFY(m_form->meResults->document()->isEmpty());
    QCOMPARE(m_form->Edit1->text(), QString("Edit1"));
    QCOMPARE(m_form->Button1->text(), QString("Button1"));
    QCOMPARE(m_form->IdWhois->Host, std::string("whois.kr"));
    QCOMPARE(m_form->IdWhois->Port, std::uint16_t(43));
    QVERIFY(m_form->IdWhois->ASCIIFilter);
    QCOMPARE(m_form->Label1->text(), QString("Domain"));
    QCOMPARE(m_form->Label2->text(), QString("Results"));
}

void TestWhoisMain::layoutAsDesigned()
{
    // Captions keep their corner and grow to fit their text if need be.
    QCOMPARE(m_form->Label1->pos(), QPoint(8, 16));
    QCOMPARE(m_form->Label2->pos(), QPoint(8, 40));
    for (auto [label, designedWidth] : {std::pair<QLabel *, int>{m_form->Label1, 36},
                                        std::pair<QLabel *, int>{m_form->Label2, 35}}) {
        QVERIFY(label->width() >= qMax(designedWidth, label->sizeHint().width()));
        QVERIFY(label->height() >= 13);
    }
    QCOMPARE(m_form->btLookup->geometry(), QRect(544, 11, 23, 22));
    QCOMPARE(m_form->edDomain->geometry(), QRect(56, 12, 481, 21));
    QCOMPARE(m_form->meResults->geometry(), QRect(6, 56, 641, 257));
    QCOMPARE(m_form->Button1->geometry(), QRect(296, 352, 75, 25));
    QCOMPARE(m_form->Edit1->geometry(), QRect(128, 352, 145, 21));
    QCOMPARE(m_form->size(), QSize(647, 413));
    QCOMPARE(m_form->font().family(), QString("MS Sans Serif"));
    QCOMPARE(m_form->font().pointSize(), 8);

    QCOMPARE(m_form->btLookup->focusPolicy(), Qt::NoFocus);
    QCOMPARE(m_form->meResults->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(m_form->meResults->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(m_form->meResults->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    QVERIFY(!m_form->meResults->isReadOnly());
    for (QWidget *edit :
         {static_cast<QWidget *>(m_form->edDomain), static_cast<QWidget *>(m_form->meResults),
          static_cast<QWidget *>(m_form->Edit1)})
        QCOMPARE(edit->property("imeName").toString(), QString("Microsoft Korean IME 2002"));

    // Controls stay put when the window grows.
    m_form->resize(900, 700);
    QTest::qWait(20);
    QCOMPARE(m_form->Button1->mapTo(m_form.get(), QPoint()), QPoint(296, 352));
    QCOMPARE(m_form->meResults->size(), QSize(641, 257));
}

void TestWhoisMain::glyphHasTwoStates()
{
    const QIcon icon = m_form->btLookup->icon();
    QCOMPARE(m_form->btLookup->iconSize(), QSize(16, 16));
    const QImage normal = icon.pixmap(16, 16, QIcon::Normal).toImage();
    const QImage disabled = icon.pixmap(16, 16, QIcon::Disabled).toImage();
    QCOMPARE(normal.size(), QSize(16, 16));
    QVERIFY(normal != disabled);
    // The olive of the bottom-left pixel is transparent in both images.
    QCOMPARE(qAlpha(normal.pixel(0, 15)), 0);
    QCOMPARE(qAlpha(disabled.pixel(0, 15)), 0);
    QCOMPARE(qAlpha(normal.pixel(8, 8)), 255);
}

void TestWhoisMain::glyphSharpWhenScaled_data()
{
    QTest::addColumn<qreal>("scale");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("factor"); // the whole-pixel enlargement that fits
    QTest::newRow("125 % normal") << 1.25 << int(QIcon::Normal) << 1;
    QTest::newRow("150 % normal") << 1.5 << int(QIcon::Normal) << 1;
    QTest::newRow("150 % disabled") << 1.5 << int(QIcon::Disabled) << 1;
    QTest::newRow("2x normal") << 2.0 << int(QIcon::Normal) << 2;
    QTest::newRow("2x disabled") << 2.0 << int(QIcon::Disabled) << 2;
    QTest::newRow("250 % normal") << 2.5 << int(QIcon::Normal) << 2;
    QTest::newRow("3x normal") << 3.0 << int(QIcon::Normal) << 3;
}

void TestWhoisMain::glyphSharpWhenScaled()
{
    QFETCH(qreal, scale);
    QFETCH(int, mode);
    QFETCH(int, factor);
    const QIcon icon = m_form->btLookup->icon();
    const QImage plain = icon.pixmap(QSize(16, 16), 1.0, QIcon::Mode(mode))
                             .toImage()
                             .convertToFormat(QImage::Format_ARGB32);
    const QImage large = icon.pixmap(QSize(16, 16), scale, QIcon::Mode(mode))
                             .toImage()
                             .convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(large.size(), QSize(16, 16) * scale);
    QCOMPARE(large.devicePixelRatio(), scale);
    // Every pixel of the glyph becomes a solid block, centred, the rest
    // transparent: no smoothed edges.
    QImage blocks(large.size(), QImage::Format_ARGB32);
    blocks.fill(Qt::transparent);
    const QImage enlarged =
        plain.scaled(plain.size() * factor, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    const QPoint corner((blocks.width() - enlarged.width()) / 2,
                        (blocks.height() - enlarged.height()) / 2);
    for (int y = 0; y < enlarged.height(); ++y) {
        for (int x = 0; x < enlarged.width(); ++x)
            blocks.setPixel(corner + QPoint(x, y), enlarged.pixel(x, y));
    }
    blocks.setDevicePixelRatio(scale);
    QCOMPARE(large, blocks);
}

void TestWhoisMain::tabCycle()
{
    const QList<QWidget *> cycle{m_form->edDomain, m_form->meResults, m_form->Button1,
                                 m_form->Edit1, m_form->edDomain};
    QCOMPARE(QApplication::focusWidget(), cycle.first());
    for (qsizetype i = 1; i < cycle.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), cycle[i]);
    }
    QVERIFY(!m_form->meResults->toPlainText().contains('\t'));
}

void TestWhoisMain::enterInDomainLooksUp()
{
    WhoisTestServer server("domain: example.kr\n");
    pointAt(server);
    typeDomainAndPressEnter(" Example.KR ");
    QCOMPARE(server.received(), std::string(" Example.KR \r\n"));
    QCOMPARE(rows(), QStringList{"domain: example.kr"});
    QCOMPARE(QApplication::focusWidget(), m_form->edDomain);
}

void TestWhoisMain::lookupButtonLooksUp()
{
    WhoisTestServer server("a\n\nb\n");
    pointAt(server);
    QTest::keyClicks(m_form->edDomain, "example.kr");
    QTest::mouseClick(m_form->btLookup, Qt::LeftButton);
    QCOMPARE(server.received(), std::string("example.kr\r\n"));
    QCOMPARE(rows(), (QStringList{"a", "b"}));
    QCOMPARE(QApplication::focusWidget(), m_form->edDomain);
}

void TestWhoisMain::enterElsewhereDoesNotLookUp()
{
    WhoisTestServer server("x\n");
    pointAt(server);
    m_form->edDomain->setText("example.kr");
    QTest::keyClick(m_form->Edit1, Qt::Key_Return);
    m_form->meResults->setFocus();
    QTest::keyClick(m_form->meResults, Qt::Key_Return);
    QTest::qWait(50);
    QCOMPARE(server.connectionCount(), 0);
    QCOMPARE(m_form->IdWhois->Host, std::string("127.0.0.1"));
}

void TestWhoisMain::hangulGoesOutAsUtf8()
{
    // The default server is the Korean registry's: a domain typed in Hangul
    // must reach it as the UTF-8 bytes of what was typed.
    WhoisTestServer server("ok\n");
    pointAt(server);
    m_form->edDomain->setFocus();
    m_form->edDomain->clear();
    QInputMethodEvent typed; // as a Hangul input method commits it
    typed.setCommitString(QString::fromUtf8("\xed\x95\x9c\xea\xb8\x80.kr")); // 한글.kr
    QApplication::sendEvent(m_form->edDomain, &typed);
    QTest::keyClick(m_form->edDomain, Qt::Key_Return);
    QCOMPARE(server.received(), std::string("\xed\x95\x9c\xea\xb8\x80.kr\r\n"));
    QCOMPARE(rows(), QStringList{"ok"});

    // A host typed in Hangul is applied, and named in a failure, the same way.
    const std::string host = "\xed\x9b\x84\xec\x9d\xb4\xec\xa6\x88.invalid"; // 후이즈.invalid
    m_form->Edit1->setText(QString::fromStdString(host));
    QTest::mouseClick(m_form->Button1, Qt::LeftButton);
    QCOMPARE(m_form->IdWhois->Host, host);
    FailureRecorder watcher;
    typeDomainAndPressEnter("example.kr");
    QCOMPARE(watcher.texts.size(), 1);
    QVERIFY2(watcher.texts.first().startsWith(
                 QString::fromStdString("WHOIS query to \"" + host + "\" port")),
             qPrintable(watcher.texts.first()));
}

// A host typed in Hangul is looked up by its ASCII form, the only one a
// hosts file or DNS knows. In a network of the test's own only that form is
// mapped, to 127.0.0.1, where the test's server takes port 43.
void TestWhoisMain::hangulHostFoundByItsAsciiForm()
{
    const std::optional<std::string> result = PrivateNetwork::run(
        [this] {
            WhoisTestServer server("found\n", WhoisTestServer::Mode::Reply, "127.0.0.1", 43);
            if (!server.isListening())
                return std::string("(port 43 is taken)");
            m_form->Edit1->setText(QString::fromUtf8(
                "\xed\x9b\x84\xec\x9d\xb4\xec\xa6\x88.example")); // 후이즈.example
            QTest::mouseClick(m_form->Button1, Qt::LeftButton);
            FailureRecorder watcher;
            typeDomainAndPressEnter("example.kr");
            return (rows() + watcher.texts).join('|').toStdString() + "|" + server.received();
        },
        PrivateNetwork::SystemResolver, {"xn--hu5b21bm4u.example"});
    if (!result)
        QSKIP("no network namespace can be made here");
    QCOMPARE(QString::fromStdString(*result), QString("found|example.kr\r\n"));
}

void TestWhoisMain::secondLookupReplacesRows()
{
    WhoisTestServer first("one\ntwo\n");
    pointAt(first);
    typeDomainAndPressEnter("a.kr");
    QCOMPARE(rows(), (QStringList{"one", "two"}));

    WhoisTestServer second("three\n");
    pointAt(second);
    typeDomainAndPressEnter("b.kr");
    QCOMPARE(rows(), QStringList{"three"});
}

void TestWhoisMain::crLfReplyShowsOneRowPerLine()
{
    WhoisTestServer server("Domain Name: example.kr\r\n\r\nRegistrant: X\r\n");
    pointAt(server);
    typeDomainAndPressEnter("example.kr");
    QCOMPARE(rows(), (QStringList{"Domain Name: example.kr", "", "Registrant: X"}));
    QCOMPARE(m_form->meResults->blockCount(), 3);
}

void TestWhoisMain::failedLookupReportsAndRecovers()
{
    WhoisTestServer good("old row\n");
    pointAt(good);
    typeDomainAndPressEnter("example.kr");
    QCOMPARE(rows(), QStringList{"old row"});

    FailureRecorder watcher;
    WhoisTestServer refusing({}, WhoisTestServer::Mode::Refuse);
    m_form->IdWhois->Port = refusing.port();
    typeDomainAndPressEnter("example.kr");
    QCOMPARE(watcher.texts.size(), 1);
    QVERIFY2(watcher.texts.first().contains("connection was refused"),
             qPrintable(watcher.texts.first()));
    QVERIFY(rows().isEmpty());
    QVERIFY(m_form->isVisible());

    WhoisTestServer again("fresh row\n");
    pointAt(again);
    typeDomainAndPressEnter("example.kr");
    QCOMPARE(rows(), QStringList{"fresh row"});
}

void TestWhoisMain::button1AppliesHostAsTyped()
{
    QCOMPARE(m_form->IdWhois->Host, std::string("whois.kr")); // "Edit1" is not applied at start

    m_form->Edit1->setFocus();
    m_form->Edit1->selectAll();
    QTest::keyClicks(m_form->Edit1, "  whois.example.invalid ");
    QTest::mouseClick(m_form->Button1, Qt::LeftButton);
    QCOMPARE(m_form->IdWhois->Host, std::string("  whois.example.invalid "));
    QCOMPARE(m_form->Edit1->text(), QString("  whois.example.invalid "));

    FailureRecorder watcher;
    typeDomainAndPressEnter("example.kr");
    QCOMPARE(watcher.texts.size(), 1);
    QVERIFY2(watcher.texts.first().contains("\"  whois.example.invalid \" port 43"),
             qPrintable(watcher.texts.first()));
    QVERIFY(rows().isEmpty());
}

void TestWhoisMain::scrollBarsWhenSmaller()
{
    auto *scroller = m_form->findChild<QScrollArea *>();
    QVERIFY(scroller);
    QVERIFY(!scroller->horizontalScrollBar()->isVisible());
    QVERIFY(!scroller->verticalScrollBar()->isVisible());

    m_form->resize(300, 200);
    QTest::qWait(20);
    QVERIFY(scroller->horizontalScrollBar()->isVisible());
    QVERIFY(scroller->verticalScrollBar()->isVisible());
    scroller->horizontalScrollBar()->setValue(scroller->horizontalScrollBar()->maximum());
    scroller->verticalScrollBar()->setValue(scroller->verticalScrollBar()->maximum());
    // Scrolled to the end, the far corner of the controls' extent shows.
    const QRect visible(QPoint(), scroller->viewport()->size());
    const QPoint farCorner = scroller->widget()->mapTo(scroller->viewport(), QPoint(646, 376));
    QVERIFY(visible.contains(farCorner));
}

void TestWhoisMain::silentServerTimesOutAndRecovers()
{
    WhoisTestServer silent({}, WhoisTestServer::Mode::Silent);
    pointAt(silent);
    m_form->IdWhois->ReadTimeout = std::chrono::milliseconds(300);

    FailureRecorder watcher;
    typeDomainAndPressEnter("example.kr");
    QCOMPARE(watcher.texts.size(), 1);
    QVERIFY2(watcher.texts.first().contains("timed out waiting for the reply"),
             qPrintable(watcher.texts.first()));
    QVERIFY(rows().isEmpty());

    WhoisTestServer good("back\r\n");
    pointAt(good);
    typeDomainAndPressEnter("example.kr");
    QCOMPARE(rows(), QStringList{"back"});
}

void TestWhoisMain::replyPastABoundShowsNothing()
{
    WhoisTestServer good("\r\nearlier\r\n");
    pointAt(good);
    typeDomainAndPressEnter("example.kr");
    QCOMPARE(rows(), (QStringList{"", "earlier"}));

    WhoisTestServer tooMany(std::string(50, 'x').append("\r\n").append(std::string(30, 'y')));
    pointAt(tooMany);
    m_form->IdWhois->MaxReplyLines = 1;
    FailureRecorder watcher;
    typeDomainAndPressEnter("example.kr");
    QCOMPARE(watcher.texts,
             QStringList{QString(R"(WHOIS query to "127.0.0.1" port %1 failed: the reply has too )"
                                 "many lines to show (more than 1).")
                             .arg(tooMany.port())});
    QVERIFY(rows().isEmpty());
}

void TestWhoisMain::enterCallsBoundClickWithWindowAsSender()
{
    QList<QObject *> senders;
    m_form->btLookup->OnClick = [&](QObject *sender) { senders << sender; };
    typeDomainAndPressEnter("example.kr");
    QTest::keyClick(m_form->edDomain, Qt::Key_Enter); // the keypad's Enter
    QCOMPARE(senders, (QList<QObject *>{m_form.get(), m_form.get()}));
    // The key goes on to the field unchanged: its text is intact.
    QCOMPARE(m_form->edDomain->text(), QString("example.kr"));
}

QTEST_MAIN(TestWhoisMain)

#include "tst_whoismain.moc"
