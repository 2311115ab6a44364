#include "app/TranscriptListModel.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

using namespace Qt::Literals::StringLiterals;

namespace tessel {

namespace {

QString kindOf(DesktopTranscriptRole role)
{
    switch (role) {
    case DesktopTranscriptRole::system: return u"System notice"_s;
    case DesktopTranscriptRole::user: return u"Your message"_s;
    case DesktopTranscriptRole::assistant: return u"Assistant reply"_s;
    case DesktopTranscriptRole::thinking: return u"Thinking"_s;
    case DesktopTranscriptRole::tool: return u"Tool activity"_s;
    case DesktopTranscriptRole::error: return u"Error"_s;
    }
    Q_UNREACHABLE();
    return {};
}

QString accessibleText(const DesktopTranscriptItem &item)
{
    QString text = item.title.isEmpty() ? QString() : item.title + u": "_s;
    const qsizetype room = TranscriptListModel::maxAccessibleTextLength - text.size();
    if (item.body.size() <= room)
        return text + item.body;
    return text + item.body.first(room - 1) + QChar(0x2026);
}

QString accessibleDescription(const DesktopTranscriptItem &item)
{
    return item.isStreaming ? kindOf(item.role) + u", still streaming"_s : kindOf(item.role);
}

} // namespace

int TranscriptListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_items.size());
}

QVariant TranscriptListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const DesktopTranscriptItem &item = m_items.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case BodyRole: return item.body;
    case TitleRole: return item.title;
    case TranscriptRoleRole: return int(item.role);
    case IsStreamingRole: return item.isStreaming;
    case SourceItemIdRole: return item.sourceItemID ? QVariant(*item.sourceItemID) : QVariant();
    case ItemIdRole: return item.id;
    case BodyRevisionRole: return m_bodyRevisions.at(index.row());
    case Qt::AccessibleTextRole: return accessibleText(item);
    case Qt::AccessibleDescriptionRole: return accessibleDescription(item);
    default: return {};
    }
}

QHash<int, QByteArray> TranscriptListModel::roleNames() const
{
    return {{TitleRole, "title"},
            {BodyRole, "body"},
            {TranscriptRoleRole, "role"},
            {IsStreamingRole, "isStreaming"},
            {SourceItemIdRole, "sourceItemID"},
            {ItemIdRole, "id"},
            {BodyRevisionRole, "bodyRevision"}};
}

void TranscriptListModel::replaceAll(const QList<DesktopTranscriptItem> &items)
{
    beginResetModel();
    m_items = items;
    m_bodyRevisions.fill(0, m_items.size());
    m_firstMatch.clear();
    for (qsizetype row = 0; row < m_items.size(); ++row)
        indexItem(row);
    endResetModel();
}

void TranscriptListModel::append(const DesktopTranscriptItem &item)
{
    const auto row = int(m_items.size());
    beginInsertRows({}, row, row);
    m_items.append(item);
    m_bodyRevisions.append(0);
    indexItem(row);
    endInsertRows();
}

void TranscriptListModel::appendAssistantDelta(const QString &delta, const std::optional<QString> &itemID,
                                               const QString &title)
{
    if (delta.isEmpty())
        return;
    if (const auto row = findMatch(DesktopTranscriptRole::assistant, itemID)) {
        DesktopTranscriptItem &item = m_items[*row];
        // Geometric growth keeps appending cheap; an eighth keeps the spare small.
        if (item.body.capacity() - item.body.size() < delta.size())
            item.body.reserve(item.body.size() + delta.size() + item.body.size() / 8);
        item.body.append(delta);
        item.isStreaming = true;
        rowChanged(*row);
        return;
    }
    appendNew(DesktopTranscriptRole::assistant, title, delta, true, itemID);
}

void TranscriptListModel::finalizeAssistantMessage(const QString &text, const std::optional<QString> &itemID,
                                                   const QString &title)
{
    if (const auto row = findMatch(DesktopTranscriptRole::assistant, itemID)) {
        DesktopTranscriptItem &item = m_items[*row];
        if (!text.isEmpty())
            replaceBody(*row, text);
        squeeze(item.body);
        item.isStreaming = false;
        rowChanged(*row);
        return;
    }
    appendNew(DesktopTranscriptRole::assistant, title, text, false, itemID);
}

void TranscriptListModel::upsertToolEvent(const QString &text, bool running, const std::optional<QString> &itemID)
{
    if (const auto row = findMatch(DesktopTranscriptRole::tool, itemID)) {
        DesktopTranscriptItem &item = m_items[*row];
        replaceBody(*row, text);
        item.isStreaming = running;
        rowChanged(*row);
        return;
    }
    appendNew(DesktopTranscriptRole::tool, u"Tool"_s, text, running, itemID);
}

void TranscriptListModel::endStreaming()
{
    for (qsizetype row = 0; row < m_items.size(); ++row) {
        if (std::exchange(m_items[row].isStreaming, false))
            rowChanged(row);
    }
}

void TranscriptListModel::appendNew(DesktopTranscriptRole role, const QString &title, const QString &body,
                                    bool isStreaming, const std::optional<QString> &itemID)
{
    DesktopTranscriptItem item;
    item.role = role;
    item.title = title;
    item.body = body;
    item.isStreaming = isStreaming;
    item.sourceItemID = itemID;
    append(item);
}

std::optional<qsizetype> TranscriptListModel::findMatch(DesktopTranscriptRole role,
                                                        const std::optional<QString> &itemID) const
{
    const auto found = m_firstMatch.constFind(MatchKey{role, itemID});
    if (found == m_firstMatch.constEnd())
        return std::nullopt;
    return *found;
}

void TranscriptListModel::indexItem(qsizetype row)
{
    const DesktopTranscriptItem &item = m_items.at(row);
    // Only the oldest item of a key is ever matched.
    const MatchKey key{item.role, item.sourceItemID};
    if (!m_firstMatch.contains(key))
        m_firstMatch.insert(key, row);
}

// A finished reply gives up the spare capacity it grew with. glibc keeps freed blocks, and
// those of a long reply's growth come from the heap, so a long one hands them back too.
void TranscriptListModel::squeeze(QString &body)
{
    body.squeeze();
#if defined(__GLIBC__)
    if (body.size() >= largeBodyLength)
        malloc_trim(0);
#endif
}

// A body that only grew keeps its revision, so that views lay out just the new text.
void TranscriptListModel::replaceBody(qsizetype row, const QString &body)
{
    QString &current = m_items[row].body;
    if (!body.startsWith(current))
        m_bodyRevisions[row] = ++m_lastRevision;
    current = body;
}

void TranscriptListModel::rowChanged(qsizetype row)
{
    const QModelIndex changed = index(int(row));
    static const QList<int> mergedRoles = {Qt::DisplayRole, BodyRole, IsStreamingRole, BodyRevisionRole,
                                           Qt::AccessibleTextRole, Qt::AccessibleDescriptionRole};
    Q_EMIT dataChanged(changed, changed, mergedRoles);
}

} // namespace tessel
