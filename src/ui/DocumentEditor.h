#pragma once

#include "app/DocumentDraftEditor.h"
#include "ui/DocumentHistory.h"
#include "ui/DocumentShadow.h"

#include <QPlainTextEdit>

namespace tessel {

// The files pane's editor, and the chat composer's. It shows a file (or a message) with
// every line break as a block break and cuts long lines into blocks of their own ("soft"
// breaks, marked at the line's end), so typing stays quick in huge files and single-line
// files alike; a shadow of the file remembers what each break stands for, so that saving
// writes back the bytes that were opened (line endings, no-break spaces, byte-order mark,
// final newline) changed only by the user's edits. New line breaks take the file's own
// newline. Undo and redo are its own, because only the shadow knows which breaks are soft.
class DocumentEditor : public QPlainTextEdit, public DocumentDraftEditor
{
    Q_OBJECT

public:
    explicit DocumentEditor(QWidget *parent = nullptr);

    void showDraft(const QString &draft, const QString &content) override;
    QString draftText() override;
    bool adoptContent(const QString &content) override;

    void undoEdit();
    void redoEdit();
    bool canUndo() const { return m_history.canUndo(); }
    bool canRedo() const { return m_history.canRedo(); }
    // True when the text is only white space (or nothing). Stops at the first other
    // character, usually the first.
    bool isBlank() const;
    // What the break at the end of block `blockNumber` stands for (not the last block).
    LineBreak breakAfterBlock(int blockNumber) const { return m_shadow.breakAt(blockNumber); }

Q_SIGNALS:
    // After every change the user makes (typing, pasting, undo, redo), with whether the
    // draft now differs from the content.
    void draftEdited(bool differsFromContent);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    QMimeData *createMimeDataFromSelection() const override;
    bool canInsertFromMimeData(const QMimeData *source) const override;
    void insertFromMimeData(const QMimeData *source) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void handleContentsChange(int position, int removed, int added);
    // Changes the text and the shadow together; the document's change signal is not an edit.
    DocumentEdit apply(qsizetype position, qsizetype removed, const QString &text,
                       const std::vector<LineBreak> &breaks);
    void applyStep(const std::optional<DocumentEdit> &step, bool undo);
    void paintSoftBreakMarks(const QRect &area);

    DocumentShadow m_shadow;
    DocumentHistory m_history;
    bool m_isApplying = false;
};

} // namespace tessel
