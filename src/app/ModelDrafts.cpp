#include "app/TesselDesktopPOCModel.h"

using namespace Qt::Literals::StringLiterals;

namespace tessel {

bool TesselDesktopPOCModel::hasUnsavedDocumentChanges() const
{
    return m_currentDocument && (m_restoredDocumentNotice.has_value() || m_draftDiffers);
}

void TesselDesktopPOCModel::restoreDocumentDraft(const ProjectFileDocumentSnapshot &document, const QString &draft)
{
    if (m_currentDocument)
        return;
    ProjectFileDocumentSnapshot restored = document;
    restored.content.clear();
    assign(m_currentDocument, std::optional(restored), &TesselDesktopPOCModel::currentDocumentChanged);
    setCurrentDocumentDraft(draft);
    m_restoredDocumentNotice = u"Restored unsaved changes to "_s + document.path;
    setFileStatusMessage(*m_restoredDocumentNotice);
    // Reading, saving or closing puts another document in its place (or none): the draft is
    // no longer the restored one.
    QObject::connect(
        this, &TesselDesktopPOCModel::currentDocumentChanged, this,
        [this] {
            m_restoredDocumentNotice.reset();
            assign(m_fileStatusMessage, {}, &TesselDesktopPOCModel::fileStatusMessageChanged);
        },
        Qt::SingleShotConnection);
}

} // namespace tessel
