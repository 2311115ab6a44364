#include "ui/SessionFilterModel.h"

#include "app/ValueListModel.h"

namespace tessel {

SessionFilterModel::SessionFilterModel(QObject *parent)
    : QSortFilterProxyModel(parent)
{ }

void SessionFilterModel::setFilterText(const QString &text)
{
    if (text == m_filter)
        return;
    m_filter = text;
    invalidateFilter();
}

bool SessionFilterModel::matches(const GatewaySessionSummary &session, const QString &filter)
{
    const QStringList fields{session.title, session.sessionName.value_or(QString()), session.cwd,
                             displayName(session.backend)};
    const QStringList words = filter.split(u' ', Qt::SkipEmptyParts);
    return std::all_of(words.cbegin(), words.cend(), [&fields](const QString &word) {
        return std::any_of(fields.cbegin(), fields.cend(),
                           [&word](const QString &field) { return field.contains(word, Qt::CaseInsensitive); });
    });
}

bool SessionFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    const QModelIndex index = sourceModel()->index(sourceRow, 0, sourceParent);
    return matches(index.data(SessionListModel::ValueRole).value<GatewaySessionSummary>(), m_filter);
}

} // namespace tessel
