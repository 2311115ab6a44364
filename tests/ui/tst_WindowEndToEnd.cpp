#include "support/DataRow.h"
#include "support/DemoGatewayProcess.h"
#include "support/ModelHarness.h"
#include "support/TestWindow.h"
#include "ui/PlatformMessageFilter.h"
#include "ui/StatusBadge.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

constexpr int timeoutMs = 15000;
const QString gatewayToken = u"window-e2e-token"_s;

// A user's round trips through the window against a real tessel-demo-gateway process over
// a temporary project.
class tst_WindowEndToEnd : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;
    test::DemoGatewayProcess m_gateway;
    std::optional<test::ModelHarness> m_harness;
    std::optional<test::TestWindow> m_window;
    TesselDesktopPOCModel *m_model = nullptr;

    void writeFile(const QString &name, const QByteArray &bytes)
    {
        QFile file(m_root.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size());
    }
    QByteArray fileBytes(const QString &name) const
    {
        QFile file(m_root.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // Types `text` over the field's whole text, as a user replacing it does.
    void replaceText(const char *field, const QString &text)
    {
        auto *edit = m_window->control<QLineEdit>(field);
        edit->setFocus();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, text);
    }
    // Opens the listed file `name` on the files tab; types "X", Return, "Y" at its end and saves.
    void openEditAndSave(const QString &name)
    {
        m_window->pickTab("workspace-picker", 1);
        QVERIFY(m_window->openListedFile(name, timeoutMs));
        QVERIFY(m_window->texts<StatusBadge>().contains(u"Saved"_s));
        QVERIFY(!m_model->canSaveCurrentDocument());
        auto *editor = m_window->control<QPlainTextEdit>("files-editor");
        editor->setFocus();
        QTest::keyClick(editor, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClicks(editor, u"X"_s);
        QTest::keyClick(editor, Qt::Key_Return);
        QTest::keyClicks(editor, u"Y"_s);
        QVERIFY(m_window->texts<StatusBadge>().contains(u"Unsaved"_s));
        QSignalSpy saved(m_model, &TesselDesktopPOCModel::saveFinished);
        m_window->click("files-save-button");
        QVERIFY(saved.wait(timeoutMs));
        QVERIFY2(!m_model->fileErrorMessage(), qPrintable(m_model->fileErrorMessage().value_or(QString())));
        QVERIFY(m_window->texts<StatusBadge>().contains(u"Saved"_s));
        QVERIFY(!m_window->control("files-save-button")->isEnabled());
    }

private Q_SLOTS:
    void initTestCase()
    {
        installPlatformMessageFilter();
        writeFile(u"README.md"_s, "# Demo project\n");
        QVERIFY2(m_gateway.start({u"--root"_s, m_root.path(), u"--token"_s, gatewayToken, u"--no-env-file"_s,
                                  u"--delta-interval-ms"_s, u"2"_s}),
                 qPrintable(m_gateway.errorText()));
    }
    void init()
    {
        m_model = &m_harness.emplace().start();
        m_window.emplace(*m_model);
        QVERIFY(QTest::qWaitForWindowExposed(&*m_window));
        replaceText("machine-gateway-url-field", m_gateway.url().toString());
        replaceText("machine-token-field", gatewayToken);
        replaceText("project-directory-field", m_root.path());
    }
    void cleanup()
    {
        m_window.reset();
        m_harness.reset();
    }

    // Connect, send a message with Ctrl+Return, then edit a project file in the files tab and
    // save it to disk.
    void connectSendAndSaveAFile()
    {
        auto *connectButton = m_window->control<QAbstractButton>("toolbar-connect-button");
        QTest::mouseClick(connectButton, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(connectButton->text(), u"Reconnect"_s, timeoutMs);
        QVERIFY(m_window->texts<StatusBadge>().contains(u"Connected"_s));
        QVERIFY(m_window->control("toolbar-refresh-sessions-button")->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(m_model->currentSessionID().has_value(), timeoutMs);

        auto *composer = m_window->control<QPlainTextEdit>("chat-composer-editor");
        QVERIFY(!m_window->control("chat-send-button")->isEnabled());
        composer->setFocus();
        QTest::keyClicks(composer, u"Hello from the window"_s);
        QVERIFY(m_window->control("chat-send-button")->isEnabled());
        QTest::keyClick(composer, Qt::Key_Return, Qt::ControlModifier);
        // A shortcut presses its button visibly: the click comes a moment later.
        QTRY_COMPARE_WITH_TIMEOUT(composer->toPlainText(), QString(), timeoutMs);
        const auto has = [this](DesktopTranscriptRole role, bool (*matches)(const QString &body)) {
            const auto &items = m_model->transcript()->items();
            return std::any_of(items.cbegin(), items.cend(), [&](const DesktopTranscriptItem &item) {
                return item.role == role && !item.isStreaming && matches(item.body);
            });
        };
        QVERIFY(
            has(DesktopTranscriptRole::user, [](const QString &body) { return body == "Hello from the window"_L1; }));
        QTRY_VERIFY_WITH_TIMEOUT(has(DesktopTranscriptRole::assistant,
                                     [](const QString &body) { return body.contains("Hello from the window"_L1); }),
                                 timeoutMs);

        openEditAndSave(u"README.md"_s);
        QCOMPARE(fileBytes(u"README.md"_s), QByteArray("# Demo project\nX\nY"));
    }

    void savesTheOpenedBytesChangedOnlyByTheEdit_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("newline"); // what Return adds
        test::row("CRLF, byte-order mark, no final newline", QByteArray("\xEF\xBB\xBFone\r\ntwo\r\nthree"),
                  QByteArray("\r\n"));
        test::row("CR, no-break spaces, tabs",
                  QByteArray("a\xC2\xA0"
                             "b\tc\rd\xC2\xA0\xC2\xA0\r"),
                  QByteArray("\r"));
        test::row("U+2028 and U+2029 among LF",
                  QByteArray("a\xE2\x80\xA8"
                             "b\nc\xE2\x80\xA9"
                             "d\n"),
                  QByteArray("\n"));
    }

    // Opening marks nothing Unsaved; a save writes the bytes that were opened plus the edit.
    void savesTheOpenedBytesChangedOnlyByTheEdit()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, newline);
        writeFile(u"file.txt"_s, bytes);
        openEditAndSave(u"file.txt"_s);
        QCOMPARE(fileBytes(u"file.txt"_s), bytes + "X" + newline + "Y");
    }
};

} // namespace tessel

QTEST_MAIN(tessel::tst_WindowEndToEnd)
#include "tst_WindowEndToEnd.moc"
