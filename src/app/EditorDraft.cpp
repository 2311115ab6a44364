#include "app/EditorDraft.h"

#include <utility>

namespace tessel {

const QString &EditorDraft::text() const
{
    if (std::exchange(m_isInEditor, false))
        m_text = m_editor->draftText();
    return m_text;
}

void EditorDraft::set(const QString &text, const QString &content)
{
    m_text = text;
    m_isInEditor = false;
    if (m_editor)
        m_editor->showDraft(text, content);
}

void EditorDraft::attach(DocumentDraftEditor *editor, const QString &content)
{
    if (editor == m_editor)
        return;
    text();
    m_editor = editor;
    if (editor)
        editor->showDraft(m_text, content);
}

void EditorDraft::release(DocumentDraftEditor *editor)
{
    if (editor == m_editor)
        attach(nullptr);
}

bool EditorDraft::edited(DocumentDraftEditor *editor)
{
    if (editor != m_editor)
        return false;
    m_isInEditor = true;
    return true;
}

} // namespace tessel
