#include "ui/DocumentEditor.h"

#include "ui/UiStyle.h"

#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QScopedValueRollback>
#include <QTextBlock>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

namespace {

bool isRedo(const QKeyEvent *event)
{
    const QKeyCombination key = event->keyCombination();
    return event->matches(QKeySequence::Redo) || key == QKeyCombination(Qt::ControlModifier, Qt::Key_Y) ||
        key == QKeyCombination(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_Z);
}

// Typing, deleting a character and typing over a selection merge into undo steps; a paste
// or the deletion of a selection is a step of its own.
DocumentHistory::Source sourceOf(const DocumentEdit &edit)
{
    const bool small = edit.inserted.size() <= 2 && (!edit.inserted.isEmpty() || edit.removed.size() <= 2);
    return small ? DocumentHistory::Source::typing : DocumentHistory::Source::other;
}

} // namespace

DocumentEditor::DocumentEditor(QWidget *parent)
    : QPlainTextEdit(parent)
    , m_shadow([this](qsizetype position) { return qsizetype(document()->findBlock(int(position)).blockNumber()); })
{
    document()->setUndoRedoEnabled(false);
    connect(document(), &QTextDocument::contentsChange, this, &DocumentEditor::handleContentsChange);
}

void DocumentEditor::showDraft(const QString &draft, const QString &content)
{
    const QScopedValueRollback applying(m_isApplying, true);
    setPlainText(m_shadow.load(draft, content));
    m_history.clear();
}

QString DocumentEditor::draftText()
{
    return m_shadow.fileText();
}

bool DocumentEditor::adoptContent(const QString &content)
{
    return m_shadow.adoptContent(content);
}

bool DocumentEditor::isBlank() const
{
    // Block breaks are white space too, soft ones included.
    for (qsizetype i = 0; i < m_shadow.size(); ++i) {
        if (!m_shadow.at(i).isSpace())
            return false;
    }
    return true;
}

void DocumentEditor::handleContentsChange(int position, int removed, int)
{
    if (m_isApplying)
        return;
    // The document reports the span an edit block touched, which may include its own final
    // break; the inserted length follows from the sizes. Trim what is unchanged, so that
    // breaks keep their kinds.
    const qsizetype oldSize = m_shadow.size();
    const qsizetype newSize = document()->characterCount() - 1;
    qsizetype from = position;
    qsizetype gone = std::min<qsizetype>(removed, oldSize - from);
    qsizetype come = newSize - oldSize + gone;
    if (from > oldSize || come < 0 || from + come > newSize) {
        from = 0;
        gone = oldSize;
        come = newSize;
    }
    QTextCursor range(document());
    range.setPosition(int(from));
    range.setPosition(int(from + come), QTextCursor::KeepAnchor);
    QString text = range.selectedText();
    qsizetype head = 0;
    while (head < gone && head < come && m_shadow.at(from + head) == text[head])
        ++head;
    qsizetype tail = 0;
    while (tail < gone - head && tail < come - head && m_shadow.at(from + gone - 1 - tail) == text[come - 1 - tail])
        ++tail;
    if (head + tail == gone && head + tail == come)
        return;
    text = text.mid(head, come - head - tail);
    DocumentEdit edit = m_shadow.replace(from + head, gone - head - tail, text);
    const auto source = sourceOf(edit);
    m_history.record(std::move(edit), source);
    Q_EMIT draftEdited(m_shadow.differsFromContent());
}

DocumentEdit DocumentEditor::apply(qsizetype position, qsizetype removed, const QString &text,
                                   const std::vector<LineBreak> &breaks)
{
    DocumentEdit edit = m_shadow.replace(position, removed, text, &breaks);
    const QScopedValueRollback applying(m_isApplying, true);
    QTextCursor cursor(document());
    cursor.setPosition(int(position));
    cursor.setPosition(int(position + removed), QTextCursor::KeepAnchor);
    cursor.insertText(text);
    setTextCursor(cursor);
    return edit;
}

void DocumentEditor::undoEdit()
{
    applyStep(m_history.takeUndo(), true);
}

void DocumentEditor::redoEdit()
{
    applyStep(m_history.takeRedo(), false);
}

void DocumentEditor::applyStep(const std::optional<DocumentEdit> &step, bool undo)
{
    if (!step)
        return;
    if (undo)
        apply(step->position, step->inserted.size(), step->removed, step->removedBreaks);
    else
        apply(step->position, step->removed.size(), step->inserted, step->insertedBreaks);
    ensureCursorVisible();
    Q_EMIT draftEdited(m_shadow.differsFromContent());
}

void DocumentEditor::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Undo))
        return undoEdit();
    if (isRedo(event))
        return redoEdit();
    if (event->matches(QKeySequence::InsertLineSeparator)) {
        // A plain text file has no line separator inside a line: Shift+Return is Return.
        QKeyEvent plain(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, u"\r"_s);
        return QPlainTextEdit::keyPressEvent(&plain);
    }
    QPlainTextEdit::keyPressEvent(event);
}

void DocumentEditor::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu *menu = createStandardContextMenu(event->pos());
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (QAction *action : menu->actions()) {
        const bool undo = action->objectName() == "edit-undo"_L1;
        if (!undo && action->objectName() != "edit-redo"_L1)
            continue;
        action->disconnect();
        action->setEnabled(undo ? canUndo() : canRedo());
        connect(action, &QAction::triggered, this, undo ? &DocumentEditor::undoEdit : &DocumentEditor::redoEdit);
    }
    menu->popup(event->globalPos());
}

QMimeData *DocumentEditor::createMimeDataFromSelection() const
{
    // The file's own text: real line endings and no-break spaces, no soft breaks.
    const QTextCursor cursor = textCursor();
    auto *data = new QMimeData;
    data->setText(m_shadow.fileText(cursor.selectionStart(), cursor.selectionEnd()));
    return data;
}

bool DocumentEditor::canInsertFromMimeData(const QMimeData *source) const
{
    return source->hasText();
}

void DocumentEditor::insertFromMimeData(const QMimeData *source)
{
    if (!source->hasText())
        return;
    // A drop that moves text within the editor removes it inside an edit block that is
    // still open, so its change is not reported yet: take it in first, so that positions
    // here and in the document agree.
    if (m_shadow.size() != document()->characterCount() - 1)
        handleContentsChange(0, int(m_shadow.size()), 0);
    const auto blocks = DocumentShadow::toBlocks(source->text(), m_shadow.newline());
    const QTextCursor cursor = textCursor();
    m_history.record(
        apply(cursor.selectionStart(), cursor.selectionEnd() - cursor.selectionStart(), blocks.text, blocks.breaks),
        DocumentHistory::Source::other);
    ensureCursorVisible();
    Q_EMIT draftEdited(m_shadow.differsFromContent());
}

void DocumentEditor::paintEvent(QPaintEvent *event)
{
    QPlainTextEdit::paintEvent(event);
    paintSoftBreakMarks(event->rect());
}

// A small return arrow behind every line that continues in the next block.
void DocumentEditor::paintSoftBreakMarks(const QRect &area)
{
    QPainter painter(viewport());
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(UiStyle::secondary(palette()), 1.2));
    const qreal size = fontMetrics().height() * 0.3;
    const QPointF offset = contentOffset();
    for (QTextBlock block = firstVisibleBlock(); block.isValid() && block.next().isValid(); block = block.next()) {
        const QRectF bounds = blockBoundingGeometry(block).translated(offset);
        if (bounds.top() > area.bottom())
            break;
        if (m_shadow.breakAt(block.blockNumber()) != LineBreak::soft || block.layout()->lineCount() == 0)
            continue;
        const QTextLine line = block.layout()->lineAt(block.layout()->lineCount() - 1);
        const QPointF end(bounds.left() + line.x() + line.naturalTextWidth() + size,
                          bounds.top() + line.y() + line.height() / 2);
        QPainterPath arrow(end + QPointF(2 * size, -size));
        arrow.lineTo(end + QPointF(2 * size, size * 0.6));
        arrow.lineTo(end + QPointF(0, size * 0.6));
        arrow.moveTo(end + QPointF(size * 0.6, 0));
        arrow.lineTo(end + QPointF(0, size * 0.6));
        arrow.lineTo(end + QPointF(size * 0.6, size * 1.2));
        painter.drawPath(arrow);
    }
}

} // namespace tessel
