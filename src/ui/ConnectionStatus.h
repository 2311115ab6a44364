#pragma once

#include "app/ConnectionState.h"

#include <QColor>
#include <QPalette>
#include <QString>

namespace tessel {

// How the window shows a connection state, in the header badge and the status section.
struct ConnectionStatus
{
    QString text;
    QColor tint;

    // "Disconnected" grey, "Connecting" orange, "Connected" green, "Failed: " and the
    // message red.
    static ConnectionStatus of(const ConnectionState &state, const QPalette &palette);
};

} // namespace tessel
