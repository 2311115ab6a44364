#include "desktop/DraftKeeper.h"
#include "protocol/UuidText.h"
#include "support/DataRow.h"
#include "support/ModelHarness.h"
#include "support/TestFiles.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

using test::row;

constexpr int timeoutMs = 5000;
// Drafts reach the disk within a second of a pause; generous for a busy machine.
constexpr int writeMs = 3000;

// Drafts kept in the state file across restarts of the model, with files from the mock store.
class tst_DraftKeeper : public QObject
{
    Q_OBJECT

    QTemporaryDir m_directory;
    std::unique_ptr<test::ModelHarness> m_harness;
    std::unique_ptr<DraftKeeper> m_keeper;
    TesselDesktopPOCModel *m_model = nullptr;

    QString statePath() const { return m_directory.filePath(u"state/tessel-desktop/drafts.json"_s); }
    DraftState stored() const { return DraftState::decode(test::readFile(statePath())).state; }

    // (Re)starts the model with `arguments` and a keeper over the state file. A restart keeps
    // the settings, and so the same machine, project and selection.
    void start(const QStringList &arguments = {u"UITestsMockFiles"_s})
    {
        m_keeper.reset();
        if (!m_harness)
            m_harness = std::make_unique<test::ModelHarness>();
        m_harness->processInfo.arguments = QStringList{u"tessel-desktop"_s} + arguments;
        m_model = &m_harness->start();
        m_keeper = std::make_unique<DraftKeeper>(*m_model, DraftStateFile(statePath()));
        m_keeper->start();
    }
    void openAndEdit(const QString &path, const QString &addition)
    {
        m_model->openDocument(path);
        QTRY_VERIFY_WITH_TIMEOUT(m_model->currentDocument().has_value(), timeoutMs);
        m_model->setCurrentDocumentDraft(m_model->currentDocumentDraft() + addition);
    }
    void keepComposer(const QString &text)
    {
        m_model->setComposerText(text);
        m_keeper->flush();
    }

private Q_SLOTS:
    void cleanup()
    {
        m_keeper.reset();
        m_harness.reset();
        QFile::remove(statePath());
    }

    void draftsComeBackAfterARestart_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("error");
        row("unchanged file saves", "UITestsMockFiles", "theme.css", "Saved theme.css", "");
        row("changed file conflicts", "UITestsMockFileConflict", "docs/roadmap/project-file-editor.md",
            "Restored unsaved changes to docs/roadmap/project-file-editor.md",
            "This file changed on disk after it was loaded. Reload it before saving again.");
    }
    void draftsComeBackAfterARestart()
    {
        QFETCH(QString, mode);
        QFETCH(QString, path);
        QFETCH(QString, status);
        QFETCH(QString, error);
        const QStringList arguments{u"UITestsMockFiles"_s, mode};
        start(arguments);
        m_model->setComposerText(u"Half a thought"_s);
        openAndEdit(path, u"\nmy edit\n"_s);
        if (QTest::currentTestFailed())
            return;
        const ProjectFileDocumentSnapshot opened = *m_model->currentDocument();
        const QString draft = m_model->currentDocumentDraft();
        // On disk within a second of the pause, owner-only: nothing is left for the end to write.
        QTRY_VERIFY_WITH_TIMEOUT(stored().fileDrafts.size() == 1 && stored().composerDrafts.size() == 1, writeMs);
        QCOMPARE(test::modeOf(statePath()), 0600u);
        QCOMPARE(test::modeOf(QFileInfo(statePath()).path()), 0700u);

        start(arguments);
        const ProjectFileDocumentSnapshot document = *m_model->currentDocument();
        QCOMPARE(QStringList({m_model->composerText(), document.path, m_model->currentDocumentDraft()}),
                 QStringList({u"Half a thought"_s, path, draft}));
        QVERIFY(document.revision == opened.revision && m_model->canSaveCurrentDocument());
        // The notice outlives the listing that showing the files starts.
        m_model->loadCurrentDirectory(true);
        QTRY_VERIFY_WITH_TIMEOUT(m_model->currentDirectory().has_value(), timeoutMs);
        QCOMPARE(m_model->fileStatusMessage(), u"Restored unsaved changes to "_s + path);

        QSignalSpy saved(m_model, &TesselDesktopPOCModel::saveFinished);
        m_model->saveCurrentDocument();
        QVERIFY(saved.wait(timeoutMs));
        QCOMPARE(QStringList({m_model->fileStatusMessage().value_or(QString()),
                              m_model->fileErrorMessage().value_or(QString()), m_model->currentDocumentDraft()}),
                 QStringList({status, error, draft}));
        // Saved: the draft goes; refused: it stays.
        QTRY_COMPARE_WITH_TIMEOUT(stored().fileDrafts.size(), error.isEmpty() ? 0 : 1, writeMs);
        m_model->setComposerText(QString());
        QTRY_VERIFY_WITH_TIMEOUT(stored().composerDrafts.isEmpty(), writeMs);
        QCOMPARE(QFile::exists(statePath()), !error.isEmpty());
    }

    void draftsOfAnotherProjectWaitForIt()
    {
        start();
        const QUuid first = *m_model->selectedProjectID();
        m_model->setComposerText(u"For the first project"_s);
        openAndEdit(u"README.md"_s, u"More.\n"_s);
        m_model->addProject();
        const QUuid second = *m_model->selectedProjectID();
        QCOMPARE(m_model->composerText(), u"For the first project"_s);
        // Choosing another project dropped the document and its draft.
        QTRY_VERIFY_WITH_TIMEOUT(stored().fileDrafts.isEmpty() && stored().composerDrafts.size() == 1, writeMs);

        openAndEdit(u"README.md"_s, u"Second project.\n"_s);
        m_model->setComposerText(QString());
        m_model->setSelectedProjectID(first);
        m_model->setComposerText(u"Back on the first"_s);
        // The second project's draft survives a restart that starts elsewhere...
        m_model->setSelectedProjectID(second);
        QTRY_COMPARE_WITH_TIMEOUT(stored().composerDrafts.size(), 1, writeMs);
        QCOMPARE(m_model->currentDocument(), std::nullopt);
        openAndEdit(u"README.md"_s, u"Kept.\n"_s);
        QTRY_COMPARE_WITH_TIMEOUT(stored().fileDrafts.size(), 1, writeMs);
        m_harness->settings.setValue(u"TesselDesktopPOC.selectedProjectID"_s, uuidText(first));
        start();
        QCOMPARE(m_model->selectedProjectID(), first);
        QVERIFY(m_model->composerText() == u"Back on the first"_s && !m_model->currentDocument());
        // ...and comes back once its project is chosen.
        m_model->setComposerText(QString());
        m_model->setSelectedProjectID(second);
        QTRY_VERIFY_WITH_TIMEOUT(m_model->currentDocument().has_value(), timeoutMs);
        QVERIFY(m_model->currentDocumentDraft().endsWith(u"Kept.\n"_s));
        QCOMPARE(m_model->fileStatusMessage(), u"Restored unsaved changes to README.md"_s);
    }

    void unsafeOrUnreadableFilesAreIgnored_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("warning");
        row("link", "link", "is a link; ignored");
        row("pipe", "pipe", "is not a regular file; ignored");
        row("garbage", "garbage", "not a JSON object; ignored");
        row("mistyped entries", "mistyped", "2 unreadable entries ignored");
        row("huge", "huge", "is larger than 16777216 bytes; ignored");
    }
    void unsafeOrUnreadableFilesAreIgnored()
    {
        QFETCH(QString, kind);
        QFETCH(QString, warning);
        start();
        keepComposer(u"Stored"_s);
        const QByteArray valid = test::readFile(statePath());
        QVERIFY(valid.contains("Stored"));
        const QString elsewhere = m_directory.filePath(u"elsewhere.json"_s);
        QFile::remove(statePath());
        const QMap<QString, QByteArray> contents{
            {u"garbage"_s, "{\"version\":1,"},
            {u"mistyped"_s, QByteArray(valid).replace("\"composerDrafts\":[", "\"composerDrafts\":[7,{\"text\":1},")},
            {u"huge"_s, QByteArray(DraftStateFile::maxBytes + 1, ' ')}};
        if (kind == "link"_L1)
            QVERIFY(test::writeFile(elsewhere, valid) && QFile::link(elsewhere, statePath()));
        else if (kind == "pipe"_L1)
            QCOMPARE(::mkfifo(QFile::encodeName(statePath()).constData(), 0600), 0);
        else
            QVERIFY(test::writeFile(statePath(), contents.value(kind)));

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QRegularExpression::escape(warning)));
        start();
        QCOMPARE(m_model->composerText(), kind == "mistyped"_L1 ? u"Stored"_s : QString());
        // The next draft replaces what was there; a link's target is left alone.
        keepComposer(u"Fresh"_s);
        QVERIFY(QFileInfo(statePath()).isFile() && !QFileInfo(statePath()).isSymLink());
        QCOMPARE(stored().composerDrafts.first().text, u"Fresh"_s);
        if (kind == "link"_L1)
            QCOMPARE(test::readFile(elsewhere), valid);
    }

    void oversizedDraftIsNotKept()
    {
        start();
        keepComposer(u"small"_s);
        // One warning, however often the oversized text is looked at.
        QTest::ignoreMessage(QtWarningMsg,
                             "The composer text is larger than 2097152 bytes and is not kept across restarts");
        const QString large(DraftKeeper::maxDraftBytes / 2 + 1, u'\u00e9');
        keepComposer(large);
        keepComposer(large + u'!');
        QVERIFY(!QFile::exists(statePath()));
        keepComposer(u"small again"_s);
        QCOMPARE(stored().composerDrafts.first().text, u"small again"_s);
    }
};

} // namespace tessel

QTEST_GUILESS_MAIN(tessel::tst_DraftKeeper)
#include "tst_DraftKeeper.moc"
