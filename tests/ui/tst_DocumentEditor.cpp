#include "support/DataRow.h"
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

using test::row;

const QString longLine(2500, u'a');

// The files pane's editor over text that a plain text widget would not give back as it
// was: every case opens unchanged, reads back byte for byte, and changes only by the edit.
class tst_DocumentEditor : public QObject
{
    Q_OBJECT

    std::unique_ptr<DocumentEditor> m_editor;
    std::unique_ptr<QSignalSpy> m_edits;

    void load(const QString &text)
    {
        m_editor->showDraft(text, text);
        m_editor->setFocus();
    }
    // Whether the last edit left the text different from the file's.
    bool changed() const { return !m_edits->isEmpty() && m_edits->last().at(0).toBool(); }
    // Does each of `steps`: "undo", "redo", "'text" typed, or keys such as "Ctrl+Home, Down".
    // Answers the draft after the last, with `longLine` as "A" and "*" when it differs from the file.
    QString run(const QStringList &steps)
    {
        for (const QString &step : steps) {
            if (step == "undo"_L1)
                m_editor->undoEdit();
            else if (step == "redo"_L1)
                m_editor->redoEdit();
            else if (step.startsWith(u'\''))
                QTest::keyClicks(m_editor.get(), step.sliced(1));
            else
                QTest::keySequence(m_editor.get(), QKeySequence(step));
        }
        return m_editor->draftText().replace(longLine, u"A"_s) + (changed() ? u"*"_s : QString());
    }
    bool blocksAreBounded() const
    {
        for (QTextBlock block = m_editor->document()->firstBlock(); block.isValid(); block = block.next()) {
            if (block.length() > DocumentShadow::maxBlockLength + 1)
                return false;
        }
        return true;
    }

private Q_SLOTS:
    void initTestCase() { installPlatformMessageFilter(); }
    void init()
    {
        m_editor = std::make_unique<DocumentEditor>();
        m_editor->setLineWrapMode(QPlainTextEdit::NoWrap);
        m_editor->resize(600, 400);
        m_editor->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_editor.get()));
        m_edits = std::make_unique<QSignalSpy>(m_editor.get(), &DocumentEditor::draftEdited);
    }
    void cleanup() { m_editor.reset(); }

    void opensUnchangedAndChangesOnlyByTheEdit_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("edited"); // after: second line, "X", Return, "Y", Shift+Return, "Z"
        row("CRLF", u"one\r\ntwo\r\n"_s, u"one\r\nX\r\nY\r\nZtwo\r\n"_s);
        row("CR, no final newline", u"one\rtwo"_s, u"one\rX\rY\rZtwo"_s);
        row("mixed, LF most", u"a\r\nb\nc\nd\r"_s, u"a\r\nX\nY\nZb\nc\nd\r"_s);
        row("no-break spaces, tabs, BOM, controls", u"\uFEFFa\u00A0b\tc\f\u0085\uFFFC\nd\u00A0\u00A0e"_s,
            u"\uFEFFa\u00A0b\tc\f\u0085\uFFFC\nX\nY\nZd\u00A0\u00A0e"_s);
        row("U+2028 inside, U+2029 between", u"a\u2029b\u2028c\u2029"_s, u"a\u2029X\u2029Y\u2029Zb\u2028c\u2029"_s);
        row("empty last lines", u"a\n\n\n"_s, u"a\nX\nY\nZ\n\n"_s);
        row("no line break at all", u"abc"_s, u"X\nY\nZabc"_s);
        const QString line(200'000, u'x');
        row("200 KB line", line + u"\r\n"_s, line.left(1000) + u"X\r\nY\r\nZ"_s + line.mid(1000) + u"\r\n"_s);
    }

    void opensUnchangedAndChangesOnlyByTheEdit()
    {
        QFETCH(QString, text);
        QFETCH(QString, edited);
        load(text);
        QCOMPARE(std::pair(m_editor->draftText(), int(m_edits->count())), std::pair(text, 0));
        QVERIFY(blocksAreBounded());
        QCOMPARE(run({u"Ctrl+Home, Down, Home"_s, u"'X"_s, u"Return"_s, u"'Y"_s, u"Shift+Return"_s, u"'Z"_s}),
                 edited + u"*"_s);
        // Taking it back step by step returns to exactly what was opened.
        while (m_editor->canUndo())
            m_editor->undoEdit();
        QCOMPARE(run({}), text);
    }

    void softBreaksAreNotInTheFileAndUndoKeepsEveryKind()
    {
        load(longLine + u"\r\nend"_s);
        QCOMPARE(std::pair(m_editor->blockCount(), m_editor->breakAfterBlock(0)), std::pair(4, LineBreak::soft));
        // Joining the first two blocks changes nothing in the file, neither does undoing or redoing it.
        for (const auto &[step, blocks] : {std::pair{u"Ctrl+Home, Down, Home, Backspace"_s, 3}, {u"Ctrl+Z"_s, 4},
                                           {u"Ctrl+Y"_s, 3}}) {
            QCOMPARE(run({step}), u"A\r\nend"_s);
            QCOMPARE(m_editor->blockCount(), blocks);
        }
        // Deleting the real line break and a word typed after it: each undone exactly (there
        // is nothing to redo in between).
        QCOMPARE(run({u"Ctrl+End, Home, Backspace"_s, u"' new words"_s}), u"A new wordsend*"_s);
        QCOMPARE(run({u"Ctrl+Shift+Z"_s, u"undo"_s}), u"A newend*"_s);
        QCOMPARE(run({u"undo"_s, u"undo"_s}), u"A\r\nend"_s);
        QCOMPARE(run({u"redo"_s}), u"Aend*"_s);
    }

    void pastedLinesTakeTheFilesNewlineAndCopyGivesTheFileText()
    {
        const QString text = u"a\u00A0b\r\n"_s + QString(1500, u'c') + u"\r\nd\r\n"_s;
        load(text);
        m_editor->selectAll();
        m_editor->copy();
        QCOMPARE(QApplication::clipboard()->text(), text);

        QApplication::clipboard()->setText(u"p\nq\r"_s + QString(2100, u'r'));
        m_editor->moveCursor(QTextCursor::End);
        m_editor->paste();
        const QString pasted = text + u"p\r\nq\r\n"_s + QString(2100, u'r');
        QCOMPARE(m_editor->draftText(), pasted);
        QVERIFY(blocksAreBounded());
        // Moving text by dragging removes it and pastes it inside one edit block.
        QTextCursor moved(m_editor->document());
        moved.beginEditBlock();
        moved.setPosition(4, QTextCursor::KeepAnchor);
        moved.removeSelectedText();
        m_editor->moveCursor(QTextCursor::End);
        QApplication::clipboard()->setText(u"a\u00A0b\r\n"_s);
        m_editor->paste();
        moved.endEditBlock();
        QCOMPARE(m_editor->draftText(), pasted.mid(5) + u"a\u00A0b\r\n"_s);
        QCOMPARE(run({u"undo"_s, u"undo"_s}), pasted + u"*"_s);

        // The context menu's Undo is the editor's own.
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(10, 10), m_editor->mapToGlobal(QPoint(10, 10)));
        QApplication::sendEvent(m_editor->viewport(), &menuEvent);
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QAction *undo = menu ? menu->findChild<QAction *>(u"edit-undo"_s) : nullptr;
        QVERIFY(undo && undo->isEnabled());
        undo->trigger();
        menu->close();
        QCOMPARE(run({}), text);

        // A saved draft is the new unchanged text, even with typing that came after the save.
        m_editor->redoEdit();
        const QString saved = m_editor->draftText();
        run({u"'s"_s});
        QVERIFY(m_editor->adoptContent(saved));
        QCOMPARE(run({u"Backspace"_s}), saved);
    }
};

} // namespace tessel

QTEST_MAIN(tessel::tst_DocumentEditor)
#include "tst_DocumentEditor.moc"
