#pragma once

#include "ui/TintedLabel.h"

namespace tessel {

// A message filling the width on a rounded card: the files pane's status (green) and error
// (red) messages.
class MessageCard : public TintedLabel
{
    Q_OBJECT

public:
    explicit MessageCard(QWidget *parent = nullptr);
};

} // namespace tessel
