#pragma once

#include <QObject>
#include <QPointer>
#include <QStringMatcher>

#include <optional>
#include <span>
#include <vector>

class QAbstractItemModel;

namespace tessel {

// Case-insensitive find over the bodies of a TranscriptListModel, kept up to date as the
// transcript changes: appended rows are scanned alone, and a reply that streams is scanned
// only from where the last scan of it ended, so a delta costs its own length, not the
// reply's. Matches do not overlap and are kept in transcript order; one of them is current.
class TranscriptFind : public QObject
{
    Q_OBJECT

public:
    struct Match
    {
        int row = 0;
        qsizetype start = 0;
        friend auto operator<=>(const Match &, const Match &) = default;
    };

    explicit TranscriptFind(QObject *parent = nullptr);

    void setModel(QAbstractItemModel *model);
    // Finds `query` afresh; the current match becomes the first one in or after `fromRow`,
    // or the first of all when none follows. An empty query finds nothing.
    void setQuery(const QString &query, int fromRow = 0);
    const QString &query() const { return m_query; }
    qsizetype count() const { return qsizetype(m_matches.size()); }
    // The current match's place among all, or -1 when there is none.
    qsizetype currentIndex() const;
    std::optional<Match> current() const { return m_current; }
    // Move the current match on or back, wrapping around at either end.
    void next();
    void previous();
    std::span<const Match> matchesIn(int row) const;

Q_SIGNALS:
    // The matches or the current one changed.
    void changed();

private:
    // How far a row was scanned, and whether it could only grow at its end since.
    struct RowScan
    {
        qsizetype scanned = 0;
        bool appending = false;
    };

    void rescanAll();
    void scanRows(int first, int last);
    void updateRow(int row);
    void scanRowFrom(int row, qsizetype from, std::vector<Match> &into);
    bool appendsOnly(int row) const;
    std::vector<Match>::iterator rowBegin(int row);
    void finishChange();
    void keepCurrentValid();
    void step(int direction);

    QPointer<QAbstractItemModel> m_model;
    QString m_query;
    QStringMatcher m_matcher;
    std::vector<Match> m_matches;
    std::vector<RowScan> m_rows;
    std::optional<Match> m_current;
};

} // namespace tessel
