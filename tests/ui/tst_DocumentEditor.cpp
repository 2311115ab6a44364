#include "ui/DocumentEditor.h"
#include "ui/PlatformMessageFilter.h"

#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

// The files pane's editor over text that a plain text widget would not give back as it
// was: every case opens unchanged, reads back byte for byte, and changes only by the edit.
class tst_DocumentEditor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { installPlatformMessageFilter(); }
    void init();
    void cleanup() { m_editor.reset(); }
    void opensUnchangedAndChangesOnlyByTheEdit_data();
    void opensUnchangedAndChangesOnlyByTheEdit();
    void softBreaksAreNotInTheFileAndUndoKeepsEveryKind();
    void pastedLinesTakeTheFilesNewlineAndCopyGivesTheFileText();

private:
    void load(const QString &text);
    // Ctrl+Home, then the start of the second line (block).
    void goToSecondBlock();

    std::unique_ptr<DocumentEditor> m_editor;
    std::unique_ptr<QSignalSpy> m_edits;
};

void tst_DocumentEditor::init()
{
    m_editor = std::make_unique<DocumentEditor>();
    m_editor->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_editor->resize(600, 400);
    m_editor->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_editor.get()));
    m_edits = std::make_unique<QSignalSpy>(m_editor.get(), &DocumentEditor::draftEdited);
}

void tst_DocumentEditor::load(const QString &text)
{
    m_editor->showDraft(text, text);
    m_editor->setFocus();
}

void tst_DocumentEditor::goToSecondBlock()
{
    QTest::keyClick(m_editor.get(), Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(m_editor.get(), Qt::Key_Down);
    QTest::keyClick(m_editor.get(), Qt::Key_Home);
}

void tst_DocumentEditor::opensUnchangedAndChangesOnlyByTheEdit_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("edited"); // after: second line, "X", Return, "Y", Shift+Return, "Z"
    QTest::newRow("CRLF") << u"one\r\ntwo\r\n"_s << u"one\r\nX\r\nY\r\nZtwo\r\n"_s;
    QTest::newRow("CR, no final newline") << u"one\rtwo"_s << u"one\rX\rY\rZtwo"_s;
    QTest::newRow("mixed, LF most") << u"a\r\nb\nc\nd\r"_s << u"a\r\nX\nY\nZb\nc\nd\r"_s;
    QTest::newRow("no-break spaces, tabs, BOM, controls")
        << u"\uFEFFa\u00A0b\tc\f\u0085\uFFFC\nd\u00A0\u00A0e"_s
        << u"\uFEFFa\u00A0b\tc\f\u0085\uFFFC\nX\nY\nZd\u00A0\u00A0e"_s;
    QTest::newRow("U+2028 inside, U+2029 between")
        << u"a\u2029b\u2028c\u2029"_s << u"a\u2029X\u2029Y\u2029Zb\u2028c\u2029"_s;
    QTest::newRow("empty last lines") << u"a\n\n\n"_s << u"a\nX\nY\nZ\n\n"_s;
    QTest::newRow("no line break at all") << u"abc"_s << u"X\nY\nZabc"_s;
    const QString line(200'000, u'x');
    QTest::newRow("200 KB line") << line + u"\r\n"_s << line.left(1000) + u"X\r\nY\r\nZ"_s + line.mid(1000) + u"\r\n"_s;
}

void tst_DocumentEditor::opensUnchangedAndChangesOnlyByTheEdit()
{
    QFETCH(QString, text);
    QFETCH(QString, edited);
    load(text);
    QCOMPARE(m_editor->draftText(), text);
    QCOMPARE(m_edits->count(), 0);
    for (QTextBlock block = m_editor->document()->firstBlock(); block.isValid(); block = block.next())
        QVERIFY(block.length() <= DocumentShadow::maxBlockLength + 1);

    goToSecondBlock();
    QTest::keyClicks(m_editor.get(), u"X"_s);
    QTest::keyClick(m_editor.get(), Qt::Key_Return);
    QTest::keyClicks(m_editor.get(), u"Y"_s);
    QTest::keyClick(m_editor.get(), Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClicks(m_editor.get(), u"Z"_s);
    QCOMPARE(m_editor->draftText(), edited);
    QCOMPARE(m_edits->last().at(0).toBool(), true);

    // Taking it back step by step returns to exactly what was opened.
    while (m_editor->canUndo())
        m_editor->undoEdit();
    QCOMPARE(m_editor->draftText(), text);
    QCOMPARE(m_edits->last().at(0).toBool(), false);
}

void tst_DocumentEditor::softBreaksAreNotInTheFileAndUndoKeepsEveryKind()
{
    const QString text = QString(2500, u'a') + u"\r\nend"_s;
    load(text);
    QCOMPARE(m_editor->blockCount(), 4);
    QCOMPARE(m_editor->breakAfterBlock(0), LineBreak::soft);

    // Joining the first two blocks changes nothing in the file.
    goToSecondBlock();
    QTest::keyClick(m_editor.get(), Qt::Key_Backspace);
    QCOMPARE(m_editor->blockCount(), 3);
    QCOMPARE(m_editor->draftText(), text);
    QCOMPARE(m_edits->last().at(0).toBool(), false);
    QTest::keyClick(m_editor.get(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(m_editor->blockCount(), 4);
    QCOMPARE(m_editor->breakAfterBlock(0), LineBreak::soft);
    QTest::keyClick(m_editor.get(), Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(m_editor->blockCount(), 3);
    QCOMPARE(m_editor->draftText(), text);

    // Deleting the real line break and a word typed after it: each undone exactly.
    QTest::keyClick(m_editor.get(), Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(m_editor.get(), Qt::Key_Home);
    QTest::keyClick(m_editor.get(), Qt::Key_Backspace);
    QTest::keyClicks(m_editor.get(), u" new words"_s);
    QCOMPARE(m_editor->draftText(), QString(2500, u'a') + u" new wordsend"_s);
    QTest::keyClick(m_editor.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier); // redo: nothing to redo
    m_editor->undoEdit();
    QCOMPARE(m_editor->draftText(), QString(2500, u'a') + u" newend"_s);
    m_editor->undoEdit();
    m_editor->undoEdit();
    QCOMPARE(m_editor->draftText(), text);
    QCOMPARE(m_edits->last().at(0).toBool(), false);
    m_editor->redoEdit();
    QCOMPARE(m_editor->draftText(), QString(2500, u'a') + u"end"_s);
    QCOMPARE(m_edits->last().at(0).toBool(), true);
}

void tst_DocumentEditor::pastedLinesTakeTheFilesNewlineAndCopyGivesTheFileText()
{
    const QString text = u"a\u00A0b\r\n"_s + QString(1500, u'c') + u"\r\nd\r\n"_s;
    load(text);
    m_editor->selectAll();
    m_editor->copy();
    QCOMPARE(QApplication::clipboard()->text(), text);

    QTest::keyClick(m_editor.get(), Qt::Key_End, Qt::ControlModifier);
    QApplication::clipboard()->setText(u"p\nq\r"_s + QString(2100, u'r'));
    m_editor->paste();
    const QString pasted = text + u"p\r\nq\r\n"_s + QString(2100, u'r');
    QCOMPARE(m_editor->draftText(), pasted);
    for (QTextBlock block = m_editor->document()->firstBlock(); block.isValid(); block = block.next())
        QVERIFY(block.length() <= DocumentShadow::maxBlockLength + 1);
    // Moving text by dragging removes it and pastes it inside one edit block.
    QTextCursor moved(m_editor->document());
    moved.beginEditBlock();
    moved.setPosition(0);
    moved.setPosition(4, QTextCursor::KeepAnchor);
    moved.removeSelectedText();
    m_editor->moveCursor(QTextCursor::End);
    QApplication::clipboard()->setText(u"a\u00A0b\r\n"_s);
    m_editor->paste();
    moved.endEditBlock();
    QCOMPARE(m_editor->draftText(), pasted.mid(5) + u"a\u00A0b\r\n"_s);
    m_editor->undoEdit();
    m_editor->undoEdit();
    QCOMPARE(m_editor->draftText(), pasted);

    // The context menu's Undo is the editor's own.
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(10, 10), m_editor->mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(m_editor->viewport(), &menuEvent);
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    QVERIFY(menu);
    auto *undo = menu->findChild<QAction *>(u"edit-undo"_s);
    QVERIFY(undo && undo->isEnabled());
    undo->trigger();
    menu->close();
    QCOMPARE(m_editor->draftText(), text);

    // A saved draft is the new unchanged text, even with typing that came after the save.
    m_editor->redoEdit();
    const QString saved = m_editor->draftText();
    QTest::keyClicks(m_editor.get(), u"s"_s);
    QCOMPARE(m_editor->adoptContent(saved), true);
    QTest::keyClick(m_editor.get(), Qt::Key_Backspace);
    QCOMPARE(m_edits->last().at(0).toBool(), false);
}

} // namespace tessel

QTEST_MAIN(tessel::tst_DocumentEditor)
#include "tst_DocumentEditor.moc"
