#include "support/DemoGatewayProcess.h"
#include "support/ListClicks.h"
#include "support/ModelHarness.h"
#include "ui/MainWindow.h"
#include "ui/PlatformMessageFilter.h"
#include "ui/StatusBadge.h"
#include "ui/TesselDesktopPOCContentView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

using test::DemoGatewayProcess;
using test::ModelHarness;

constexpr int timeoutMs = 15000;
const QString gatewayToken = u"window-e2e-token"_s;

// A user's round trips through the window against a real tessel-demo-gateway process over
// a temporary project.
class tst_WindowEndToEnd : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { installPlatformMessageFilter(); }
    void init();
    void cleanup();
    void connectSendAndSaveAFile();
    void savesTheOpenedBytesChangedOnlyByTheEdit_data();
    void savesTheOpenedBytesChangedOnlyByTheEdit();

private:
    template<typename T>
    T *control(const QString &identifier) const
    {
        return m_window->findChild<T *>(identifier);
    }
    void writeFile(const QString &name, const QByteArray &bytes);
    QByteArray fileBytes(const QString &name) const;
    void replaceText(const QString &identifier, const QString &text);
    bool hasBadge(const QString &text) const;
    // Clicks the listed file `name` in the files tab and waits for it in the editor.
    void openListedFile(const QString &name);

    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<DemoGatewayProcess> m_gateway;
    std::unique_ptr<ModelHarness> m_harness;
    TesselDesktopPOCModel *m_model = nullptr;
    std::unique_ptr<MainWindow> m_window;
};

void tst_WindowEndToEnd::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir(m_root->path()).mkpath(u"docs"_s));
    writeFile(u"README.md"_s, "# Demo project\n");
    m_gateway = std::make_unique<DemoGatewayProcess>();
    QVERIFY2(m_gateway->start({u"--root"_s, m_root->path(), u"--token"_s, gatewayToken, u"--no-env-file"_s,
                               u"--delta-interval-ms"_s, u"2"_s}),
             qPrintable(m_gateway->errorText()));
    m_harness = std::make_unique<ModelHarness>();
    m_model = &m_harness->start();
    m_window = std::make_unique<MainWindow>();
    m_window->setContent(new TesselDesktopPOCContentView(m_model));
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void tst_WindowEndToEnd::cleanup()
{
    m_window.reset();
    m_model = nullptr;
    m_harness.reset();
    m_gateway.reset();
    m_root.reset();
}

void tst_WindowEndToEnd::writeFile(const QString &name, const QByteArray &bytes)
{
    QFile file(m_root->filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QByteArray tst_WindowEndToEnd::fileBytes(const QString &name) const
{
    QFile file(m_root->filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void tst_WindowEndToEnd::openListedFile(const QString &name)
{
    auto *workspace = control<QTabBar>(u"desktop-workspace-picker"_s);
    QTest::mouseClick(workspace, Qt::LeftButton, {}, workspace->tabRect(1).center());
    QVERIFY(test::clickRow(control<QListView>(u"desktop-files-list"_s), name, timeoutMs));
    QTRY_VERIFY_WITH_TIMEOUT(m_model->currentDocument() && m_model->currentDocument()->path == name, timeoutMs);
    QVERIFY(control<QPlainTextEdit>(u"desktop-files-editor"_s)->isVisible());
}

void tst_WindowEndToEnd::replaceText(const QString &identifier, const QString &text)
{
    auto *field = control<QLineEdit>(identifier);
    QVERIFY(field);
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, text);
}

bool tst_WindowEndToEnd::hasBadge(const QString &text) const
{
    const auto badges = m_window->findChildren<StatusBadge *>();
    return std::any_of(badges.cbegin(), badges.cend(),
                       [&text](StatusBadge *badge) { return badge->isVisible() && badge->text() == text; });
}

// Set up the machine in the sidebar, connect, send a message with Ctrl+Return, then open a
// project file in the files tab, edit it and save it to disk.
void tst_WindowEndToEnd::connectSendAndSaveAFile()
{
    TesselDesktopPOCModel &model = *m_model;
    replaceText(u"desktop-machine-gateway-url-field"_s, m_gateway->url().toString());
    replaceText(u"desktop-machine-token-field"_s, gatewayToken);
    replaceText(u"desktop-project-directory-field"_s, m_root->path());
    auto *connectButton = control<QAbstractButton>(u"desktop-toolbar-connect-button"_s);
    QVERIFY(connectButton->isEnabled());
    QTest::mouseClick(connectButton, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(connectButton->text(), u"Reconnect"_s, timeoutMs);
    QVERIFY(hasBadge(u"Connected"_s));
    QVERIFY(control<QAbstractButton>(u"desktop-toolbar-refresh-sessions-button"_s)->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(model.currentSessionID().has_value(), timeoutMs);

    auto *composer = control<QPlainTextEdit>(u"desktop-chat-composer-editor"_s);
    auto *send = control<QAbstractButton>(u"desktop-chat-send-button"_s);
    QVERIFY(!send->isEnabled());
    composer->setFocus();
    QTest::keyClicks(composer, u"Hello from the window"_s);
    QVERIFY(send->isEnabled());
    QTest::keyClick(composer, Qt::Key_Return, Qt::ControlModifier);
    // A shortcut presses its button visibly: the click comes a moment later.
    QTRY_COMPARE_WITH_TIMEOUT(composer->toPlainText(), QString(), timeoutMs);
    const auto finishedReply = [&model] {
        const auto &items = model.transcript()->items();
        return std::any_of(items.cbegin(), items.cend(), [](const DesktopTranscriptItem &item) {
            return item.role == DesktopTranscriptRole::assistant && !item.isStreaming &&
                item.body.contains("Hello from the window"_L1);
        });
    };
    QTRY_VERIFY_WITH_TIMEOUT(finishedReply(), timeoutMs);
    const auto &items = model.transcript()->items();
    QVERIFY(std::any_of(items.cbegin(), items.cend(), [](const DesktopTranscriptItem &item) {
        return item.role == DesktopTranscriptRole::user && item.body == "Hello from the window"_L1;
    }));

    openListedFile(u"README.md"_s);
    auto *editor = control<QPlainTextEdit>(u"desktop-files-editor"_s);
    QCOMPARE(editor->toPlainText(), u"# Demo project\n"_s);
    QVERIFY(hasBadge(u"Saved"_s));

    editor->setFocus();
    editor->moveCursor(QTextCursor::End);
    QTest::keyClicks(editor, u"Edited in the window."_s);
    QVERIFY(hasBadge(u"Unsaved"_s));
    auto *save = control<QAbstractButton>(u"desktop-files-save-button"_s);
    QVERIFY(save->isEnabled());
    QSignalSpy saved(&model, &TesselDesktopPOCModel::saveFinished);
    QTest::mouseClick(save, Qt::LeftButton);
    QVERIFY(saved.wait(timeoutMs));
    QVERIFY2(!model.fileErrorMessage(), qPrintable(model.fileErrorMessage().value_or(QString())));
    QVERIFY(hasBadge(u"Saved"_s));
    QVERIFY(!save->isEnabled());
    QCOMPARE(fileBytes(u"README.md"_s), QByteArray("# Demo project\nEdited in the window."));
}

void tst_WindowEndToEnd::savesTheOpenedBytesChangedOnlyByTheEdit_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("newline"); // what Return adds
    QTest::newRow("CRLF, byte-order mark, no final newline")
        << QByteArray("\xEF\xBB\xBFone\r\ntwo\r\nthree") << QByteArray("\r\n");
    QTest::newRow("CR, no-break spaces, tabs") << QByteArray("a\xC2\xA0"
                                                             "b\tc\rd\xC2\xA0\xC2\xA0\r")
                                               << QByteArray("\r");
    QTest::newRow("U+2028 and U+2029 among LF") << QByteArray("a\xE2\x80\xA8"
                                                              "b\nc\xE2\x80\xA9"
                                                              "d\n")
                                                << QByteArray("\n");
}

// Opening marks nothing Unsaved; a save writes the bytes that were opened plus the edit.
void tst_WindowEndToEnd::savesTheOpenedBytesChangedOnlyByTheEdit()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, newline);
    writeFile(u"file.txt"_s, bytes);
    m_model->updateSelectedGatewayURL(m_gateway->url().toString());
    m_model->updateSelectedGatewayToken(gatewayToken);
    m_model->updateSelectedProjectDirectory(m_root->path());
    openListedFile(u"file.txt"_s);
    QVERIFY(hasBadge(u"Saved"_s));
    QVERIFY(!m_model->canSaveCurrentDocument());

    auto *editor = control<QPlainTextEdit>(u"desktop-files-editor"_s);
    editor->setFocus();
    QTest::keyClick(editor, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(editor, u"X"_s);
    QTest::keyClick(editor, Qt::Key_Return);
    QTest::keyClicks(editor, u"Y"_s);
    QVERIFY(hasBadge(u"Unsaved"_s));
    QSignalSpy saved(m_model, &TesselDesktopPOCModel::saveFinished);
    QTest::mouseClick(control<QAbstractButton>(u"desktop-files-save-button"_s), Qt::LeftButton);
    QVERIFY(saved.wait(timeoutMs));
    QVERIFY2(!m_model->fileErrorMessage(), qPrintable(m_model->fileErrorMessage().value_or(QString())));
    QCOMPARE(fileBytes(u"file.txt"_s), bytes + "X" + newline + "Y");
    QVERIFY(hasBadge(u"Saved"_s));
}

} // namespace tessel

QTEST_MAIN(tessel::tst_WindowEndToEnd)
#include "tst_WindowEndToEnd.moc"
