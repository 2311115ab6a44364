#pragma once

#include "ui/GapBuffer.h"

#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace tessel {

// What one block break of the editor stands for in the file. A soft break stands for
// nothing: it only cuts a long line into blocks the editor can lay out quickly.
enum class LineBreak : quint8 { soft, lf, crlf, cr, paragraph, frameStart, frameEnd };

// One change of the editor's text, in editor positions, with the kinds of the breaks it
// removed and inserted, so that it can be undone and redone exactly.
struct DocumentEdit
{
    qsizetype position = 0;
    QString removed;
    std::vector<LineBreak> removedBreaks;
    QString inserted;
    std::vector<LineBreak> insertedBreaks;
};

// The exact file behind an editor whose every line break is a block break and whose long
// lines are cut into several blocks. It mirrors the editor's text position for position
// (each block break as U+2029) and keeps, per break, what it stands for in the file. Edits
// cost their own size. It also answers whether the draft still equals the document's
// content: by length first, then by comparing only the region edited since the content
// was loaded or saved.
class DocumentShadow
{
public:
    static constexpr QChar blockBreak = QChar::ParagraphSeparator;
    // Lines longer than this are shown as several blocks: laying out and drawing a block
    // costs its whole length on every keystroke and every repaint.
    static constexpr qsizetype maxBlockLength = 1000;

    struct Blocks
    {
        QString text;
        std::vector<LineBreak> breaks;
    };
    // `fileText` as editor text. With `newline` set, every line break becomes that one
    // (pasted text takes the file's newline).
    static Blocks toBlocks(QStringView fileText, std::optional<LineBreak> newline = std::nullopt);

    // `breaksBefore(position)` counts the block breaks in front of an editor position.
    explicit DocumentShadow(std::function<qsizetype(qsizetype)> breaksBefore);

    // Starts over with `draft` shown and compared with `content`; returns the editor text.
    QString load(const QString &draft, const QString &content);

    qsizetype size() const { return m_chars.size(); }
    QChar at(qsizetype position) const { return QChar(m_chars.at(position)); }
    QString text(qsizetype from, qsizetype to) const;
    LineBreak breakAt(qsizetype ordinal) const { return m_breaks.at(ordinal); }
    // What a new line break becomes: the file's most frequent one, LF in a file without.
    LineBreak newline() const { return m_newline; }

    // Replaces `removed` editor characters at `position` by `inserted`, whose breaks are
    // `breaks`, or all the file's newline when absent. Returns the edit as it happened.
    DocumentEdit replace(qsizetype position, qsizetype removed, const QString &inserted,
                         const std::vector<LineBreak> *breaks = nullptr);

    // The draft as the file's text. The whole of it also becomes the checkpoint that a
    // later adoptContent() of the same text recognises without comparing everything.
    QString fileText();
    QString fileText(qsizetype from, qsizetype to) const;

    bool differsFromContent() const { return differs(m_content); }
    // `content` was saved and is now what the draft is compared with; true when they differ.
    bool adoptContent(const QString &content);

private:
    // A text the draft is compared with, and how many editor positions at each end have
    // stayed as they were when it was taken.
    struct Comparison
    {
        QString text;
        qsizetype prefix = 0;
        qsizetype suffix = 0;
    };

    bool differs(const Comparison &comparison) const;
    // The file text of editor positions [from, to), the first break being `ordinal`.
    void appendFileText(QString &out, qsizetype from, qsizetype to, qsizetype ordinal) const;
    qsizetype fileOffset(qsizetype position) const;

    std::function<qsizetype(qsizetype)> m_breaksBefore;
    GapBuffer<char16_t> m_chars;
    GapBuffer<LineBreak> m_breaks;
    LineBreak m_newline = LineBreak::lf;
    qsizetype m_fileLength = 0;
    Comparison m_content;
    Comparison m_checkpoint;
};

} // namespace tessel
