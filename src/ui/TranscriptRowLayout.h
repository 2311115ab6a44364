#pragma once

#include <QtGlobal>

#include <vector>

namespace tessel {

// The vertical layout of a transcript view: each row's height and where it starts, rows
// `spacing` apart. A row's height is exact once measured, otherwise an estimate that the
// view refines when the row comes into sight, so only visible rows are ever laid out.
//
// Row starts are prefix sums, recomputed lazily from the first changed row: a change at the
// end (an append, the streaming reply growing) costs O(1), one further up O(rows below it)
// integer additions, and rowAt() is a binary search.
class TranscriptRowLayout
{
public:
    explicit TranscriptRowLayout(int spacing)
        : m_spacing(spacing)
    { }

    int count() const { return int(m_heights.size()); }
    // All rows replaced by unmeasured rows of these estimated heights.
    void reset(const std::vector<int> &estimates);
    void insertRows(int first, const std::vector<int> &estimates);
    void removeRows(int first, int count);

    int height(int row) const { return m_heights.at(size_t(row)); }
    bool isMeasured(int row) const { return m_measured.at(size_t(row)); }
    // Returns whether the height changed.
    bool setMeasuredHeight(int row, int height);
    // The row must be measured again; its height meanwhile serves as the estimate.
    void invalidate(int row) { m_measured.at(size_t(row)) = false; }

    qint64 top(int row) const;
    qint64 bottom(int row) const { return top(row) + height(row); }
    // From the first row's top to the last row's bottom.
    qint64 totalHeight() const;
    // The row whose extent, with the spacing below it, holds `y`, clamped to the rows; -1
    // when there are none.
    int rowAt(qint64 y) const;

private:
    void markChangedFrom(int row);
    void updateEnds() const;

    int m_spacing;
    std::vector<int> m_heights;
    std::vector<bool> m_measured;
    // m_ends[r] = sum over rows <= r of (height + spacing); valid below m_validEnds.
    mutable std::vector<qint64> m_ends;
    mutable int m_validEnds = 0;
};

} // namespace tessel
