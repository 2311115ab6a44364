#pragma once

#include <QtGlobal>

#include <algorithm>
#include <vector>

namespace tessel {

// A sequence with a movable gap at the last edit, so that a run of edits near one place
// costs the size of the edits, not the size of the sequence. Moving the gap costs the
// distance moved; growing keeps a spare of a sixteenth of the size, so appends amortise.
template<typename T>
class GapBuffer
{
public:
    qsizetype size() const { return qsizetype(m_data.size()) - (m_gapEnd - m_gapStart); }
    const T &at(qsizetype index) const { return m_data[index < m_gapStart ? index : index + m_gapEnd - m_gapStart]; }

    // Replaces everything with [first, last), leaving room for edits.
    template<typename Iterator>
    void assign(Iterator first, Iterator last)
    {
        const auto count = qsizetype(std::distance(first, last));
        m_data.assign(std::size_t(count + spare(count)), T());
        std::copy(first, last, m_data.begin());
        m_gapStart = count;
        m_gapEnd = qsizetype(m_data.size());
    }

    // Replaces `count` elements at `position` with [first, last).
    template<typename Iterator>
    void replace(qsizetype position, qsizetype count, Iterator first, Iterator last)
    {
        moveGapTo(position);
        m_gapEnd += count;
        const auto added = qsizetype(std::distance(first, last));
        reserveGap(added);
        std::copy(first, last, m_data.begin() + m_gapStart);
        m_gapStart += added;
    }

    // Calls `visit(begin, end)` with the stored runs of [from, to), in order.
    template<typename Visit>
    void forEachRun(qsizetype from, qsizetype to, Visit visit) const
    {
        const T *data = m_data.data();
        const qsizetype gap = m_gapEnd - m_gapStart;
        if (from < m_gapStart)
            visit(data + from, data + std::min(to, m_gapStart));
        if (to > m_gapStart)
            visit(data + std::max(from, m_gapStart) + gap, data + to + gap);
    }

    std::vector<T> copy(qsizetype from, qsizetype to) const
    {
        std::vector<T> values;
        values.reserve(std::size_t(to - from));
        forEachRun(from, to, [&values](const T *begin, const T *end) { values.insert(values.end(), begin, end); });
        return values;
    }

private:
    static qsizetype spare(qsizetype size) { return std::max<qsizetype>(size / 16, 256); }

    void moveGapTo(qsizetype position)
    {
        const qsizetype gap = m_gapEnd - m_gapStart;
        auto data = m_data.begin();
        if (position < m_gapStart)
            std::move_backward(data + position, data + m_gapStart, data + m_gapEnd);
        else if (position > m_gapStart)
            std::move(data + m_gapEnd, data + position + gap, data + m_gapStart);
        m_gapStart = position;
        m_gapEnd = position + gap;
    }

    void reserveGap(qsizetype needed)
    {
        if (m_gapEnd - m_gapStart >= needed)
            return;
        const qsizetype tail = qsizetype(m_data.size()) - m_gapEnd;
        const qsizetype gap = needed + spare(size());
        std::vector<T> grown(std::size_t(m_gapStart + gap + tail));
        std::copy(m_data.begin(), m_data.begin() + m_gapStart, grown.begin());
        std::copy(m_data.end() - tail, m_data.end(), grown.end() - tail);
        m_data = std::move(grown);
        m_gapEnd = m_gapStart + gap;
    }

    std::vector<T> m_data;
    qsizetype m_gapStart = 0;
    qsizetype m_gapEnd = 0;
};

} // namespace tessel
