#include "ui/StatusBadge.h"

#include "ui/UiStyle.h"

namespace tessel {

StatusBadge::StatusBadge(QWidget *parent)
    : TintedLabel(0.12, -1, parent)
{
    setFont(UiStyle::semiboldCaptionFont(font()));
    setContentsMargins(10, 6, 10, 6);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

} // namespace tessel
