#include "ui/TranscriptRowLayout.h"

#include <algorithm>

namespace tessel {

void TranscriptRowLayout::reset(const std::vector<int> &estimates)
{
    m_heights = estimates;
    m_measured.assign(estimates.size(), false);
    m_ends.resize(estimates.size());
    m_validEnds = 0;
}

void TranscriptRowLayout::insertRows(int first, const std::vector<int> &estimates)
{
    m_heights.insert(m_heights.begin() + first, estimates.begin(), estimates.end());
    m_measured.insert(m_measured.begin() + first, estimates.size(), false);
    m_ends.resize(m_heights.size());
    markChangedFrom(first);
}

void TranscriptRowLayout::removeRows(int first, int count)
{
    m_heights.erase(m_heights.begin() + first, m_heights.begin() + first + count);
    m_measured.erase(m_measured.begin() + first, m_measured.begin() + first + count);
    m_ends.resize(m_heights.size());
    markChangedFrom(first);
}

bool TranscriptRowLayout::setMeasuredHeight(int row, int height)
{
    m_measured.at(size_t(row)) = true;
    if (m_heights.at(size_t(row)) == height)
        return false;
    m_heights[size_t(row)] = height;
    markChangedFrom(row);
    return true;
}

qint64 TranscriptRowLayout::top(int row) const
{
    if (row <= 0)
        return 0;
    updateEnds();
    return m_ends.at(size_t(row - 1));
}

qint64 TranscriptRowLayout::totalHeight() const
{
    if (m_heights.empty())
        return 0;
    updateEnds();
    return m_ends.back() - m_spacing;
}

int TranscriptRowLayout::rowAt(qint64 y) const
{
    if (m_heights.empty())
        return -1;
    updateEnds();
    const auto found = std::upper_bound(m_ends.begin(), m_ends.end(), y);
    return int(std::min<qint64>(found - m_ends.begin(), qint64(m_ends.size()) - 1));
}

void TranscriptRowLayout::markChangedFrom(int row)
{
    m_validEnds = std::min(m_validEnds, row);
}

void TranscriptRowLayout::updateEnds() const
{
    qint64 end = m_validEnds > 0 ? m_ends[size_t(m_validEnds - 1)] : 0;
    for (size_t row = size_t(m_validEnds); row < m_heights.size(); ++row) {
        end += m_heights[row] + m_spacing;
        m_ends[row] = end;
    }
    m_validEnds = int(m_heights.size());
}

} // namespace tessel
