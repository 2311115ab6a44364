#include "desktop/DraftKeeper.h"

#include "app/TesselDesktopPOCModel.h"

#include <QScopedValueRollback>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

namespace {

using M = TesselDesktopPOCModel;

template<typename Draft>
const Draft *mostRecent(const QList<Draft> &drafts, const std::function<bool(const Draft &)> &matches)
{
    const Draft *found = nullptr;
    for (const Draft &draft : drafts) {
        if (matches(draft) && (!found || draft.updatedAt > found->updatedAt))
            found = &draft;
    }
    return found;
}

} // namespace

DraftKeeper::DraftKeeper(TesselDesktopPOCModel &model, DraftStateFile file, QObject *parent)
    : QObject(parent)
    , m_model(model)
    , m_file(std::move(file))
{
    m_pause.setSingleShot(true);
    connect(&m_pause, &QTimer::timeout, this, &DraftKeeper::flush);
}

DraftKeeper::~DraftKeeper()
{
    flush();
}

void DraftKeeper::start()
{
    if (std::exchange(m_isStarted, true))
        return;
    if (const auto bytes = m_file.read(); bytes && !bytes->isEmpty()) {
        const DraftState::Decoded decoded = DraftState::decode(*bytes);
        if (!decoded.error.isEmpty())
            qWarning().noquote() << u"Drafts file %1: %2; ignored"_s.arg(m_file.path(), decoded.error);
        else if (decoded.skippedEntries > 0)
            qWarning().noquote()
                << u"Drafts file %1: %2 unreadable entries ignored"_s.arg(m_file.path()).arg(decoded.skippedEntries);
        m_state = decoded.state;
        m_written = *bytes;
    }
    m_documentPlace = selectedPlace();
    restoreDocument();
    if (const auto place = m_documentPlace)
        restoreComposer([place](const ComposerDraft &draft) {
            return Place{draft.machineID, draft.projectID} == place;
        });

    connect(&m_model, &M::composerTextChanged, this, [this] {
        // Kept where it was typed, also when another project is chosen before the pause.
        if (const auto place = selectedPlace())
            m_typedComposerKey = ComposerKey{*place, m_model.currentSessionID()};
        noteChange(m_composerChanged);
    });
    connect(&m_model, &M::currentDocumentChanged, this, [this] { noteChange(m_documentChanged); });
    connect(&m_model, &M::currentDocumentDraftChanged, this, [this] { noteChange(m_documentChanged); });
    // The model resets the files workspace right after announcing the new selection.
    for (const auto changed : {&M::selectedMachineIDChanged, &M::selectedProjectIDChanged})
        connect(&m_model, changed, this, [this] { QTimer::singleShot(0, this, &DraftKeeper::handleSelectionChange); });
}

std::optional<DraftKeeper::Place> DraftKeeper::selectedPlace() const
{
    const auto &machine = m_model.selectedMachineID();
    const auto &project = m_model.selectedProjectID();
    if (!machine || !project)
        return std::nullopt;
    return Place{*machine, *project};
}

void DraftKeeper::noteChange(bool &changed)
{
    // Bringing a draft back is no change to keep.
    if (m_isRestoring)
        return;
    // Only a flag per keystroke: the texts are read once typing pauses.
    changed = true;
    schedule();
}

void DraftKeeper::schedule()
{
    if (!m_pause.isActive())
        m_deadline.setRemainingTime(maxWriteDelayMs);
    m_pause.start(int(qMin<qint64>(typingPauseMs, m_deadline.remainingTime())));
}

void DraftKeeper::handleSelectionChange()
{
    const auto place = selectedPlace();
    if (place == m_documentPlace)
        return;
    // Choosing another machine or project has closed the document and dropped its draft.
    if (m_documentPlace)
        removeFileDraft(*m_documentPlace);
    m_documentPlace = place;
    restoreDocument();
    if (place)
        restoreComposer([place](const ComposerDraft &draft) {
            return Place{draft.machineID, draft.projectID} == place;
        });
    schedule();
}

void DraftKeeper::restoreComposer(const std::function<bool(const ComposerDraft &)> &matches)
{
    if (!m_model.composerText().isEmpty())
        return;
    const ComposerDraft *draft = mostRecent(m_state.composerDrafts, matches);
    if (!draft)
        return;
    m_composerKey = ComposerKey{{draft->machineID, draft->projectID}, draft->sessionID};
    const QScopedValueRollback restoring(m_isRestoring, true);
    m_model.setComposerText(draft->text);
}

void DraftKeeper::restoreDocument()
{
    if (!m_documentPlace)
        return;
    const auto place = *m_documentPlace;
    const FileDraft *draft = mostRecent<FileDraft>(m_state.fileDrafts, [place](const FileDraft &item) {
        return Place{item.machineID, item.projectID} == place;
    });
    if (!draft)
        return;
    const QScopedValueRollback restoring(m_isRestoring, true);
    m_model.restoreDocumentDraft(draft->document, draft->draft);
}

void DraftKeeper::flush()
{
    m_pause.stop();
    if (std::exchange(m_composerChanged, false))
        captureComposer();
    if (std::exchange(m_documentChanged, false))
        captureDocument();
    if (!std::exchange(m_stateChanged, false))
        return;
    const QByteArray bytes = m_state.isEmpty() ? QByteArray() : m_state.encode(DraftStateFile::maxBytes);
    if (bytes == m_written)
        return;
    if (bytes.isEmpty())
        m_file.remove();
    else if (!m_file.write(bytes))
        return;
    m_written = bytes;
}

void DraftKeeper::captureComposer()
{
    if (!m_typedComposerKey)
        return;
    const ComposerKey key = *m_typedComposerKey;
    removeComposerDraft(key);
    if (const auto previous = std::exchange(m_composerKey, std::nullopt))
        removeComposerDraft(*previous);
    const QString &text = m_model.composerText();
    if (text.trimmed().isEmpty() || !fits(text, m_warnedComposerSize, "composer text"))
        return;
    m_state.composerDrafts.prepend(
        {key.place.machineID, key.place.projectID, key.sessionID, text, QDateTime::currentDateTimeUtc()});
    if (m_state.composerDrafts.size() > DraftState::maxComposerDrafts)
        m_state.composerDrafts.removeLast();
    m_composerKey = key;
}

void DraftKeeper::captureDocument()
{
    const auto place = selectedPlace();
    // While a new selection waits to be handled, the document may still be the old one's.
    if (!place || place != m_documentPlace)
        return;
    removeFileDraft(*place);
    const auto &document = m_model.currentDocument();
    if (!document || !m_model.hasUnsavedDocumentChanges())
        return;
    // Reading the draft costs its length: done here, once typing pauses.
    const QString draft = m_model.currentDocumentDraft();
    if (!fits(draft, m_warnedDocumentSize, "unsaved file"))
        return;
    FileDraft kept{place->machineID, place->projectID, *document, draft, QDateTime::currentDateTimeUtc()};
    kept.document.content.clear();
    m_state.fileDrafts.prepend(kept);
    if (m_state.fileDrafts.size() > DraftState::maxFileDrafts)
        m_state.fileDrafts.removeLast();
}

void DraftKeeper::removeComposerDraft(const ComposerKey &key)
{
    m_stateChanged = true;
    m_state.composerDrafts.removeIf([&key](const ComposerDraft &draft) {
        return ComposerKey{{draft.machineID, draft.projectID}, draft.sessionID} == key;
    });
}

void DraftKeeper::removeFileDraft(const Place &place)
{
    m_stateChanged = true;
    m_state.fileDrafts.removeIf([&place](const FileDraft &draft) {
        return Place{draft.machineID, draft.projectID} == place;
    });
}

bool DraftKeeper::fits(const QString &text, bool &warned, const char *what)
{
    // UTF-8 takes at least one byte per UTF-16 unit and at most three.
    const bool fits =
        text.size() * 3 <= maxDraftBytes || (text.size() <= maxDraftBytes && text.toUtf8().size() <= maxDraftBytes);
    if (!fits && !std::exchange(warned, true))
        qWarning().noquote() << u"The %1 is larger than %2 bytes and is not kept across restarts"_s
                                    .arg(QLatin1StringView(what))
                                    .arg(maxDraftBytes);
    if (fits)
        warned = false;
    return fits;
}

} // namespace tessel
