#include "ui/MessageCard.h"

#include "ui/UiStyle.h"

namespace tessel {

MessageCard::MessageCard(QWidget *parent)
    : TintedLabel(0.08, 12, parent)
{
    setFont(UiStyle::captionFont(font()));
    setContentsMargins(10, 10, 10, 10);
    setWordWrap(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

} // namespace tessel
