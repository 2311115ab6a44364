#pragma once

#include "app/DesktopTranscriptItem.h"

#include <QAbstractListModel>
#include <QHash>
#include <QList>

#include <optional>

namespace tessel {

// The chat transcript, oldest item first, as a list model for views. Appending inserts one
// row, a merge changes one row, a wholesale replacement resets.
//
// Merges find their item by (role, gateway item id): the first item from the oldest with that
// role and the same id, where two absent ids match and an absent id never matches a present
// one. Items are only appended or replaced wholesale and a merge never changes an item's role
// or id, so the first match of a key never moves; an index from key to row makes each merge
// O(1) however long the transcript grows.
//
// A streamed body grows with at most an eighth of spare capacity, and gives up the spare
// when it stops streaming, so that a long reply costs little more than its UTF-16 text.
//
// For assistive technology a row reads as its title and body (Qt::AccessibleTextRole) and
// describes what kind of item it is and whether it is still streaming
// (Qt::AccessibleDescriptionRole).
class TranscriptListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role {
        TitleRole = Qt::UserRole + 1,
        BodyRole,
        TranscriptRoleRole,
        IsStreamingRole,
        SourceItemIdRole,
        ItemIdRole,
        // A number that changes whenever the body is replaced rather than extended.
        BodyRevisionRole,
    };
    Q_ENUM(Role)

    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    const QList<DesktopTranscriptItem> &items() const { return m_items; }
    void replaceAll(const QList<DesktopTranscriptItem> &items);
    void append(const DesktopTranscriptItem &item);

    // Empty deltas change nothing; otherwise the matched assistant item grows and streams,
    // or a new streaming item titled `title` starts.
    void appendAssistantDelta(const QString &delta, const std::optional<QString> &itemID, const QString &title);
    // The final text replaces the streamed pieces unless it is empty; streaming stops.
    void finalizeAssistantMessage(const QString &text, const std::optional<QString> &itemID, const QString &title);
    // The matched tool item takes the new text and running state and keeps its title.
    void upsertToolEvent(const QString &text, bool running, const std::optional<QString> &itemID);
    // Nothing streams any more: the connection that would have finished the items is gone.
    void endStreaming();

    // What assistive technology reads of a row at most; beyond it the text ends with an
    // ellipsis, so that a reply of megabytes is not copied on every query.
    static constexpr qsizetype maxAccessibleTextLength = 100'000;

private:
    struct MatchKey
    {
        DesktopTranscriptRole role;
        std::optional<QString> itemID;
        friend bool operator==(const MatchKey &, const MatchKey &) = default;
        friend size_t qHash(const MatchKey &key, size_t seed = 0)
        {
            return qHashMulti(seed, int(key.role), key.itemID.has_value(), key.itemID.value_or(QString()));
        }
    };

    void appendNew(DesktopTranscriptRole role, const QString &title, const QString &body, bool isStreaming,
                   const std::optional<QString> &itemID);
    std::optional<qsizetype> findMatch(DesktopTranscriptRole role, const std::optional<QString> &itemID) const;
    void indexItem(qsizetype row);
    void rowChanged(qsizetype row);
    void replaceBody(qsizetype row, const QString &body);
    static void squeeze(QString &body);
    static constexpr qsizetype largeBodyLength = 1024 * 1024;

    QList<DesktopTranscriptItem> m_items;
    // Per item, the revision of its body; replaced bodies take the next number.
    QList<quint64> m_bodyRevisions;
    quint64 m_lastRevision = 0;
    QHash<MatchKey, qsizetype> m_firstMatch;
};

} // namespace tessel
