#include "app/TesselDesktopPOCModel.h"

#include "app/DocumentDraftEditor.h"
#include "files/ProjectFileService.h"
#include "files/UITestProjectFilesStore.h"

using namespace Qt::Literals::StringLiterals;

namespace tessel {

QList<ProjectFileEntry> TesselDesktopPOCModel::currentDirectoryEntries() const
{
    return m_currentDirectory ? sortedForDisplay(m_currentDirectory->entries) : QList<ProjectFileEntry>();
}

bool TesselDesktopPOCModel::canSaveCurrentDocument() const
{
    return hasUnsavedDocumentChanges() && !m_isSavingDocument;
}

QString TesselDesktopPOCModel::currentDocumentDraft() const
{
    return m_documentDraft.text();
}

void TesselDesktopPOCModel::setCurrentDocumentDraft(const QString &draft)
{
    const QString content = m_currentDocument ? m_currentDocument->content : QString();
    m_draftDiffers = draft != content;
    m_documentDraft.set(draft, content);
    Q_EMIT currentDocumentDraftChanged();
}

void TesselDesktopPOCModel::setDocumentDraftEditor(DocumentDraftEditor *editor)
{
    m_documentDraft.attach(editor, m_currentDocument ? m_currentDocument->content : QString());
}

void TesselDesktopPOCModel::releaseDocumentDraftEditor(DocumentDraftEditor *editor)
{
    m_documentDraft.release(editor);
}

void TesselDesktopPOCModel::documentDraftEdited(DocumentDraftEditor *editor, bool differsFromContent)
{
    if (!m_documentDraft.edited(editor))
        return;
    m_draftDiffers = differsFromContent;
    Q_EMIT currentDocumentDraftChanged();
}

void TesselDesktopPOCModel::loadCurrentDirectory(bool resetPath)
{
    listDirectory(resetPath, [] {});
}

void TesselDesktopPOCModel::listDirectory(bool resetPath, const std::function<void()> &done)
{
    const auto machine = selectedMachine();
    const auto project = selectedProject();
    if (!machine || !project)
        return done();
    if (resetPath)
        setCurrentDirectoryPath(QString());
    beginFileOperation(m_directoryLoads, &TesselDesktopPOCModel::isLoadingDirectoryChanged);
    const quint64 generation = m_filesGeneration;
    ProjectFileService::listDirectory(
        *machine, *project, m_currentDirectoryPath, m_includeHiddenFiles, this,
        [this, generation, done](const ProjectFileResult<ProjectDirectoryResult> &result) {
            endFileOperation(m_directoryLoads, &TesselDesktopPOCModel::isLoadingDirectoryChanged);
            // A listing of a project that is no longer selected must never appear.
            if (generation == m_filesGeneration) {
                if (result.hasValue()) {
                    assign(m_currentDirectory, std::optional(result.value()),
                           &TesselDesktopPOCModel::currentDirectoryChanged);
                    setCurrentDirectoryPath(result.value().path);
                } else {
                    setFileErrorMessage(result.error().message());
                }
            }
            done();
        },
        m_mockFilesStore.get());
}

void TesselDesktopPOCModel::openParentDirectory()
{
    if (m_currentDirectoryPath.isEmpty())
        return;
    QStringList pieces = m_currentDirectoryPath.split(u'/', Qt::SkipEmptyParts);
    if (!pieces.isEmpty())
        pieces.removeLast();
    setCurrentDirectoryPath(pieces.join(u'/'));
    closeDocument();
    loadCurrentDirectory(false);
}

void TesselDesktopPOCModel::activateEntry(const ProjectFileEntry &entry)
{
    if (entry.kind == ProjectFileKind::directory) {
        closeDocument();
        setCurrentDirectoryPath(entry.path);
        loadCurrentDirectory(false);
    } else {
        openDocument(entry.path);
    }
}

void TesselDesktopPOCModel::openDocument(const QString &path)
{
    const auto machine = selectedMachine();
    const auto project = selectedProject();
    if (!machine || !project)
        return;
    beginFileOperation(m_documentLoads, &TesselDesktopPOCModel::isLoadingDocumentChanged);
    const quint64 generation = m_filesGeneration;
    ProjectFileService::readDocument(
        *machine, *project, path, this,
        [this, generation](const ProjectFileResult<ProjectFileDocumentSnapshot> &result) {
            endFileOperation(m_documentLoads, &TesselDesktopPOCModel::isLoadingDocumentChanged);
            if (generation != m_filesGeneration)
                return;
            if (!result.hasValue())
                return setFileErrorMessage(result.error().message());
            showDocument(result.value());
        },
        m_mockFilesStore.get());
}

void TesselDesktopPOCModel::saveCurrentDocument()
{
    const auto machine = selectedMachine();
    const auto project = selectedProject();
    if (!machine || !project || !m_currentDocument || !canSaveCurrentDocument())
        return;
    assign(m_isSavingDocument, true, &TesselDesktopPOCModel::isSavingDocumentChanged);
    clearFileMessages();
    const QString draft = currentDocumentDraft();
    const ProjectFileDocumentSnapshot document = *m_currentDocument;
    const quint64 generation = m_filesGeneration;
    const quint64 documentGeneration = m_documentGeneration;
    ProjectFileService::writeDocument(
        *machine, *project, document.path, draft, nonEmpty(document.revision), this,
        [this, generation, documentGeneration, draft,
         document](const ProjectFileResult<ProjectFileSaveResult> &result) {
            const auto finish = [this] {
                assign(m_isSavingDocument, false, &TesselDesktopPOCModel::isSavingDocumentChanged);
                Q_EMIT saveFinished();
            };
            // The workspace moved on to another project: this document is no longer shown.
            if (generation != m_filesGeneration)
                return finish();
            if (!result.hasValue()) {
                // The document, its revision and the draft stay as they were.
                setFileErrorMessage(result.error().message());
                return finish();
            }
            // Only the document the save was made from takes its result: one opened or
            // closed meanwhile (the same path reopened included) is shown as it was read.
            if (documentGeneration == m_documentGeneration)
                adoptSavedDocument(document, draft, result.value());
            listDirectory(false, [this, generation, path = document.path, finish] {
                if (generation == m_filesGeneration)
                    setFileStatusMessage(u"Saved "_s + path);
                finish();
            });
        },
        m_mockFilesStore.get());
}

void TesselDesktopPOCModel::resetFilesState()
{
    ++m_filesGeneration;
    assign(m_currentDirectory, {}, &TesselDesktopPOCModel::currentDirectoryChanged);
    setCurrentDirectoryPath(QString());
    closeDocument();
    clearFileMessages();
}

void TesselDesktopPOCModel::adoptSavedDocument(const ProjectFileDocumentSnapshot &document, const QString &draft,
                                               const ProjectFileSaveResult &saved)
{
    // The user may have typed on during the save: the draft is compared with what was saved.
    DocumentDraftEditor *editor = m_documentDraft.editor();
    m_draftDiffers = editor ? editor->adoptContent(draft) : m_documentDraft.text() != draft;
    ProjectFileDocumentSnapshot updated{
        saved.path, draft, saved.revision, saved.size, saved.modifiedAt, document.languageHint, document.isMarkdown};
    assign(m_currentDocument, std::optional(updated), &TesselDesktopPOCModel::currentDocumentChanged);
}

void TesselDesktopPOCModel::showDocument(const std::optional<ProjectFileDocumentSnapshot> &document)
{
    ++m_documentGeneration;
    const QString content = document ? document->content : QString();
    m_draftDiffers = false;
    m_documentDraft.set(content, content);
    assign(m_currentDocument, document, &TesselDesktopPOCModel::currentDocumentChanged);
    Q_EMIT currentDocumentDraftChanged();
}

void TesselDesktopPOCModel::closeDocument()
{
    showDocument(std::nullopt);
}

void TesselDesktopPOCModel::clearFileMessages()
{
    assign(m_fileErrorMessage, {}, &TesselDesktopPOCModel::fileErrorMessageChanged);
    // A restored draft stays announced while it is open.
    assign(m_fileStatusMessage, m_restoredDocumentNotice, &TesselDesktopPOCModel::fileStatusMessageChanged);
}

void TesselDesktopPOCModel::setFileErrorMessage(const QString &message)
{
    assign(m_fileErrorMessage, std::optional(message), &TesselDesktopPOCModel::fileErrorMessageChanged);
}

void TesselDesktopPOCModel::setFileStatusMessage(const QString &message)
{
    assign(m_fileStatusMessage, std::optional(message), &TesselDesktopPOCModel::fileStatusMessageChanged);
}

void TesselDesktopPOCModel::setCurrentDirectoryPath(const QString &path)
{
    assign(m_currentDirectoryPath, path, &TesselDesktopPOCModel::currentDirectoryPathChanged);
}

void TesselDesktopPOCModel::beginFileOperation(int &inFlight, void (TesselDesktopPOCModel::*changed)())
{
    clearFileMessages();
    if (inFlight++ == 0)
        Q_EMIT(this->*changed)();
}

void TesselDesktopPOCModel::endFileOperation(int &inFlight, void (TesselDesktopPOCModel::*changed)())
{
    if (--inFlight == 0)
        Q_EMIT(this->*changed)();
}

} // namespace tessel
