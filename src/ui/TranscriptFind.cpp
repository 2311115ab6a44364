#include "ui/TranscriptFind.h"

#include "app/TranscriptListModel.h"

#include <algorithm>

namespace tessel {

TranscriptFind::TranscriptFind(QObject *parent)
    : QObject(parent)
{
    m_matcher.setCaseSensitivity(Qt::CaseInsensitive);
}

void TranscriptFind::setModel(QAbstractItemModel *model)
{
    if (m_model)
        m_model->disconnect(this);
    m_model = model;
    if (model) {
        connect(model, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex &, int first, int last) {
            if (m_query.isEmpty())
                return;
            // A transcript only grows at its end; anything else is found afresh.
            if (first == int(m_rows.size()))
                scanRows(first, last);
            else
                rescanAll();
            finishChange();
        });
        connect(model, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex &from, const QModelIndex &to) {
            if (m_query.isEmpty())
                return;
            for (int row = from.row(); row <= to.row(); ++row)
                updateRow(row);
            finishChange();
        });
        const auto again = [this] {
            rescanAll();
            finishChange();
        };
        connect(model, &QAbstractItemModel::modelReset, this, again);
        connect(model, &QAbstractItemModel::layoutChanged, this, again);
        connect(model, &QAbstractItemModel::rowsRemoved, this, again);
        connect(model, &QAbstractItemModel::rowsMoved, this, again);
    }
    rescanAll();
    finishChange();
}

void TranscriptFind::setQuery(const QString &query, int fromRow)
{
    m_query = query;
    m_matcher.setPattern(query);
    m_current.reset();
    rescanAll();
    const auto first = std::lower_bound(m_matches.begin(), m_matches.end(), Match{fromRow, 0});
    if (first != m_matches.end())
        m_current = *first;
    finishChange();
}

void TranscriptFind::rescanAll()
{
    m_matches.clear();
    m_rows.clear();
    if (m_model && m_model->rowCount() > 0)
        scanRows(0, m_model->rowCount() - 1);
}

void TranscriptFind::scanRows(int first, int last)
{
    if (m_query.isEmpty())
        return;
    m_rows.resize(size_t(last + 1));
    for (int row = first; row <= last; ++row)
        scanRowFrom(row, 0, m_matches);
}

void TranscriptFind::finishChange()
{
    keepCurrentValid();
    Q_EMIT changed();
}

// Scans the body of `row` from `from` to its end, appending its matches to `into`.
void TranscriptFind::scanRowFrom(int row, qsizetype from, std::vector<Match> &into)
{
    const QString body = m_model->index(row, 0).data(TranscriptListModel::BodyRole).toString();
    const qsizetype length = m_query.size();
    for (qsizetype at = m_matcher.indexIn(body, from); at >= 0; at = m_matcher.indexIn(body, at + length))
        into.push_back(Match{row, at});
    m_rows[size_t(row)] = RowScan{body.size(), appendsOnly(row)};
}

// A streaming reply changes only by text added at its end; anything else may change anywhere.
bool TranscriptFind::appendsOnly(int row) const
{
    const QModelIndex index = m_model->index(row, 0);
    return index.data(TranscriptListModel::IsStreamingRole).toBool() &&
           index.data(TranscriptListModel::TranscriptRoleRole).toInt() == int(DesktopTranscriptRole::assistant);
}

void TranscriptFind::updateRow(int row)
{
    if (row >= int(m_rows.size()))
        return;
    const auto begin = rowBegin(row);
    const auto end = rowBegin(row + 1);
    std::vector<Match> found;
    if (m_rows[size_t(row)].appending && appendsOnly(row)) {
        // The matches found so far stay; a new one may start inside the old text's tail.
        const qsizetype tail = m_rows[size_t(row)].scanned - m_query.size() + 1;
        scanRowFrom(row, std::max({begin == end ? 0 : (end - 1)->start + m_query.size(), tail, qsizetype(0)}), found);
        m_matches.insert(end, found.begin(), found.end());
        return;
    }
    scanRowFrom(row, 0, found);
    m_matches.insert(m_matches.erase(begin, end), found.begin(), found.end());
}

std::vector<TranscriptFind::Match>::iterator TranscriptFind::rowBegin(int row)
{
    return std::lower_bound(m_matches.begin(), m_matches.end(), Match{row, 0});
}

std::span<const TranscriptFind::Match> TranscriptFind::matchesIn(int row) const
{
    const auto begin = std::lower_bound(m_matches.cbegin(), m_matches.cend(), Match{row, 0});
    return {begin, std::lower_bound(begin, m_matches.cend(), Match{row + 1, 0})};
}

qsizetype TranscriptFind::currentIndex() const
{
    if (!m_current)
        return -1;
    return std::lower_bound(m_matches.begin(), m_matches.end(), *m_current) - m_matches.begin();
}

// The current match stays put while text changes; when it is gone the next one takes its
// place, and when there was none the first match found becomes current.
void TranscriptFind::keepCurrentValid()
{
    if (m_matches.empty()) {
        m_current.reset();
        return;
    }
    if (!m_current) {
        m_current = m_matches.front();
        return;
    }
    const auto at = std::lower_bound(m_matches.begin(), m_matches.end(), *m_current);
    m_current = at != m_matches.end() ? *at : m_matches.front();
}

void TranscriptFind::next()
{
    step(1);
}

void TranscriptFind::previous()
{
    step(-1);
}

void TranscriptFind::step(int direction)
{
    if (m_matches.empty())
        return;
    const auto size = qsizetype(m_matches.size());
    m_current = m_matches[size_t((currentIndex() + direction + size) % size)];
    Q_EMIT changed();
}

} // namespace tessel
