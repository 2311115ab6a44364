#pragma once

#include "protocol/GatewayProtocolValues.h"
#include "ui/RowDelegate.h"

#include <optional>

namespace tessel {

// A row of the session list, over a SessionListModel: the title with the lifecycle state at
// its end; the subtitle, when there is one; the backend and the workflow state.
class SessionRowDelegate : public RowDelegate
{
    Q_OBJECT

public:
    struct Texts
    {
        QString title;
        QString state;
        // Absent when the summary has no subtitle or an empty one: the row has two lines.
        std::optional<QString> subtitle;
        QString backend;
        QString workflow;
    };

    static constexpr int verticalPadding = 4;
    static constexpr int spacing = 6;
    static constexpr int detailSpacing = 8;

    using RowDelegate::RowDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    static Texts texts(const GatewaySessionSummary &summary);
    static QString workflowTitle(SessionWorkflowState state);
};

} // namespace tessel
