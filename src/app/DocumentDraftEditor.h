#pragma once

#include <QString>

namespace tessel {

// An editor that holds the open document's draft, or the composer's text, while the window
// shows it. The model hands it every text it sets and reads the text back only when it
// needs it (saving, sending, a reader of currentDocumentDraft() or composerText()), so that
// a keystroke costs the model O(1); the editor reports each edit through
// TesselDesktopPOCModel::documentDraftEdited() or composerEdited().
class DocumentDraftEditor
{
public:
    virtual ~DocumentDraftEditor() = default;

    // Shows `draft` in place of whatever was shown; `content` is the document's text as
    // last loaded or saved, which the draft is compared with.
    virtual void showDraft(const QString &draft, const QString &content) = 0;
    // The draft as the user has edited it. Costs the length of the document.
    virtual QString draftText() = 0;
    // `content` was saved: the draft is compared with it from now on. True when they differ
    // (the user may have typed on while the save was in flight).
    virtual bool adoptContent(const QString &content) = 0;
};

} // namespace tessel
