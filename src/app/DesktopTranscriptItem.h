#pragma once

#include "protocol/GatewayProtocolValues.h"

#include <QString>
#include <QUuid>

#include <optional>

namespace tessel {

// The speaker of a transcript item; the same cases, in the same order, as the gateway's roles.
enum class DesktopTranscriptRole { system, user, assistant, thinking, tool, error };

inline DesktopTranscriptRole desktopRole(GatewayTranscriptRole role)
{
    return static_cast<DesktopTranscriptRole>(role);
}

// One item of the chat transcript. `id` is always made by this client, also for items taken
// from a gateway's transcript; `sourceItemID` is the gateway's id that later events update.
struct DesktopTranscriptItem
{
    QUuid id = QUuid::createUuid();
    DesktopTranscriptRole role = DesktopTranscriptRole::system;
    QString title;
    QString body;
    bool isStreaming = false;
    std::optional<QString> sourceItemID;

    static DesktopTranscriptItem system(const QString &body);
    static DesktopTranscriptItem error(const QString &title, const QString &body);
    static DesktopTranscriptItem fromGateway(const GatewayTranscriptItemEnvelope &item);

    friend bool operator==(const DesktopTranscriptItem &, const DesktopTranscriptItem &) = default;
};

} // namespace tessel
