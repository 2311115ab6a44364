#include "support/DataRow.h"
#include "support/LoopbackGatewayServer.h"
#include "support/ModelHarness.h"
#include "support/TestJson.h"
#include "ui/ChatPane.h"
#include "ui/DocumentEditor.h"
#include "ui/PlatformMessageFilter.h"

#include <QApplication>
#include <QClipboard>
#include <QJsonObject>
#include <QPushButton>
#include <QTest>
#include <QWebSocket>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

constexpr int timeoutMs = 10000;

// The composer over a live session: what is pasted and typed is sent exactly, however long
// its line, and the model's text reaches the composer.
class tst_ChatPane : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::ModelHarness> m_harness;
    std::unique_ptr<test::LoopbackGatewayServer> m_server;
    std::unique_ptr<ChatPane> m_pane;
    TesselDesktopPOCModel *m_model = nullptr;
    DocumentEditor *m_composer = nullptr;
    QPushButton *m_send = nullptr;

private Q_SLOTS:
    void initTestCase() { installPlatformMessageFilter(); }
    void init()
    {
        m_pane.reset();
        m_harness = std::make_unique<test::ModelHarness>();
        m_server = std::make_unique<test::LoopbackGatewayServer>();
        QVERIFY(m_server->listen());
        m_server->setAnswersHello(true);
        m_model = &m_harness->start();
        m_model->updateSelectedProjectDirectory(u"/srv/app"_s);
        QVERIFY(m_harness->connectTo(*m_server));
        m_server->sockets().last()->sendTextMessage(uR"({"type":"session_created","sessionId":"S1"})"_s);
        QTRY_COMPARE_WITH_TIMEOUT(m_model->currentSessionID(), u"S1"_s, timeoutMs);

        m_pane = std::make_unique<ChatPane>(m_model);
        m_pane->show();
        QApplication::setActiveWindow(m_pane.get());
        QVERIFY(QTest::qWaitForWindowActive(m_pane.get()));
        m_composer = m_pane->findChild<DocumentEditor *>(u"desktop-chat-composer-editor"_s);
        m_send = m_pane->findChild<QPushButton *>(u"desktop-chat-send-button"_s);
        m_composer->setFocus();
    }

    void sendsExactlyWhatWasEntered_data()
    {
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("sent");
        QTest::addColumn<bool>("byShortcut");
        // Words, so that soft breaks fall after spaces, where a leak would be least visible.
        const QString line = u"lorem ipsum dolor sit amet "_s.repeated(110'000);
        test::row("typed", "", "Hello there", "Hello there", false);
        test::row("3 MB line", line, "end", line + u"end"_s, true);
        test::row("line breaks", "one\r\ntwo\rthree", " four", "one\ntwo\nthree four", true);
        test::row("no-break space, trimmed", "", " a\u00A0b  ", "a\u00A0b", false);
    }

    void sendsExactlyWhatWasEntered()
    {
        QFETCH(QString, pasted);
        QFETCH(QString, typed);
        QFETCH(QString, sent);
        QFETCH(bool, byShortcut);
        QVERIFY(!m_send->isEnabled());
        if (!pasted.isEmpty()) {
            QApplication::clipboard()->setText(pasted);
            m_composer->paste();
        }
        QTest::keyClicks(m_composer, typed);
        QVERIFY(m_send->isEnabled());
        m_composer->selectAll();
        m_composer->copy();
        QVERIFY(QApplication::clipboard()->text().trimmed() == sent);

        if (byShortcut)
            QTest::keyClick(m_composer, Qt::Key_Return, Qt::ControlModifier);
        else
            QTest::mouseClick(m_send, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(m_server->framesOfType(u"session_message"_s).size(), 1, timeoutMs);
        QVERIFY(test::parseObject(m_server->framesOfType(u"session_message"_s).first()).value(u"text"_s) == sent);
        QCOMPARE(m_composer->document()->characterCount(), 1);
        QCOMPARE(m_model->composerText(), QString());
        QVERIFY(!m_send->isEnabled());
    }

    void showsTheModelsText()
    {
        // A restored draft or a switch shows the model's text; blank text cannot be sent.
        m_model->setComposerText(u"   "_s);
        QVERIFY(!m_send->isEnabled());
        const QString oversized(3'000'000, u'x');
        m_model->setComposerText(oversized);
        QVERIFY(m_composer->blockCount() > 1);
        QVERIFY(m_composer->draftText() == oversized);
        QVERIFY(m_send->isEnabled());
        // Refused as too large: the text stays for the user to shorten.
        QTest::keyClick(m_composer, Qt::Key_Return, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(m_model->transcript()->items().last().title, u"Message Not Sent"_s, timeoutMs);
        QTest::keyClick(m_composer, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(m_composer, Qt::Key_Backspace);
        QTest::keyClick(m_composer, Qt::Key_Tab);
        QVERIFY(!m_composer->hasFocus());
        QVERIFY(m_model->composerText() == oversized.chopped(1));
    }
};

} // namespace tessel

QTEST_MAIN(tessel::tst_ChatPane)
#include "tst_ChatPane.moc"
