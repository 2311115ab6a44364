#pragma once

#include "ui/TintedLabel.h"

namespace tessel {

// A short status in a capsule: the connection state and the backend in the window header,
// "Saved" or "Unsaved" over the document. A text longer than the room it gets (a failure
// message) ends in "…" and shows whole in the tooltip; the badge never squeezes its
// neighbours for it.
class StatusBadge : public TintedLabel
{
    Q_OBJECT

public:
    explicit StatusBadge(QWidget *parent = nullptr);

    QSize minimumSizeHint() const override;
    // The text as it is drawn now, elided or not.
    QString shownText() const;

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace tessel
