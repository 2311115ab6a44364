#pragma once

#include "protocol/GatewayProtocolValues.h"

#include <QSortFilterProxyModel>

namespace tessel {

// The session list as the filter field narrows it. A session stays when its name (its title
// or session name), its working directory or its backend contains the filter's words, each
// of them, ignoring case. An empty filter keeps every session.
class SessionFilterModel : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    explicit SessionFilterModel(QObject *parent = nullptr);

    void setFilterText(const QString &text);
    static bool matches(const GatewaySessionSummary &session, const QString &filter);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    QString m_filter;
};

} // namespace tessel
