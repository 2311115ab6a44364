#pragma once

#include "ui/DocumentShadow.h"

#include <deque>
#include <optional>

namespace tessel {

// The undo and redo steps of a document editor. A run of typed characters up to the next
// word, or of characters deleted one at a time, is one step. Steps carry the kinds of the
// breaks they touch, so undoing the deletion of a soft break brings back a soft break.
class DocumentHistory
{
public:
    enum class Source { typing, other };

    void clear();
    // A new edit: merged into the last step where it continues it; forgets what was undone.
    void record(DocumentEdit edit, Source source);
    bool canUndo() const { return !m_undo.empty(); }
    bool canRedo() const { return !m_redo.empty(); }
    // The step to take back (its inverse is the caller's to apply) or to apply again.
    std::optional<DocumentEdit> takeUndo();
    std::optional<DocumentEdit> takeRedo();

private:
    struct Step
    {
        DocumentEdit edit;
        Source source;
    };
    static bool extend(Step &last, const DocumentEdit &edit);

    // Older steps are forgotten beyond this many, so that memory stays bounded.
    static constexpr std::size_t maxSteps = 1000;
    std::deque<Step> m_undo;
    std::deque<Step> m_redo;
};

} // namespace tessel
