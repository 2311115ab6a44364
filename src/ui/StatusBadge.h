#pragma once

#include "ui/TintedLabel.h"

namespace tessel {

// A short status in a capsule: the connection state and the backend in the window header,
// "Saved" or "Unsaved" over the document.
class StatusBadge : public TintedLabel
{
    Q_OBJECT

public:
    explicit StatusBadge(QWidget *parent = nullptr);
};

} // namespace tessel
