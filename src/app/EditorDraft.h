#pragma once

#include "app/DocumentDraftEditor.h"

#include <QString>

namespace tessel {

// A text of the model's that the window's editor may hold a newer version of. The editor
// reports each edit (O(1)) and the text is read out of it only when someone asks for it, so
// that a keystroke does not cost the length of the text.
class EditorDraft
{
public:
    // The text, read out of the editor first when it holds a newer one.
    const QString &text() const;
    // Replaces the text, in the editor too, which compares it with `content` from now on.
    void set(const QString &text, const QString &content = {});
    // `editor` holds the text from now on (nullptr: none); what the previous one held stays.
    void attach(DocumentDraftEditor *editor, const QString &content = {});
    // Detaches `editor` if it is the one holding the text.
    void release(DocumentDraftEditor *editor);
    // The editor's report of an edit; false, and ignored, from an editor not holding the text.
    bool edited(DocumentDraftEditor *editor);
    DocumentDraftEditor *editor() const { return m_editor; }

private:
    mutable QString m_text;
    mutable bool m_isInEditor = false;
    DocumentDraftEditor *m_editor = nullptr;
};

} // namespace tessel
