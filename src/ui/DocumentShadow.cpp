#include "ui/DocumentShadow.h"

#include <array>

namespace tessel {

namespace {

QStringView breakText(LineBreak kind)
{
    switch (kind) {
    case LineBreak::soft: return {};
    case LineBreak::lf: return u"\n";
    case LineBreak::crlf: return u"\r\n";
    case LineBreak::cr: return u"\r";
    case LineBreak::paragraph: return u"\u2029";
    case LineBreak::frameStart: return u"\uFDD0";
    case LineBreak::frameEnd: return u"\uFDD1";
    }
    return {};
}

// The characters an editor turns into a block break, and the length of the break at `i`.
std::optional<LineBreak> lineBreakAt(QStringView text, qsizetype i)
{
    switch (text[i].unicode()) {
    case u'\n': return LineBreak::lf;
    case u'\r': return i + 1 < text.size() && text[i + 1] == u'\n' ? LineBreak::crlf : LineBreak::cr;
    case 0x2029: return LineBreak::paragraph;
    case 0xFDD0: return LineBreak::frameStart;
    case 0xFDD1: return LineBreak::frameEnd;
    default: return std::nullopt;
    }
}

// The length in the file of editor text holding `breaks`.
qsizetype fileLength(const QString &text, const std::vector<LineBreak> &breaks)
{
    qsizetype length = text.size();
    for (const LineBreak kind : breaks)
        length += breakText(kind).size() - 1;
    return length;
}

LineBreak mostFrequentNewline(const std::vector<LineBreak> &breaks)
{
    std::array<qsizetype, 7> counts{};
    for (const LineBreak kind : breaks)
        ++counts[std::size_t(kind)];
    LineBreak best = LineBreak::lf;
    for (const LineBreak kind : {LineBreak::crlf, LineBreak::cr, LineBreak::paragraph}) {
        if (counts[std::size_t(kind)] > counts[std::size_t(best)])
            best = kind;
    }
    return best;
}

} // namespace

DocumentShadow::Blocks DocumentShadow::toBlocks(QStringView fileText, std::optional<LineBreak> newline)
{
    Blocks blocks;
    blocks.text.reserve(fileText.size() + fileText.size() / maxBlockLength + 1);
    qsizetype lineStart = 0;
    qsizetype i = 0;
    const auto cutLine = [&](qsizetype end) {
        // Cut into blocks of at most maxBlockLength, after a space near the end where there
        // is one, and never between the halves of a surrogate pair.
        qsizetype from = lineStart;
        while (end - from > maxBlockLength) {
            qsizetype cut = from + maxBlockLength;
            for (qsizetype back = cut; back > cut - maxBlockLength / 10; --back) {
                if (fileText[back - 1].isSpace()) {
                    cut = back;
                    break;
                }
            }
            if (fileText[cut].isLowSurrogate())
                ++cut;
            if (cut >= end)
                break;
            blocks.text.append(fileText.mid(from, cut - from));
            blocks.text.append(blockBreak);
            blocks.breaks.push_back(LineBreak::soft);
            from = cut;
        }
        blocks.text.append(fileText.mid(from, end - from));
    };
    for (; i < fileText.size(); ++i) {
        const auto kind = lineBreakAt(fileText, i);
        if (!kind)
            continue;
        cutLine(i);
        blocks.text.append(blockBreak);
        blocks.breaks.push_back(newline.value_or(*kind));
        if (*kind == LineBreak::crlf)
            ++i;
        lineStart = i + 1;
    }
    cutLine(fileText.size());
    return blocks;
}

DocumentShadow::DocumentShadow(std::function<qsizetype(qsizetype)> breaksBefore)
    : m_breaksBefore(std::move(breaksBefore))
{ }

QString DocumentShadow::load(const QString &draft, const QString &content)
{
    Blocks blocks = toBlocks(draft);
    const auto *chars = blocks.text.utf16();
    m_chars.assign(chars, chars + blocks.text.size());
    m_newline = mostFrequentNewline(blocks.breaks);
    m_breaks.assign(blocks.breaks.cbegin(), blocks.breaks.cend());
    m_fileLength = draft.size();
    const qsizetype all = size();
    const bool same = draft.size() == content.size() && (draft.constData() == content.constData() || draft == content);
    m_content = {content, same ? all : 0, same ? all : 0};
    m_checkpoint = {draft, all, all};
    return blocks.text;
}

QString DocumentShadow::text(qsizetype from, qsizetype to) const
{
    QString out;
    out.reserve(to - from);
    m_chars.forEachRun(
        from, to, [&out](const char16_t *begin, const char16_t *end) { out.append(QStringView(begin, end - begin)); });
    return out;
}

DocumentEdit DocumentShadow::replace(qsizetype position, qsizetype removed, const QString &inserted,
                                     const std::vector<LineBreak> *breaks)
{
    const qsizetype ordinal = m_breaksBefore(position);
    DocumentEdit edit{position, text(position, position + removed), {}, inserted, {}};
    const qsizetype removedBreaks = edit.removed.count(blockBreak);
    edit.removedBreaks = m_breaks.copy(ordinal, ordinal + removedBreaks);
    edit.insertedBreaks = breaks ? *breaks : std::vector<LineBreak>(std::size_t(inserted.count(blockBreak)), m_newline);
    m_fileLength += fileLength(edit.inserted, edit.insertedBreaks) - fileLength(edit.removed, edit.removedBreaks);
    const qsizetype unchangedAfter = size() - position - removed;
    for (Comparison *comparison : {&m_content, &m_checkpoint}) {
        comparison->prefix = std::min(comparison->prefix, position);
        comparison->suffix = std::min(comparison->suffix, unchangedAfter);
    }
    const auto *chars = inserted.utf16();
    m_chars.replace(position, removed, chars, chars + inserted.size());
    m_breaks.replace(ordinal, removedBreaks, edit.insertedBreaks.cbegin(), edit.insertedBreaks.cend());
    return edit;
}

QString DocumentShadow::fileText()
{
    QString out;
    out.reserve(m_fileLength);
    appendFileText(out, 0, size(), 0);
    m_checkpoint = {out, size(), size()};
    return out;
}

QString DocumentShadow::fileText(qsizetype from, qsizetype to) const
{
    QString out;
    appendFileText(out, from, to, m_breaksBefore(from));
    return out;
}

bool DocumentShadow::adoptContent(const QString &content)
{
    const QString &checkpoint = m_checkpoint.text;
    const bool isCheckpoint =
        content.size() == checkpoint.size() && (content.constData() == checkpoint.constData() || content == checkpoint);
    m_content = isCheckpoint ? Comparison{content, m_checkpoint.prefix, m_checkpoint.suffix} : Comparison{content};
    return differsFromContent();
}

bool DocumentShadow::differs(const Comparison &comparison) const
{
    if (m_fileLength != comparison.text.size())
        return true;
    // Equal lengths and equal ends: the middles have equal lengths too.
    const qsizetype from = std::min(comparison.prefix, size());
    const qsizetype to = std::max(from, size() - comparison.suffix);
    if (from == to)
        return false;
    QString middle;
    appendFileText(middle, from, to, m_breaksBefore(from));
    return QStringView(comparison.text).mid(fileOffset(from), middle.size()) != middle;
}

void DocumentShadow::appendFileText(QString &out, qsizetype from, qsizetype to, qsizetype ordinal) const
{
    m_chars.forEachRun(from, to, [&](const char16_t *begin, const char16_t *end) {
        while (begin != end) {
            const char16_t *found = std::find(begin, end, blockBreak.unicode());
            out.append(QStringView(begin, found - begin));
            if (found == end)
                break;
            out.append(breakText(m_breaks.at(ordinal++)));
            begin = found + 1;
        }
    });
}

qsizetype DocumentShadow::fileOffset(qsizetype position) const
{
    qsizetype offset = position;
    m_breaks.forEachRun(0, m_breaksBefore(position), [&offset](const LineBreak *begin, const LineBreak *end) {
        for (const LineBreak *kind = begin; kind != end; ++kind)
            offset += breakText(*kind).size() - 1;
    });
    return offset;
}

} // namespace tessel
