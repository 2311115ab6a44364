#include "desktop/DraftKeeper.h"
#include "protocol/UuidText.h"
#include "support/ModelHarness.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

constexpr int timeoutMs = 5000;
// Drafts reach the disk within a second of a pause; generous for a busy machine.
constexpr int writeMs = 3000;
unsigned modeOf(const QString &path)
{
    struct stat status;
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 0777 : 0;
}

const QString conflictText = u"This file changed on disk after it was loaded. Reload it before saving again."_s;

// Drafts kept in the state file across restarts of the model, with files from the mock store.
class tst_DraftKeeper : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void draftsComeBackAfterARestart_data();
    void draftsComeBackAfterARestart();
    void draftsOfAnotherProjectWaitForIt();
    void unsafeOrUnreadableFilesAreIgnored_data();
    void unsafeOrUnreadableFilesAreIgnored();
    void oversizedDraftIsNotKept();

private:
    // (Re)starts the model with `arguments` and a keeper over the state file.
    TesselDesktopPOCModel &start(const QStringList &arguments = {u"UITestsMockFiles"_s});
    void openAndEdit(const QString &path, const QString &addition);
    DraftState stored() const;
    QString statePath() const { return m_directory.filePath(u"state/tessel-desktop/drafts.json"_s); }

    QTemporaryDir m_directory;
    std::unique_ptr<test::ModelHarness> m_harness;
    std::unique_ptr<DraftKeeper> m_keeper;
    TesselDesktopPOCModel *m_model = nullptr;
};

void tst_DraftKeeper::cleanup()
{
    m_keeper.reset();
    m_harness.reset();
    QFile::remove(statePath());
}

TesselDesktopPOCModel &tst_DraftKeeper::start(const QStringList &arguments)
{
    // A restart: the same settings, and so the same machine, project and selection.
    m_keeper.reset();
    if (!m_harness)
        m_harness = std::make_unique<test::ModelHarness>();
    m_harness->processInfo.arguments = QStringList{u"tessel-desktop"_s} + arguments;
    m_model = &m_harness->start();
    m_keeper = std::make_unique<DraftKeeper>(*m_model, DraftStateFile(statePath()));
    m_keeper->start();
    return *m_model;
}

void tst_DraftKeeper::openAndEdit(const QString &path, const QString &addition)
{
    m_model->openDocument(path);
    QTRY_VERIFY_WITH_TIMEOUT(m_model->currentDocument().has_value(), timeoutMs);
    m_model->setCurrentDocumentDraft(m_model->currentDocumentDraft() + addition);
}

DraftState tst_DraftKeeper::stored() const
{
    QFile file(statePath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return DraftState::decode(file.readAll()).state;
}

void tst_DraftKeeper::draftsComeBackAfterARestart_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("error");
    QTest::newRow("unchanged file saves")
        << u"UITestsMockFiles"_s << u"theme.css"_s << u"Saved theme.css"_s << QString();
    QTest::newRow("changed file conflicts")
        << u"UITestsMockFileConflict"_s << u"docs/roadmap/project-file-editor.md"_s
        << u"Restored unsaved changes to docs/roadmap/project-file-editor.md"_s << conflictText;
}

void tst_DraftKeeper::draftsComeBackAfterARestart()
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
    QCOMPARE(modeOf(statePath()), 0600u);
    QCOMPARE(modeOf(QFileInfo(statePath()).path()), 0700u);

    start(arguments);
    QCOMPARE(m_model->composerText(), u"Half a thought"_s);
    QCOMPARE(m_model->currentDocument()->path, path);
    QCOMPARE(m_model->currentDocument()->revision, opened.revision);
    QCOMPARE(m_model->currentDocumentDraft(), draft);
    QVERIFY(m_model->canSaveCurrentDocument());
    // The notice outlives the listing that showing the files starts.
    m_model->loadCurrentDirectory(true);
    QTRY_VERIFY_WITH_TIMEOUT(m_model->currentDirectory().has_value(), timeoutMs);
    QCOMPARE(m_model->fileStatusMessage(), u"Restored unsaved changes to "_s + path);

    QSignalSpy saved(m_model, &TesselDesktopPOCModel::saveFinished);
    m_model->saveCurrentDocument();
    QVERIFY(saved.wait(timeoutMs));
    QCOMPARE(m_model->fileStatusMessage().value_or(QString()), status);
    QCOMPARE(m_model->fileErrorMessage().value_or(QString()), error);
    QCOMPARE(m_model->currentDocumentDraft(), draft);
    // Saved: the draft goes; refused: it stays.
    QTRY_COMPARE_WITH_TIMEOUT(stored().fileDrafts.size(), error.isEmpty() ? 0 : 1, writeMs);
    m_model->setComposerText(QString());
    QTRY_VERIFY_WITH_TIMEOUT(stored().composerDrafts.isEmpty(), writeMs);
    QCOMPARE(QFile::exists(statePath()), !error.isEmpty());
}

void tst_DraftKeeper::draftsOfAnotherProjectWaitForIt()
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
    QCOMPARE(m_model->composerText(), u"Back on the first"_s);
    QCOMPARE(m_model->currentDocument(), std::nullopt);
    // ...and comes back once its project is chosen.
    m_model->setComposerText(QString());
    m_model->setSelectedProjectID(second);
    QTRY_VERIFY_WITH_TIMEOUT(m_model->currentDocument().has_value(), timeoutMs);
    QVERIFY(m_model->currentDocumentDraft().endsWith(u"Kept.\n"_s));
    QCOMPARE(m_model->fileStatusMessage(), u"Restored unsaved changes to README.md"_s);
}

void tst_DraftKeeper::unsafeOrUnreadableFilesAreIgnored_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("warning");
    QTest::newRow("link") << u"link"_s << u"is a link; ignored"_s;
    QTest::newRow("pipe") << u"pipe"_s << u"is not a regular file; ignored"_s;
    QTest::newRow("garbage") << u"garbage"_s << u"not a JSON object; ignored"_s;
    QTest::newRow("other version") << u"version"_s << u"unknown version; ignored"_s;
    QTest::newRow("mistyped entries") << u"mistyped"_s << u"2 unreadable entries ignored"_s;
    QTest::newRow("huge") << u"huge"_s << u"is larger than 16777216 bytes; ignored"_s;
}

void tst_DraftKeeper::unsafeOrUnreadableFilesAreIgnored()
{
    QFETCH(QString, kind);
    QFETCH(QString, warning);
    start();
    m_model->setComposerText(u"Stored"_s);
    m_keeper->flush();
    const QByteArray valid = [this] {
        QFile file(statePath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    QVERIFY(valid.contains("Stored"));
    const QByteArray path = QFile::encodeName(statePath());
    const QString elsewhere = m_directory.filePath(u"elsewhere.json"_s);
    QFile::remove(statePath());
    if (kind == "link"_L1) {
        QFile target(elsewhere);
        QVERIFY(target.open(QIODevice::WriteOnly) && target.write(valid) == valid.size());
        target.close();
        QVERIFY(QFile::link(elsewhere, statePath()));
    } else if (kind == "pipe"_L1) {
        QCOMPARE(::mkfifo(path.constData(), 0600), 0);
    } else {
        QFile file(statePath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        if (kind == "garbage"_L1)
            file.write("{\"version\":1,");
        else if (kind == "version"_L1)
            file.write(QByteArray(valid).replace("\"version\":1", "\"version\":2"));
        else if (kind == "mistyped"_L1)
            file.write(QByteArray(valid).replace("\"composerDrafts\":[", "\"composerDrafts\":[7,{\"text\":1},"));
        else
            QVERIFY(file.resize(DraftStateFile::maxBytes + 1));
    }

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QRegularExpression::escape(warning)));
    start();
    QCOMPARE(m_model->composerText(), kind == "mistyped"_L1 ? u"Stored"_s : QString());
    // The next draft replaces what was there; a link's target is left alone.
    m_model->setComposerText(u"Fresh"_s);
    m_keeper->flush();
    QVERIFY(QFileInfo(statePath()).isFile() && !QFileInfo(statePath()).isSymLink());
    QCOMPARE(stored().composerDrafts.first().text, u"Fresh"_s);
    if (kind == "link"_L1) {
        QFile target(elsewhere);
        QVERIFY(target.open(QIODevice::ReadOnly));
        QCOMPARE(target.readAll(), valid);
    }
}

void tst_DraftKeeper::oversizedDraftIsNotKept()
{
    start();
    m_model->setComposerText(u"small"_s);
    m_keeper->flush();
    QCOMPARE(stored().composerDrafts.size(), 1);
    // One warning, however often the oversized text is looked at.
    QTest::ignoreMessage(QtWarningMsg,
                         "The composer text is larger than 2097152 bytes and is not kept across restarts");
    const QString large(DraftKeeper::maxDraftBytes / 2 + 1, u'\u00e9');
    m_model->setComposerText(large);
    m_keeper->flush();
    m_model->setComposerText(large + u'!');
    m_keeper->flush();
    QVERIFY(!QFile::exists(statePath()));
    m_model->setComposerText(u"small again"_s);
    m_keeper->flush();
    QCOMPARE(stored().composerDrafts.first().text, u"small again"_s);
}

} // namespace tessel

QTEST_GUILESS_MAIN(tessel::tst_DraftKeeper)
#include "tst_DraftKeeper.moc"
