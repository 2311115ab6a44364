#include "support/DemoGatewayProcess.h"
#include "support/ModelHarness.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

using test::DemoGatewayProcess;
using test::ModelHarness;

constexpr int timeoutMs = 10000;
const QString gatewayToken = u"e2e-token-41"_s;

// The model against a real tessel-demo-gateway process over a temporary project.
class tst_ModelEndToEnd : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void typicalChatExchange();
    void editsAndSavesFilesWithConflicts();
    void saveResultChangesOnlyTheDocumentItWasMadeFrom_data();
    void saveResultChangesOnlyTheDocumentItWasMadeFrom();
    void mockStoreRefusesTheSimulatedConflict();

private:
    void startGateway(const QStringList &extraArguments = {});
    void writeProjectFile(const QString &relative, const QByteArray &content);
    QByteArray projectFile(const QString &relative) const;
    // The requests the gateway logged so far, as "type keys" lines.
    QStringList requestLog();
    QStringList transcriptTitles() const;

    std::unique_ptr<QTemporaryDir> m_rootDirectory;
    std::unique_ptr<DemoGatewayProcess> m_gatewayProcess;
    std::unique_ptr<ModelHarness> m_harness;
    TesselDesktopPOCModel *m_model = nullptr;
};

void tst_ModelEndToEnd::init()
{
    m_rootDirectory = std::make_unique<QTemporaryDir>();
    QVERIFY(m_rootDirectory->isValid());
    writeProjectFile(u"README.md"_s, "# Demo project\n");
    writeProjectFile(u"docs/notes.md"_s, "first line\n");
    m_harness = std::make_unique<ModelHarness>();
    m_model = &m_harness->start();
    startGateway();
    m_model->updateSelectedGatewayToken(gatewayToken);
    m_model->updateSelectedProjectDirectory(m_rootDirectory->path());
}

void tst_ModelEndToEnd::startGateway(const QStringList &extraArguments)
{
    m_gatewayProcess = std::make_unique<DemoGatewayProcess>();
    QVERIFY2(
        m_gatewayProcess->start(QStringList{u"--root"_s, m_rootDirectory->path(), u"--token"_s, gatewayToken,
                                            u"--no-env-file"_s, u"--delta-interval-ms"_s, u"2"_s, u"--log-requests"_s} +
                                extraArguments),
        qPrintable(m_gatewayProcess->errorText()));
    m_model->updateSelectedGatewayURL(m_gatewayProcess->url().toString());
}

void tst_ModelEndToEnd::cleanup()
{
    m_model = nullptr;
    m_harness.reset();
    m_gatewayProcess.reset();
    m_rootDirectory.reset();
}

void tst_ModelEndToEnd::writeProjectFile(const QString &relative, const QByteArray &content)
{
    QDir(m_rootDirectory->path()).mkpath(QFileInfo(relative).path());
    QFile file(m_rootDirectory->filePath(relative));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

QByteArray tst_ModelEndToEnd::projectFile(const QString &relative) const
{
    QFile file(m_rootDirectory->filePath(relative));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList tst_ModelEndToEnd::requestLog()
{
    static const QRegularExpression line(u"^request (\\S+) keys=(\\S*)$"_s, QRegularExpression::MultilineOption);
    auto matches = line.globalMatch(m_gatewayProcess->output());
    QStringList requests;
    while (matches.hasNext()) {
        const auto match = matches.next();
        requests << match.captured(1) + u' ' + match.captured(2);
    }
    return requests;
}

QStringList tst_ModelEndToEnd::transcriptTitles() const
{
    QStringList titles;
    for (const auto &item : m_model->transcript()->items())
        titles << item.title;
    return titles;
}

void tst_ModelEndToEnd::typicalChatExchange()
{
    // Connect, authenticate, catalog, session list and the automatic session.
    m_model->connect();
    QTRY_VERIFY_WITH_TIMEOUT(m_model->currentSessionID().has_value(), timeoutMs);
    QCOMPARE(m_model->connectionState(), ConnectionState::connected());
    QTRY_COMPARE_WITH_TIMEOUT(m_model->availableBackends().size(), 2, timeoutMs);
    QCOMPARE(m_model->transcript()->items().last().body, u"Session ready."_s);
    QTRY_COMPARE_WITH_TIMEOUT(m_model->sessions().size(), 1, timeoutMs);
    const QString firstSession = *m_model->currentSessionID();
    QCOMPARE(m_model->selectedSessionID(), firstSession);

    // A message: echoed, a tool item, one streamed assistant item, state and usage.
    m_model->setComposerText(u"What is in this project?"_s);
    m_model->sendComposerMessage();
    QTRY_COMPARE_WITH_TIMEOUT(m_model->currentSessionState(), SessionLifecycleState::running, timeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(m_model->currentSessionState(), SessionLifecycleState::idle, timeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(m_model->contextUsageText().has_value(), timeoutMs);
    const auto &items = m_model->transcript()->items();
    QCOMPARE(transcriptTitles().mid(transcriptTitles().size() - 3), (QStringList{u"You"_s, u"Tool"_s, u"Codex"_s}));
    QVERIFY2(items[items.size() - 2].body.contains(u"README.md"_s), qPrintable(items[items.size() - 2].body));
    QVERIFY(!items[items.size() - 2].isStreaming);
    QVERIFY(items.last().body.startsWith(u"You said: \"What is in this project?\""_s));
    QVERIFY(!items.last().isStreaming);
    QCOMPARE(m_model->currentSessionName(), u"What is in this project?"_s);

    // A new session, then the first one opened again from the list under the other backend.
    m_model->setBackend(BackendKind::pi);
    m_model->createNewSession();
    QCOMPARE(m_model->transcript()->items().first().body,
             u"Requesting a new Pi session for "_s + m_rootDirectory->path());
    QTRY_VERIFY_WITH_TIMEOUT(m_model->currentSessionID() && *m_model->currentSessionID() != firstSession, timeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(m_model->sessions().size(), 2, timeoutMs);
    m_model->setSelectedSessionID(firstSession);
    QVERIFY(m_model->canOpenSelectedSession());
    m_model->openSelectedSession();
    QCOMPARE(m_model->backend(), BackendKind::codex);
    QTRY_COMPARE_WITH_TIMEOUT(m_model->currentSessionID(), firstSession, timeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(m_model->transcript()->items().last().body, u"Reattached to existing session."_s,
                              timeoutMs);
    QVERIFY(transcriptTitles().contains(u"Tool"_s));

    // Abort a long reply, then disconnect.
    m_model->setComposerText(u"flood 200000"_s);
    m_model->sendComposerMessage();
    QTRY_VERIFY_WITH_TIMEOUT(m_model->canAbort(), timeoutMs);
    m_model->abortCurrentTurn();
    QTRY_COMPARE_WITH_TIMEOUT(m_model->currentSessionState(), SessionLifecycleState::idle, timeoutMs);
    QVERIFY(!m_model->transcript()->items().last().isStreaming);
    m_model->resetLiveSessionState(true, u"Disconnected."_s, true, u"Disconnected."_s);
    QCOMPARE(m_model->connectionState(), ConnectionState::disconnected());
    QCOMPARE(m_model->transcript()->items().size(), 1);

    // What the gateway received, with exactly the keys each request carries.
    QTRY_VERIFY_WITH_TIMEOUT(requestLog().contains(u"session_abort requestId,sessionId,type"_s), timeoutMs);
    const QStringList requests = requestLog();
    QCOMPARE(requests.first(), u"hello client,requestId,token,type"_s);
    QVERIFY(requests.contains(u"list_backends requestId,type"_s));
    QVERIFY(requests.contains(u"session_create backend,cwd,requestId,type"_s));
    QVERIFY(requests.contains(u"session_list backend,cwd,requestId,type"_s));
    QVERIFY(requests.contains(u"session_message delivery,requestId,sessionId,text,type"_s));
    QVERIFY(requests.contains(u"session_create backend,cwd,forceNew,requestId,type"_s));
    QVERIFY(requests.contains(u"session_create backend,backendSessionId,cwd,requestId,sessionId,type"_s));
    QVERIFY(requests.indexOf(u"list_backends requestId,type"_s) <
            requests.indexOf(u"session_create backend,cwd,requestId,type"_s));
    QVERIFY(!m_gatewayProcess->output().contains(gatewayToken));
}

void tst_ModelEndToEnd::editsAndSavesFilesWithConflicts()
{
    m_model->setWorkspaceTab(ProjectWorkspaceTab::files);
    QTRY_VERIFY_WITH_TIMEOUT(m_model->currentDirectory().has_value(), timeoutMs);
    QCOMPARE(m_model->currentDirectoryEntries().first().name, u"docs"_s);
    m_model->activateEntry(m_model->currentDirectoryEntries().first());
    QTRY_COMPARE_WITH_TIMEOUT(m_model->currentDirectoryPath(), u"docs"_s, timeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(m_model->currentDirectoryEntries().size(), 1, timeoutMs);
    m_model->activateEntry(m_model->currentDirectoryEntries().first());
    QTRY_VERIFY_WITH_TIMEOUT(m_model->currentDocument().has_value(), timeoutMs);
    QCOMPARE(m_model->currentDocumentDraft(), u"first line\n"_s);
    QVERIFY(!m_model->canSaveCurrentDocument());

    QSignalSpy saves(m_model, &TesselDesktopPOCModel::saveFinished);
    m_model->setCurrentDocumentDraft(u"first line\nsecond line\n"_s);
    QVERIFY(m_model->canSaveCurrentDocument());
    m_model->saveCurrentDocument();
    QVERIFY(saves.wait(timeoutMs));
    QCOMPARE(m_model->fileStatusMessage(), u"Saved docs/notes.md"_s);
    QCOMPARE(m_model->fileErrorMessage(), std::nullopt);
    QVERIFY(!m_model->canSaveCurrentDocument());
    QCOMPARE(m_model->currentDirectoryEntries().first().size, qint64(23));

    // Someone changes the file behind the editor's back: the save is refused, nothing is lost.
    writeProjectFile(u"docs/notes.md"_s, "changed elsewhere\n");
    m_model->setCurrentDocumentDraft(u"my draft\n"_s);
    const auto documentBefore = m_model->currentDocument();
    m_model->saveCurrentDocument();
    QVERIFY(saves.wait(timeoutMs));
    QVERIFY(m_model->fileErrorMessage().has_value());
    QCOMPARE(m_model->currentDocumentDraft(), u"my draft\n"_s);
    QCOMPARE(m_model->currentDocument(), documentBefore);
    QVERIFY(m_model->canSaveCurrentDocument());

    // Reopening loads the file as it is now; editing and saving again succeeds.
    m_model->openDocument(u"docs/notes.md"_s);
    QTRY_COMPARE_WITH_TIMEOUT(m_model->currentDocumentDraft(), u"changed elsewhere\n"_s, timeoutMs);
    m_model->setCurrentDocumentDraft(u"merged by hand\n"_s);
    m_model->saveCurrentDocument();
    QVERIFY(saves.wait(timeoutMs));
    QCOMPARE(m_model->fileStatusMessage(), u"Saved docs/notes.md"_s);
    QFile saved(m_rootDirectory->filePath(u"docs/notes.md"_s));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), QByteArray("merged by hand\n"));

    m_model->openParentDirectory();
    QCOMPARE(m_model->currentDocument(), std::nullopt);
    QTRY_COMPARE_WITH_TIMEOUT(m_model->currentDirectoryPath(), QString(), timeoutMs);
}

void tst_ModelEndToEnd::saveResultChangesOnlyTheDocumentItWasMadeFrom_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("shownPath"); // empty: no document
    QTest::newRow("open another file") << u"open b"_s << u"docs/b.txt"_s;
    QTest::newRow("reopen the same file") << u"open a"_s << u"docs/a.txt"_s;
    QTest::newRow("parent directory") << u"parent"_s << QString();
    QTest::newRow("enter a directory") << u"enter"_s << QString();
}

// Whatever the user does while a save is in flight, the path and the text shown belong to
// one file, and no later click can write one file's text into another.
void tst_ModelEndToEnd::saveResultChangesOnlyTheDocumentItWasMadeFrom()
{
    QFETCH(QString, action);
    QFETCH(QString, shownPath);
    writeProjectFile(u"docs/a.txt"_s, "alpha\n");
    writeProjectFile(u"docs/b.txt"_s, "beta\n");
    QVERIFY(QDir(m_rootDirectory->path()).mkpath(u"docs/sub"_s));
    startGateway({u"--file-write-delay-ms"_s, u"400"_s});
    m_model->loadCurrentDirectory(true);
    QTRY_VERIFY_WITH_TIMEOUT(m_model->currentDirectory().has_value(), timeoutMs);
    m_model->activateEntry(m_model->currentDirectoryEntries().first());
    QTRY_COMPARE_WITH_TIMEOUT(m_model->currentDirectoryPath(), u"docs"_s, timeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(!m_model->isLoadingDirectory(), timeoutMs);
    m_model->openDocument(u"docs/a.txt"_s);
    QTRY_VERIFY_WITH_TIMEOUT(m_model->currentDocument().has_value(), timeoutMs);

    QSignalSpy saves(m_model, &TesselDesktopPOCModel::saveFinished);
    m_model->setCurrentDocumentDraft(u"alpha edited\n"_s);
    m_model->saveCurrentDocument();
    if (action == "open b"_L1)
        m_model->openDocument(u"docs/b.txt"_s);
    else if (action == "open a"_L1)
        m_model->openDocument(u"docs/a.txt"_s);
    else if (action == "parent"_L1)
        m_model->openParentDirectory();
    else
        m_model->activateEntry(m_model->currentDirectoryEntries().first());
    QVERIFY(saves.wait(timeoutMs));
    QTRY_VERIFY_WITH_TIMEOUT(!m_model->isLoadingDocument() && !m_model->isLoadingDirectory(), timeoutMs);

    QCOMPARE(projectFile(u"docs/a.txt"_s), QByteArray("alpha edited\n"));
    QCOMPARE(m_model->fileStatusMessage(), u"Saved docs/a.txt"_s);
    QVERIFY(!m_model->canSaveCurrentDocument());
    QCOMPARE(m_model->currentDocument().has_value(), !shownPath.isEmpty());
    if (shownPath.isEmpty())
        return;
    QCOMPARE(m_model->currentDocument()->path, shownPath);
    QCOMPARE(m_model->currentDocumentDraft(), m_model->currentDocument()->content);
    if (shownPath != "docs/b.txt"_L1)
        return;
    m_model->setCurrentDocumentDraft(u"beta edited\n"_s);
    m_model->saveCurrentDocument();
    QVERIFY(saves.wait(timeoutMs));
    QCOMPARE(projectFile(u"docs/b.txt"_s), QByteArray("beta edited\n"));
    QCOMPARE(projectFile(u"docs/a.txt"_s), QByteArray("alpha edited\n"));
}

void tst_ModelEndToEnd::mockStoreRefusesTheSimulatedConflict()
{
    ModelHarness mock({}, {u"UITestsMockFiles"_s, u"UITestsMockFileConflict"_s});
    auto &model = mock.start();
    QSignalSpy saves(&model, &TesselDesktopPOCModel::saveFinished);
    const QString path = u"docs/roadmap/project-file-editor.md"_s;
    model.openDocument(path);
    QTRY_VERIFY_WITH_TIMEOUT(model.currentDocument().has_value(), timeoutMs);
    const QString draft = model.currentDocumentDraft() + u"\nMy edit.\n"_s;
    model.setCurrentDocumentDraft(draft);
    model.saveCurrentDocument();
    QVERIFY(saves.wait(timeoutMs));
    QCOMPARE(model.fileErrorMessage(),
             u"This file changed on disk after it was loaded. Reload it before saving again."_s);
    QCOMPARE(model.currentDocumentDraft(), draft);
    QVERIFY(model.canSaveCurrentDocument());

    model.openDocument(path);
    QTRY_VERIFY_WITH_TIMEOUT(model.currentDocumentDraft() != draft, timeoutMs);
    model.setCurrentDocumentDraft(model.currentDocumentDraft() + u"\nMy edit.\n"_s);
    model.saveCurrentDocument();
    QVERIFY(saves.wait(timeoutMs));
    QCOMPARE(model.fileErrorMessage(), std::nullopt);
    QCOMPARE(model.fileStatusMessage(), u"Saved "_s + path);
}

} // namespace tessel

QTEST_GUILESS_MAIN(tessel::tst_ModelEndToEnd)
#include "tst_ModelEndToEnd.moc"
