#include "support/DemoGatewayProcess.h"
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

// A user's round trip through the window against a real tessel-demo-gateway process: set up
// the machine in the sidebar, connect, send a message with Ctrl+Return, then open a project
// file in the files tab, edit it and save it to disk.
class tst_WindowEndToEnd : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { installPlatformMessageFilter(); }
    void connectSendAndSaveAFile();

private:
    template<typename T>
    T *control(const QString &identifier) const
    {
        return m_window->findChild<T *>(identifier);
    }
    void replaceText(const QString &identifier, const QString &text);
    bool hasBadge(const QString &text) const;

    std::unique_ptr<MainWindow> m_window;
};

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

void tst_WindowEndToEnd::connectSendAndSaveAFile()
{
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath(u"docs"_s));
    QFile readme(root.filePath(u"README.md"_s));
    QVERIFY(readme.open(QIODevice::WriteOnly));
    readme.write("# Demo project\n");
    readme.close();
    DemoGatewayProcess gateway;
    QVERIFY2(gateway.start({u"--root"_s, root.path(), u"--token"_s, gatewayToken, u"--no-env-file"_s,
                            u"--delta-interval-ms"_s, u"2"_s}),
             qPrintable(gateway.errorText()));

    ModelHarness harness;
    TesselDesktopPOCModel &model = harness.start();
    m_window = std::make_unique<MainWindow>();
    m_window->setContent(new TesselDesktopPOCContentView(&model));
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));

    replaceText(u"desktop-machine-gateway-url-field"_s, gateway.url().toString());
    replaceText(u"desktop-machine-token-field"_s, gatewayToken);
    replaceText(u"desktop-project-directory-field"_s, root.path());
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

    auto *workspace = control<QTabBar>(u"desktop-workspace-picker"_s);
    QTest::mouseClick(workspace, Qt::LeftButton, {}, workspace->tabRect(1).center());
    auto *list = control<QListView>(u"desktop-files-list"_s);
    QModelIndex readmeRow;
    QTRY_VERIFY_WITH_TIMEOUT(
        list->isVisible() &&
            (readmeRow = list->model()->match(list->model()->index(0, 0), Qt::DisplayRole, u"README.md"_s).value(0))
                .isValid(),
        timeoutMs);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(readmeRow).center());
    auto *editor = control<QPlainTextEdit>(u"desktop-files-editor"_s);
    QTRY_COMPARE_WITH_TIMEOUT(editor->toPlainText(), u"# Demo project\n"_s, timeoutMs);
    QVERIFY(editor->isVisible());
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
    QVERIFY(readme.open(QIODevice::ReadOnly));
    QCOMPARE(readme.readAll(), QByteArray("# Demo project\nEdited in the window."));
    m_window.reset();
}

} // namespace tessel

QTEST_MAIN(tessel::tst_WindowEndToEnd)
#include "tst_WindowEndToEnd.moc"
