#include "support/DataRow.h"
#include "support/DemoGatewayProcess.h"
#include "support/ModelHarness.h"
#include "support/TestFiles.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

using test::row;
using test::transcriptLines;

constexpr int timeoutMs = 10000;
const QString gatewayToken = u"e2e-token-41"_s;
const QString conflictText = u"This file changed on disk after it was loaded. Reload it before saving again."_s;

// The model against a real tessel-demo-gateway process over a temporary project.
class tst_ModelEndToEnd : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<test::DemoGatewayProcess> m_gateway;
    std::unique_ptr<test::ModelHarness> m_harness;
    TesselDesktopPOCModel *m_model = nullptr;

    void startGateway(const QStringList &extraArguments = {})
    {
        m_gateway = std::make_unique<test::DemoGatewayProcess>();
        QVERIFY2(m_gateway->start(QStringList{u"--root"_s, m_root->path(), u"--token"_s, gatewayToken, u"--no-env-file"_s,
                                              u"--delta-interval-ms"_s, u"2"_s, u"--log-requests"_s} +
                                  extraArguments),
                 qPrintable(m_gateway->errorText()));
        m_model->updateSelectedGatewayURL(m_gateway->url().toString());
    }
    void writeProjectFile(const QString &relative, const QByteArray &content)
    {
        QVERIFY(test::writeFile(m_root->filePath(relative), content));
    }
    QByteArray projectFile(const QString &relative) const { return test::readFile(m_root->filePath(relative)); }
    // The requests the gateway logged so far, as "type keys" lines.
    QStringList requestLog() const
    {
        static const QRegularExpression line(u"^request (\\S+) keys=(\\S*)$"_s, QRegularExpression::MultilineOption);
        QStringList requests;
        for (const auto &match : line.globalMatch(m_gateway->output()))
            requests << match.captured(1) + u' ' + match.captured(2);
        return requests;
    }
    void saveAndWait(const QString &draft)
    {
        QSignalSpy saves(m_model, &TesselDesktopPOCModel::saveFinished);
        m_model->setCurrentDocumentDraft(draft);
        m_model->saveCurrentDocument();
        QVERIFY(saves.wait(timeoutMs));
    }

private Q_SLOTS:
    void init()
    {
        m_root = std::make_unique<QTemporaryDir>();
        writeProjectFile(u"README.md"_s, "# Demo project\n");
        writeProjectFile(u"docs/notes.md"_s, "first line\n");
        m_harness = std::make_unique<test::ModelHarness>();
        m_model = &m_harness->start();
        startGateway();
        m_model->updateSelectedGatewayToken(gatewayToken);
        m_model->updateSelectedProjectDirectory(m_root->path());
    }
    void cleanup()
    {
        m_harness.reset();
        m_gateway.reset();
        m_root.reset();
    }

    void typicalChatExchange()
    {
        // Connect, authenticate, catalog, session list and the automatic session.
        m_model->connect();
        QTRY_VERIFY_WITH_TIMEOUT(m_model->currentSessionID().has_value(), timeoutMs);
        QCOMPARE(transcriptLines(*m_model).last(), u"System: Session ready."_s);
        QTRY_COMPARE_WITH_TIMEOUT(m_model->availableBackends().size(), 2, timeoutMs);
        const QString firstSession = *m_model->currentSessionID();

        // A message: echoed, a tool item, one streamed assistant item, state and usage.
        m_model->setComposerText(u"What is in this project?"_s);
        m_model->sendComposerMessage();
        QTRY_COMPARE_WITH_TIMEOUT(m_model->currentSessionState(), SessionLifecycleState::running, timeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(m_model->currentSessionState(), SessionLifecycleState::idle, timeoutMs);
        const QStringList lines = transcriptLines(*m_model).mid(transcriptLines(*m_model).size() - 3);
        QCOMPARE(lines[0], u"You: What is in this project?"_s);
        QVERIFY2(lines[1].startsWith(u"Tool: "_s) && lines[1].contains(u"README.md"_s) && !lines[1].endsWith(u'…'),
                 qPrintable(lines[1]));
        QVERIFY2(lines[2].startsWith(u"Codex: You said: \"What is in this project?\""_s) && !lines[2].endsWith(u'…'),
                 qPrintable(lines[2]));

        // A new session, then the first one opened again from the list under the other backend.
        m_model->setBackend(BackendKind::pi);
        m_model->createNewSession();
        QCOMPARE(transcriptLines(*m_model).first(), u"System: Requesting a new Pi session for "_s + m_root->path());
        QTRY_COMPARE_WITH_TIMEOUT(m_model->sessions().size(), 2, timeoutMs);
        m_model->setSelectedSessionID(firstSession);
        m_model->openSelectedSession();
        QCOMPARE(m_model->backend(), BackendKind::codex);
        QTRY_COMPARE_WITH_TIMEOUT(transcriptLines(*m_model).last(), u"System: Reattached to existing session."_s,
                                  timeoutMs);
        QCOMPARE(m_model->currentSessionID(), firstSession);

        // Abort a long reply, then disconnect.
        m_model->setComposerText(u"flood 200000"_s);
        m_model->sendComposerMessage();
        QTRY_VERIFY_WITH_TIMEOUT(m_model->canAbort(), timeoutMs);
        m_model->abortCurrentTurn();
        QTRY_COMPARE_WITH_TIMEOUT(m_model->currentSessionState(), SessionLifecycleState::idle, timeoutMs);
        QVERIFY(!m_model->transcript()->items().last().isStreaming);
        m_model->resetLiveSessionState(true, u"Disconnected."_s, true, u"Disconnected."_s);
        QCOMPARE(transcriptLines(*m_model), QStringList{u"System: Disconnected."_s});

        // What the gateway received, with exactly the keys each request carries.
        QTRY_VERIFY_WITH_TIMEOUT(requestLog().contains(u"session_abort requestId,sessionId,type"_s), timeoutMs);
        const QStringList requests = requestLog();
        QCOMPARE(requests.first(), u"hello client,requestId,token,type"_s);
        const qsizetype backends = requests.indexOf(u"list_backends requestId,type"_s);
        // The automatic session request follows the backend list.
        QVERIFY(backends >= 0 && requests.indexOf(u"session_create backend,cwd,requestId,type"_s) > backends);
        for (const QString &request :
             {u"session_list backend,cwd,requestId,type"_s, u"session_message delivery,requestId,sessionId,text,type"_s,
              u"session_create backend,cwd,forceNew,requestId,type"_s,
              u"session_create backend,backendSessionId,cwd,requestId,sessionId,type"_s})
            QVERIFY2(requests.contains(request), qPrintable(request));
        QVERIFY(!m_gateway->output().contains(gatewayToken));
    }

    void editsAndSavesFilesWithConflicts()
    {
        m_model->setWorkspaceTab(ProjectWorkspaceTab::files);
        QTRY_VERIFY_WITH_TIMEOUT(m_model->currentDirectory().has_value(), timeoutMs);
        QCOMPARE(m_model->currentDirectoryEntries().first().name, u"docs"_s);
        m_model->activateEntry(m_model->currentDirectoryEntries().first());
        QTRY_COMPARE_WITH_TIMEOUT(m_model->currentDirectoryEntries().size(), 1, timeoutMs);
        m_model->activateEntry(m_model->currentDirectoryEntries().first());
        QTRY_COMPARE_WITH_TIMEOUT(m_model->currentDocumentDraft(), u"first line\n"_s, timeoutMs);
        saveAndWait(u"first line\nsecond line\n"_s);
        QCOMPARE(m_model->currentDirectoryEntries().first().size, qint64(23));

        // Someone changes the file behind the editor's back: the save is refused, nothing is lost.
        writeProjectFile(u"docs/notes.md"_s, "changed elsewhere\n");
        const auto documentBefore = m_model->currentDocument();
        saveAndWait(u"my draft\n"_s);
        QCOMPARE(m_model->fileErrorMessage(), conflictText);
        QCOMPARE(m_model->currentDocumentDraft(), u"my draft\n"_s);
        QCOMPARE(m_model->currentDocument(), documentBefore);
        QVERIFY(m_model->canSaveCurrentDocument());

        // Reopening loads the file as it is now; editing and saving again succeeds.
        m_model->openDocument(u"docs/notes.md"_s);
        QTRY_COMPARE_WITH_TIMEOUT(m_model->currentDocumentDraft(), u"changed elsewhere\n"_s, timeoutMs);
        saveAndWait(u"merged by hand\n"_s);
        QCOMPARE(projectFile(u"docs/notes.md"_s), "merged by hand\n");
    }

    void saveResultChangesOnlyTheDocumentItWasMadeFrom_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("shownPath"); // empty: no document
        row("open another file", "open b", "docs/b.txt");
        row("reopen the same file", "open a", "docs/a.txt");
        row("parent directory", "parent", "");
        row("enter a directory", "enter", "");
    }
    // Whatever the user does while a save is in flight, the path and the text shown belong to
    // one file, and no later click can write one file's text into another.
    void saveResultChangesOnlyTheDocumentItWasMadeFrom()
    {
        QFETCH(QString, action);
        QFETCH(QString, shownPath);
        writeProjectFile(u"docs/a.txt"_s, "alpha\n");
        writeProjectFile(u"docs/b.txt"_s, "beta\n");
        QVERIFY(QDir(m_root->path()).mkpath(u"docs/sub"_s));
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
        if (action.startsWith(u"open "_s))
            m_model->openDocument(u"docs/%1.txt"_s.arg(action.back()));
        else if (action == "parent"_L1)
            m_model->openParentDirectory();
        else
            m_model->activateEntry(m_model->currentDirectoryEntries().first());
        QVERIFY(saves.wait(timeoutMs));
        QTRY_VERIFY_WITH_TIMEOUT(!m_model->isLoadingDocument() && !m_model->isLoadingDirectory(), timeoutMs);

        QCOMPARE(projectFile(u"docs/a.txt"_s), "alpha edited\n");
        QCOMPARE(m_model->fileStatusMessage(), u"Saved docs/a.txt"_s);
        QVERIFY(!m_model->canSaveCurrentDocument());
        QCOMPARE(m_model->currentDocument().has_value(), !shownPath.isEmpty());
        if (shownPath.isEmpty())
            return;
        QCOMPARE(m_model->currentDocument()->path, shownPath);
        QCOMPARE(m_model->currentDocumentDraft(), m_model->currentDocument()->content);
        if (shownPath != "docs/b.txt"_L1)
            return;
        saveAndWait(u"beta edited\n"_s);
        QCOMPARE(projectFile(u"docs/b.txt"_s), "beta edited\n");
        QCOMPARE(projectFile(u"docs/a.txt"_s), "alpha edited\n");
    }
};

} // namespace tessel

QTEST_GUILESS_MAIN(tessel::tst_ModelEndToEnd)
#include "tst_ModelEndToEnd.moc"
