#pragma once

#include "protocol/GatewayProtocolValues.h"
#include "protocol/ProjectFileTypes.h"

#include <QAbstractListModel>
#include <QList>

namespace tessel {

// A list of value records for a list view: the gateway's sessions, a directory listing.
// The list is replaced whole, as the gateway sends it; ValueRole gives a row's record, the
// display role its name, for accessibility and keyboard search, and the tooltip role the
// whole of what a row may show cut short.
template<typename T>
class ValueListModel : public QAbstractListModel
{
public:
    enum Role { ValueRole = Qt::UserRole + 1 };

    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : int(m_values.size()); }

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override
    {
        if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
            return {};
        const T &value = m_values.at(index.row());
        switch (role) {
        case Qt::DisplayRole: return listDisplayText(value);
        case Qt::ToolTipRole: return listToolTip(value);
        case ValueRole: return QVariant::fromValue(value);
        default: return {};
        }
    }

    QHash<int, QByteArray> roleNames() const override { return {{Qt::DisplayRole, "display"}, {ValueRole, "value"}}; }

    const QList<T> &values() const { return m_values; }

    // An equal list changes nothing, so views keep their selection and scroll position.
    void replaceAll(const QList<T> &values)
    {
        if (values == m_values)
            return;
        beginResetModel();
        m_values = values;
        endResetModel();
    }

private:
    QList<T> m_values;
};

inline QString listDisplayText(const GatewaySessionSummary &summary)
{
    return summary.title;
}

inline QString listDisplayText(const ProjectFileEntry &entry)
{
    return entry.name;
}

inline QString listToolTip(const GatewaySessionSummary &summary)
{
    return summary.title + u'\n' + summary.cwd;
}

inline QString listToolTip(const ProjectFileEntry &entry)
{
    return entry.path;
}

using SessionListModel = ValueListModel<GatewaySessionSummary>;
using FileEntryListModel = ValueListModel<ProjectFileEntry>;

} // namespace tessel
