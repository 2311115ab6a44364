#pragma once

#include "desktop/DraftState.h"
#include "desktop/DraftStateFile.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QTimer>

namespace tessel {

class TesselDesktopPOCModel;

// Keeps what the person has typed but not sent or saved in the drafts state file, so that a
// crash, a kill or a restart loses nothing: the composer's text, under the machine, project
// and session it was typed for, and the open document's unsaved draft, under its machine
// and project. Drafts are written within a second of a pause in typing (and at least every
// few seconds of steady typing) and dropped once sent, saved or discarded.
//
// At start, and whenever another machine or project is selected, its drafts come back: the
// most recent composer text (unless the composer already holds text), and the document
// draft, shown as unsaved without asking the gateway and saved later against the revision it
// was made on, so that a file changed meanwhile is refused as a conflict rather than
// overwritten. Choosing another machine or project closes the document, and its draft is
// dropped as the model drops it.
class DraftKeeper : public QObject
{
    Q_OBJECT

public:
    // Turns the keeping of drafts off when false (on when absent).
    static constexpr auto settingsKey = "desktop/keepUnsavedDrafts";
    // A larger draft (in UTF-8 bytes) is not kept.
    static constexpr qint64 maxDraftBytes = 2 * 1024 * 1024;
    static constexpr int typingPauseMs = 500;
    static constexpr int maxWriteDelayMs = 5000;

    DraftKeeper(TesselDesktopPOCModel &model, DraftStateFile file, QObject *parent = nullptr);
    // Writes what is pending.
    ~DraftKeeper() override;

    // Reads the file and brings back the drafts of the current selection; call once.
    void start();
    // Writes now what the next pause would write.
    void flush();

private:
    struct Place
    {
        QUuid machineID;
        QUuid projectID;
        friend bool operator==(const Place &, const Place &) = default;
    };
    struct ComposerKey
    {
        Place place;
        std::optional<QString> sessionID;
        friend bool operator==(const ComposerKey &, const ComposerKey &) = default;
    };

    std::optional<Place> selectedPlace() const;
    void noteChange(bool &changed);
    void schedule();
    void handleSelectionChange();
    void restoreComposer(const std::function<bool(const ComposerDraft &)> &matches);
    void restoreDocument();
    void captureComposer();
    void captureDocument();
    void removeComposerDraft(const ComposerKey &key);
    void removeFileDraft(const Place &place);
    bool fits(const QString &text, bool &warned, const char *what);

    TesselDesktopPOCModel &m_model;
    DraftStateFile m_file;
    DraftState m_state;
    // The file's content as last read or written.
    QByteArray m_written;
    bool m_isStarted = false;
    bool m_isRestoring = false;
    bool m_composerChanged = false;
    bool m_documentChanged = false;
    bool m_stateChanged = false;
    // Where the composer's text is kept, once it is, and where it was last typed.
    std::optional<ComposerKey> m_composerKey;
    std::optional<ComposerKey> m_typedComposerKey;
    // The machine and project whose files workspace the kept document draft mirrors.
    std::optional<Place> m_documentPlace;
    bool m_warnedComposerSize = false;
    bool m_warnedDocumentSize = false;
    QTimer m_pause;
    QDeadlineTimer m_deadline;
};

} // namespace tessel
