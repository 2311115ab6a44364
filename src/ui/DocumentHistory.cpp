#include "ui/DocumentHistory.h"

namespace tessel {

namespace {

bool isSpace(QChar c)
{
    return c.isSpace() || c == DocumentShadow::blockBreak;
}

template<typename T>
void prepend(std::vector<T> &values, const std::vector<T> &front)
{
    values.insert(values.begin(), front.cbegin(), front.cend());
}

template<typename T>
void append(std::vector<T> &values, const std::vector<T> &back)
{
    values.insert(values.end(), back.cbegin(), back.cend());
}

} // namespace

void DocumentHistory::clear()
{
    m_undo.clear();
    m_redo.clear();
}

void DocumentHistory::record(DocumentEdit edit, Source source)
{
    m_redo.clear();
    if (source == Source::typing && !m_undo.empty() && m_undo.back().source == Source::typing &&
        extend(m_undo.back(), edit))
        return;
    m_undo.push_back({std::move(edit), source});
    if (m_undo.size() > maxSteps)
        m_undo.pop_front();
}

bool DocumentHistory::extend(Step &last, const DocumentEdit &edit)
{
    DocumentEdit &step = last.edit;
    if (edit.removed.isEmpty() && !step.inserted.isEmpty() && edit.position == step.position + step.inserted.size()) {
        // A space after a word starts the next step.
        if (isSpace(edit.inserted.front()) && !isSpace(step.inserted.back()))
            return false;
        step.inserted += edit.inserted;
        append(step.insertedBreaks, edit.insertedBreaks);
        return true;
    }
    if (!edit.inserted.isEmpty() || !step.inserted.isEmpty())
        return false;
    if (edit.position + edit.removed.size() == step.position) { // backspace
        step.position = edit.position;
        step.removed.prepend(edit.removed);
        prepend(step.removedBreaks, edit.removedBreaks);
        return true;
    }
    if (edit.position == step.position) { // delete
        step.removed += edit.removed;
        append(step.removedBreaks, edit.removedBreaks);
        return true;
    }
    return false;
}

std::optional<DocumentEdit> DocumentHistory::takeUndo()
{
    if (m_undo.empty())
        return std::nullopt;
    m_redo.push_back(std::move(m_undo.back()));
    m_undo.pop_back();
    // Typing after an undo starts a new step.
    if (!m_undo.empty())
        m_undo.back().source = Source::other;
    return m_redo.back().edit;
}

std::optional<DocumentEdit> DocumentHistory::takeRedo()
{
    if (m_redo.empty())
        return std::nullopt;
    m_undo.push_back(std::move(m_redo.back()));
    m_redo.pop_back();
    // A redone step is closed: typing after it starts a new one.
    m_undo.back().source = Source::other;
    return m_undo.back().edit;
}

} // namespace tessel
